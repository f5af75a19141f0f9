// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/RunPlaces.h"

#include "database/NameDatabase.h"

#include <QFileInfo>

namespace pelmora {

// No camera writes a temporary name, so the file under it is the run's:
// unless it is the empty placeholder of a rename cut short while the file
// recorded was not empty.
bool holdsTemporary(const QString &folder, const PlannedRename &file)
{
    if (file.temporaryName.isEmpty())
        return false;
    const std::optional<fs::FileIdentity> there = fs::identify(folder, file.temporaryName);
    return there && !(there->size == 0 && file.identity.size > 0);
}

// The file under the name is the file of the record (same size and
// content), so that a former name taken by another file is not mistaken for
// it. `sameInode`, when given, says whether it is the very file recorded, as
// far as this mount can tell. The content is read only where the size fits.
bool holdsRecorded(const QString &folder, const QString &name, const PlannedRename &file, bool *sameInode)
{
    const std::optional<fs::FileIdentity> looked = fs::identify(folder, name);
    if (!looked || (file.identity.known() && looked->size != file.identity.size))
        return false;
    const std::optional<fs::FileIdentity> there = fs::identifyContent(folder, name);
    if (!there || !fs::sameFile(file.identity, *there))
        return false;
    if (sameInode)
        *sameInode = file.identity.inode != 0 && there->inode == file.identity.inode;
    // Where the names differ in case alone, a card's folder finds the file
    // under either: only the listing tells which one it bears.
    return !fs::differInCaseOnly(file.formerName, file.newName) || fs::allNames(folder).contains(name);
}

Place placeOf(const QString &folder, const PlannedRename &file)
{
    if (holdsTemporary(folder, file))
        return Place::Temporary;
    bool newIsIt = false, formerIsIt = false;
    const bool atNew = holdsRecorded(folder, file.newName, file, &newIsIt);
    const bool atFormer = holdsRecorded(folder, file.formerName, file, &formerIsIt);
    // Two files of one content (an empty sidecar, a copy) under both names:
    // the inode tells which is the file recorded; where it cannot (another
    // mount), the file is taken not to have moved.
    if (atNew && atFormer && file.newName != file.formerName)
        return newIsIt && !formerIsIt ? Place::New : Place::Former;
    return atNew ? Place::New : atFormer ? Place::Former : Place::Gone;
}

int countAwaiting(const QString &folder, const std::vector<PlannedRename> &files)
{
    int waiting = 0;
    for (const PlannedRename &file : files)
        waiting += holdsTemporary(folder, file) ? 1 : 0;
    return waiting;
}

namespace {

// The recorded folder is the run's when it is there on the volume it was
// on: a card's mount point left empty after the card went is not it.
bool folderStillThere(const journal::Run &run)
{
    if (!QFileInfo(run.folder).isDir())
        return false;
    if (run.place.root.isEmpty())
        return true; // recorded by an earlier version: its path is all there is
    // Another card mounted at the same place is not the card.
    const fs::VolumePlace now = fs::volumePlaceOf(run.folder);
    return now.root == run.place.root && (run.place.key.isEmpty() || now.key == run.place.key);
}

// A folder elsewhere is the run's when it holds a file of the run: under a
// temporary name of the run, which nothing else bears, or, on a volume of
// the recorded UUID, under one of its names with its size and time. A copy
// of the card (same names, sizes and times) is never taken for it.
bool holdsAFileOf(const QString &folder, const std::vector<PlannedRename> &files, bool sameVolume)
{
    for (const PlannedRename &file : files) {
        if (holdsTemporary(folder, file))
            return true;
        if (sameVolume && file.identity.known()
            && (holdsRecorded(folder, file.newName, file) || holdsRecorded(folder, file.formerName, file)))
            return true;
    }
    return false;
}

} // namespace

QString currentFolderOf(NameDatabase &database, const journal::Run &run)
{
    if (folderStillThere(run))
        return run.folder;
    const QStringList candidates = fs::foldersAtPlace(run.place);
    if (candidates.isEmpty())
        return {};
    const std::vector<PlannedRename> files = journal::files(database, run.id);
    const bool sameVolume = run.place.key.startsWith(u"uuid:");
    for (const QString &candidate : candidates) {
        if (holdsAFileOf(candidate, files, sameVolume))
            return candidate;
    }
    return {};
}

std::optional<journal::Run> showsAClosedRun(NameDatabase &database, const QString &folder, const QString &name)
{
    std::optional<journal::Run> run = journal::runWithKey(database, runKeyOf(name));
    if (!run || !run->finished.isValid())
        return std::nullopt;
    // A closed run has no file under a temporary name: one that holds the
    // run's file there was recorded on another folder (a copy of the card).
    for (const PlannedRename &file : journal::files(database, run->id)) {
        if (file.temporaryName == name)
            return holdsRecorded(folder, name, file) ? run : std::nullopt;
    }
    return std::nullopt;
}

} // namespace pelmora
