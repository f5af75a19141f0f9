// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/Recovery.h"

#include "platform/FileSystem.h"
#include "rename/Executor.h"
#include "database/NameDatabase.h"

#include <QFileInfo>

#include <set>

namespace pelmora {

namespace {

bool unsettled(const PlannedRename &file)
{
    return file.state == FileState::Planned || file.state == FileState::Temporary;
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

} // namespace

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

std::optional<UnfinishedRun> quietRunOf(NameDatabase &database, const QString &folder)
{
    const QString canonical = fs::canonicalFolder(folder);
    for (const UnfinishedRun &run : findUnfinishedRuns(database)) {
        if (!run.folderUnavailable && run.awaitingRestore == 0 && fs::canonicalFolder(run.run.folder) == canonical)
            return run;
    }
    return std::nullopt;
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

} // namespace pelmora
