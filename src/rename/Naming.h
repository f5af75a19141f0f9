// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How the new names of a plan are made: numbered per day from the Start
// Number, by the lowest free number of the day, by a text; and the
// temporary name each file of a run holds in reserve. Nothing here reads
// the disk: the folder comes in as its names.

#include "rename/NamingInputs.h"
#include "rename/Operations.h"
#include "rename/Plan.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <QTime>

#include <functional>
#include <vector>

namespace pelmora {

// Every name of a folder (hidden ones and folders too: a rename must not
// land on any of them), as the folder compares names: on a card, "A.JPG"
// takes "a.jpg" too.
struct FolderNames {
    FolderNames(const QStringList &all, bool anyCase);
    // Read from the disk once for a plan.
    static FolderNames of(const QString &folder);
    QString key(const QString &name) const;

    bool anyCase = false;
    QSet<QString> keys;
    QSet<QString> folderKeys; // those of folders
};

// Rows without a date first; shots of one second by their fraction of it
// (a burst), then in the order of the listing.
void sortByDate(std::vector<PlannedRename> &files);

// The shot a file belongs to, for pairing a raw picture with the JPEG the
// camera wrote beside it: its base name, letter case and Unicode form
// aside, and the second it was taken. Empty without a date, or when pairs
// are not wanted.
QString shotKey(const NamingInputs &inputs, const PlannedRename &file);

// Whether the files of a shot (and what follows them) can take the new
// file name: none of their names is held by an entry that stays.
using ShotNameFree = std::function<bool(const std::vector<const PlannedRename *> &shot, const QString &newFileName)>;

// Date order; numbers start again from the Start Number on every new day;
// the files of one shot share a number. Given `free`, a shot takes the
// first number, from where its day has come to, at which its names are free.
void nameByDay(const OperationRules &rules, const NamingInputs &inputs, std::vector<PlannedRename> &files,
               const ShotNameFree &free = {});

// Date order; each file takes the lowest number of its day whose name is
// free, as the folder will be when its turn comes.
void nameLowestFree(const NamingInputs &inputs, const FolderNames &names, std::vector<PlannedRename> &files);

// Replacement and append keep the listing order; a file whose name would
// not change is left out: nothing to rename or log.
void nameByText(const OperationRules &rules, const NamingInputs &inputs, RenamePlan &plan);

// A temporary name for each file that has none, that no entry of the folder
// and no other file of the run bears, numbered on from those already given.
void giveTemporaryNames(const FolderNames &names, const QTime &now, const QString &runKey,
                        std::vector<PlannedRename> &files);

// Marks the files whose date lies more than half a year from the middle
// date of their camera's files (a clock reset to its factory date, a year
// off), where the camera has at least three dated files: the preview says
// so; the name goes by the date as read.
void markDatesThatStandOut(std::vector<PlannedRename> &files);

// The keys of the folder's entries that none of `files` bears now: they stay.
QSet<QString> keysNotBorneBy(const FolderNames &names, const std::vector<PlannedRename> &files);

// Marks the new names already borne by an entry the run does not move, or
// given to an earlier file of the run: the preview says so before anything
// happens.
void markTakenNames(const FolderNames &names, RenamePlan &plan);

} // namespace pelmora
