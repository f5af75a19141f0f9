#include "rename/Recovery.h"

#include "platform/FileSystem.h"
#include "rename/Executor.h"
#include "database/NameDatabase.h"

#include <QFileInfo>

#include <set>

namespace pelmora {

namespace {

// Where a file of the run is now.
enum class Place { Former, Temporary, New, Gone };

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
bool holdsRecorded(const QString &folder, const QString &name, const PlannedRename &file, bool *sameInode = nullptr)
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

bool unsettled(const PlannedRename &file)
{
    return file.state == FileState::Planned || file.state == FileState::Temporary;
}

int countAwaiting(const QString &folder, const std::vector<PlannedRename> &files)
{
    int waiting = 0;
    for (const PlannedRename &file : files)
        waiting += holdsTemporary(folder, file) ? 1 : 0;
    return waiting;
}

// What a recovery of the run finds in its folder: files under temporary
// names, and all it will move back.
UnfinishedRun lookAt(const journal::Run &run, const std::vector<PlannedRename> &files)
{
    UnfinishedRun found{run, 0, 0, false};
    for (const PlannedRename &file : files) {
        const Place place = placeOf(run.folder, file);
        found.awaitingRestore += place == Place::Temporary ? 1 : 0;
        found.goingBack += place == Place::Temporary
                || (place == Place::New && (file.state == FileState::Done || unsettled(file)))
            ? 1
            : 0;
    }
    return found;
}

// What the record says, for a run whose folder cannot be looked at.
UnfinishedRun lookAtRecord(const journal::Run &run, const std::vector<PlannedRename> &files)
{
    UnfinishedRun found{run, 0, 0, true};
    for (const PlannedRename &file : files) {
        const bool temporary = file.state == FileState::Temporary || file.cause == FailureCause::LeftTemporary;
        found.awaitingRestore += temporary ? 1 : 0;
        found.goingBack += temporary || file.state == FileState::Done ? 1 : 0;
    }
    return found;
}

// The run's record as a plan to carry out, for the executor.
RenamePlan planOf(const journal::Run &run, std::vector<PlannedRename> files)
{
    RenamePlan plan;
    plan.operation = run.operation;
    plan.folder = run.folder;
    plan.undoOf = run.undoOf;
    plan.files = std::move(files);
    return plan;
}

// A run cut short with files under temporary names is taken back whole:
// files it had already renamed go to their temporary names first, so that
// no former name is held by another file of the run, then every file goes
// back to its former name. Each step is committed with its rename, so a
// recovery that is itself cut short goes on where it stopped: a file found
// under its temporary name goes back whatever its row says.
// False when the volume stopped it: the next recovery goes on.
bool rollBack(Executor &executor, const journal::Run &run, RenamePlan &plan, RecoveryResult &result)
{
    std::vector<PlannedRename> &files = plan.files;
    std::vector<Step> aside;
    for (size_t i = files.size(); i-- > 0;) {
        const PlannedRename &file = files[i];
        if (file.state != FileState::Done && !unsettled(file))
            continue;
        const Place place = placeOf(run.folder, file);
        if (place == Place::Gone) {
            result.unaccounted << (file.state == FileState::Done ? file.newName : file.formerName);
            executor.note(i, FileState::Failed, FailureCause::Vanished);
        }
        if (place == Place::New)
            aside.push_back({i, file.newName, file.temporaryName, FileState::Temporary,
                             file.state == FileState::Done ? FailureCause::RolledBack : FailureCause::None});
    }
    if (executor.run(aside) != Executor::StopReason::None)
        return false;
    for (const size_t i : executor.unmoved()) {
        // Stays renamed, and recorded so (logged, if it was not yet); said.
        if (unsettled(files[i]))
            executor.note(i, FileState::Done, FailureCause::None, Executor::Log::Forward);
        ++result.failed;
        result.notRestored << files[i].newName;
    }
    std::vector<Step> back;
    for (size_t i = 0; i < files.size(); ++i) {
        PlannedRename &file = files[i];
        const Place place = placeOf(run.folder, file);
        if (place == Place::Temporary) {
            // A row still "done" was moved back by a recovery cut short
            // before it could record that: recorded now, before the move, so
            // that a cut after the move still finds the way back to log.
            if (file.state == FileState::Done)
                executor.note(i, FileState::Temporary, FailureCause::RolledBack);
            back.push_back({i, file.temporaryName, file.formerName, FileState::Restored, file.cause, false,
                            file.cause == FailureCause::RolledBack});
        } else if (place == Place::Former && file.state == FileState::Temporary) {
            // Back under its former name before a cut, not yet recorded.
            executor.note(i, FileState::Restored, file.cause,
                          file.cause == FailureCause::RolledBack ? Executor::Log::WayBack : Executor::Log::None);
        }
    }
    const bool whole = executor.run(back) == Executor::StopReason::None;
    for (const Step &step : back) {
        if (files[step.file].state == FileState::Restored) {
            ++result.restored;
        } else if (whole) {
            ++result.failed;
            result.notRestored << files[step.file].temporaryName;
        }
    }
    if (run.undoOf != 0)
        journal::reopenUndoneRun(executor.database(), run.undoOf);
    return whole;
}

// An undo that stopped before some of its files: the run it undid stays
// undoable for them.
void reopenWhatAnUndoLeft(NameDatabase &database, const journal::Run &run, const std::vector<PlannedRename> &files)
{
    if (run.undoOf == 0)
        return;
    for (const PlannedRename &file : files) {
        if (file.state == FileState::Planned) {
            journal::reopenUndoneRun(database, run.undoOf);
            return;
        }
    }
}

// A run cut short with nothing under a temporary name is closed as it
// stands: a rename that happened just before the cut is recorded and
// logged. A group cut in two (a sidecar renamed, its photo not yet) is made
// whole: the files still under their former names follow the others, or,
// where one cannot, the group goes back to its former names.
bool settle(Executor &executor, const journal::Run &run, RenamePlan &plan, RecoveryResult &result)
{
    std::vector<PlannedRename> &files = plan.files;
    std::vector<Place> places(files.size(), Place::Gone);
    std::set<int> renamedGroups;
    for (size_t i = 0; i < files.size(); ++i) {
        places[i] = placeOf(run.folder, files[i]);
        if (places[i] == Place::New && (files[i].state == FileState::Done || unsettled(files[i])))
            renamedGroups.insert(files[i].group);
    }
    std::vector<Step> follow;
    for (size_t i = 0; i < files.size(); ++i) {
        PlannedRename &file = files[i];
        if (!unsettled(file))
            continue;
        switch (places[i]) {
        case Place::New:
            executor.note(i, FileState::Done, FailureCause::None, Executor::Log::Forward);
            ++result.completed;
            break;
        case Place::Former:
            if (file.state == FileState::Temporary && file.cause == FailureCause::RolledBack) {
                // Taken back by a recovery cut short before it could record it.
                executor.note(i, FileState::Restored, file.cause, Executor::Log::WayBack);
            } else if (renamedGroups.count(file.group)) {
                file.state = FileState::Planned; // where it is: under its former name
                follow.push_back({i, file.formerName, file.newName, FileState::Done});
            } else if (file.state == FileState::Planned) {
                executor.note(i, FileState::Planned, FailureCause::Stopped);
            } else {
                executor.note(i, FileState::Restored, FailureCause::None);
            }
            break;
        case Place::Temporary: // counted as awaiting: never here
        case Place::Gone:
            executor.note(i, FileState::Failed, FailureCause::Vanished);
            result.unaccounted << file.formerName;
            break;
        }
    }
    const bool whole = executor.run(follow) == Executor::StopReason::None;
    for (const Step &step : follow)
        result.completed += files[step.file].state == FileState::Done ? 1 : 0;
    reopenWhatAnUndoLeft(executor.database(), run, files);
    return whole;
}

// A rename cut short between its placeholder and the rename over it leaves
// an empty file of ours under the temporary or the new name while the file
// itself is still elsewhere: it goes.
void removePlaceholders(Executor &executor, const RenamePlan &plan)
{
    const QString &folder = plan.folder;
    for (const PlannedRename &file : plan.files) {
        // A link + unlink cut between the two leaves one file under two of
        // its names: the name it goes back to stays.
        const QString *names[] = {&file.formerName, &file.temporaryName, &file.newName};
        for (const QString *kept : names) {
            if (kept->isEmpty() || !fs::exists(folder, *kept))
                continue;
            for (const QString *other : names) {
                if (other != kept && !other->isEmpty() && fs::sameEntry(folder, *kept, *other))
                    executor.remove(*other);
            }
            break;
        }
        if (file.identity.size <= 0)
            continue;
        const bool at[] = {holdsRecorded(folder, file.formerName, file), holdsTemporary(folder, file),
                           holdsRecorded(folder, file.newName, file)};
        for (int i = 0; i < 3; ++i) {
            const std::optional<fs::FileIdentity> there = fs::identify(folder, *names[i]);
            if (names[i]->isEmpty() || !there || there->size != 0)
                continue;
            const bool elsewhere = (i != 0 && at[0]) || (i != 1 && at[1]) || (i != 2 && at[2]);
            if (elsewhere)
                executor.remove(*names[i]);
        }
    }
}

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

void takeUpRunsShownByTheirNames(NameDatabase &database)
{
    for (const journal::Run &run : journal::runsClosedByRecovery(database)) {
        const QString folder = currentFolderOf(database, run);
        if (folder.isEmpty())
            continue;
        for (const QString &name : fs::listPlainFiles(folder)) {
            if (runKeyOf(name) == run.runKey && showsAClosedRun(database, folder, name)) {
                journal::reopen(database, run.id, folder);
                break;
            }
        }
    }
}

std::vector<UnfinishedRun> findUnfinishedRuns(NameDatabase &database)
{
    std::vector<UnfinishedRun> runs;
    for (journal::Run run : journal::unfinishedRuns(database)) {
        const QString folder = currentFolderOf(database, run);
        if (folder.isEmpty()) {
            runs.push_back(lookAtRecord(run, journal::files(database, run.id)));
            continue;
        }
        run.folder = folder;
        const fs::FolderLock live(folder);
        if (live.held())
            runs.push_back(lookAt(run, journal::files(database, run.id)));
    }
    return runs;
}

RecoveryResult recover(NameDatabase &database, const journal::Run &recorded, fs::RenameCalls &calls)
{
    RecoveryResult result;
    result.folder = recorded.folder;
    journal::Run run = recorded;
    run.folder = currentFolderOf(database, recorded);
    if (run.folder.isEmpty()) {
        result.folderUnavailable = true;
        return result; // kept as it is until its folder is back
    }
    result.folder = run.folder;
    const fs::FolderLock lock(run.folder);
    if (!lock.held())
        return result; // still running elsewhere: nothing of it is touched
    if (run.folder != recorded.folder)
        journal::relocate(database, run.id, run.folder);
    RenamePlan plan = planOf(run, journal::files(database, run.id));
    Executor executor(plan, database, run.id, StepsFor::Recovery, nullptr, false, calls);
    removePlaceholders(executor, plan);
    const bool whole = countAwaiting(run.folder, plan.files) > 0 ? rollBack(executor, run, plan, result)
                                                                  : settle(executor, run, plan, result);
    // No temporary name is final: a run that still has one stays open, and
    // so does one whose volume stopped the recovery.
    if (whole && countAwaiting(run.folder, plan.files) == 0)
        journal::finish(database, run.id, true);
    result.folderUnavailable = !whole && !QFileInfo(run.folder).isDir();
    result.stopped = !whole && !result.folderUnavailable;
    return result;
}

int filesAwaitingRestore(NameDatabase &database, const QString &folder)
{
    const QString canonical = fs::canonicalFolder(folder);
    int waiting = 0;
    for (const journal::Run &run : journal::unfinishedRuns(database)) {
        const QString current = currentFolderOf(database, run);
        if (!current.isEmpty() && fs::canonicalFolder(current) == canonical)
            waiting += countAwaiting(current, journal::files(database, run.id));
    }
    // Temporary names of a run closed elsewhere (on a copy of this card):
    // that run is taken up again here.
    for (const QString &name : fs::listPlainFiles(canonical)) {
        if (isTemporaryName(name) && showsAClosedRun(database, canonical, name))
            ++waiting;
    }
    return waiting;
}

std::vector<UnfinishedRun> settleQuietRuns(NameDatabase &database, const QString &folder, fs::RenameCalls &calls)
{
    takeUpRunsShownByTheirNames(database);
    const QString canonical = folder.isEmpty() ? QString() : fs::canonicalFolder(folder);
    std::vector<UnfinishedRun> waiting;
    for (const UnfinishedRun &run : findUnfinishedRuns(database)) {
        if (!canonical.isEmpty() && (run.folderUnavailable || fs::canonicalFolder(run.run.folder) != canonical))
            continue;
        if (!run.folderUnavailable && run.awaitingRestore == 0)
            recover(database, run.run, calls);
        else
            waiting.push_back(run);
    }
    return waiting;
}

std::optional<UnfinishedRun> settleUnfinishedRuns(NameDatabase &database, bool withUnavailable, fs::RenameCalls &calls)
{
    std::optional<UnfinishedRun> awaiting;
    for (const UnfinishedRun &run : settleQuietRuns(database, QString(), calls)) {
        if (run.folderUnavailable) {
            if (withUnavailable && !awaiting)
                awaiting = run;
        } else if (!awaiting || awaiting->folderUnavailable) {
            awaiting = run;
        }
    }
    return awaiting;
}

} // namespace pelmora
