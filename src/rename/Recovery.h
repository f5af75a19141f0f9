// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/FileSystem.h"
#include "rename/Journal.h"
#include "rename/RunPlaces.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace pelmora {

class NameDatabase;

// A run that was cut short (the program was killed, the machine stopped, the
// card was pulled), whose folder no live run holds.
struct UnfinishedRun {
    journal::Run run;
    int awaitingRestore = 0; // files still under temporary names
    int goingBack = 0;       // files a recovery moves: those under temporary names and those the run renamed
    bool folderUnavailable = false; // its folder is not there (card out): nothing of it can be settled now
};

// Runs cut short, each with what its folder holds now; looking changes
// nothing.
std::vector<UnfinishedRun> findUnfinishedRuns(NameDatabase &database);
// Reopens the runs a recovery closed on what was not their folder (a copy
// of the card in its slot) whose folder now shows their temporary names.
void takeUpRunsShownByTheirNames(NameDatabase &database);

struct RecoveryResult {
    QString folder;
    bool folderUnavailable = false; // nothing done: the run waits for its folder
    int restored = 0;  // back under their former names
    int completed = 0; // renamed before the cut but not yet recorded: recorded now
    int failed = 0;    // could not be given their former names back
    QStringList notRestored;
    QStringList unaccounted; // files of the run found under none of their names with their content
    bool stopped = false;    // the volume stopped taking writes: the run stays open for the next recovery
};

// Reconciles the run's record with what its folder holds: files under
// temporary names get their former names back (never replacing a file),
// renames that happened are recorded and logged, and the run is closed once
// no file of it is left under a temporary name.
RecoveryResult recover(NameDatabase &database, const journal::Run &run,
                       fs::RenameCalls &calls = fs::systemRenameCalls());

// The files of the folder that wait for their former names: those of runs
// cut short under temporary names, and those a run closed elsewhere left
// here. Looking changes nothing.
int filesAwaitingRestore(NameDatabase &database, const QString &folder);

// A run cut short in the folder whose record is not settled yet, though it
// left no file under a temporary name; looking changes nothing.
std::optional<UnfinishedRun> quietRunOf(NameDatabase &database, const QString &folder);

// Settles what needs no one's answer, once at the start of an operation and
// at start-up: takes up the runs closed elsewhere, and recovers the runs cut
// short that left no file under a temporary name (records what happened and
// closes them). Gives the runs that still wait: those with files under
// temporary names, and those whose folder is not there. Only the runs of
// `folder`, when one is given.
std::vector<UnfinishedRun> settleQuietRuns(NameDatabase &database, const QString &folder = QString(),
                                           fs::RenameCalls &calls = fs::systemRenameCalls());

} // namespace pelmora
