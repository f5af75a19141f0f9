// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/UndoPlan.h"

#include "platform/FileSystem.h"
#include "rename/Executor.h"
#include "rename/MoveOrder.h"
#include "database/NameDatabase.h"
#include "rename/Naming.h"
#include "rename/Recovery.h"
#include "rename/RunGuards.h"

namespace pelmora {

using Status = OperationOutcome::Status;
using Refusal = OperationOutcome::Refusal;

namespace {

// The files the run renamed, last first, each from the name the run gave it
// back to the one it had.
RenamePlan planUndoOf(NameDatabase &database, const journal::Run &run)
{
    RenamePlan plan;
    plan.operation = Operation::Undo;
    plan.folder = run.folder;
    plan.undoOf = run.id;
    plan.undoneOperation = run.operation;
    plan.undoneStarted = run.started;
    plan.runKey = newRunKey();
    const std::vector<PlannedRename> files = journal::files(database, run.id);
    for (int position = int(files.size()) - 1; position >= 0; --position) {
        const PlannedRename &done = files[size_t(position)];
        if (done.state != FileState::Done)
            continue;
        PlannedRename file = done;
        file.formerName = done.newName;
        file.newName = done.formerName;
        file.newFileName = fs::baseNameOf(done.formerName); // as the log records every rename: no extension
        file.temporaryName.clear();
        file.state = FileState::Planned;
        file.cause = FailureCause::None;
        file.error = 0;
        file.undoOfPosition = position;
        plan.files.push_back(file);
    }
    plan.progressCount = int(plan.files.size());
    return plan;
}

// The run cut short that holds an undo back: one with files under
// temporary names first, then one whose record is not settled yet (an
// undo settles it first: only then is it known what to undo), else one
// whose folder is not there.
std::optional<UnfinishedRun> firstUnfinishedRun(NameDatabase &database)
{
    const auto rank = [](const UnfinishedRun &run) { return run.folderUnavailable ? 0 : run.awaitingRestore > 0 ? 2 : 1; };
    std::optional<UnfinishedRun> first;
    for (const UnfinishedRun &run : findUnfinishedRuns(database)) {
        if (!first || rank(run) > rank(*first))
            first = run;
    }
    return first;
}

} // namespace

OperationOutcome planLastUndo(NameDatabase &database, const QTime &now)
{
    OperationOutcome outcome;
    outcome.plan.operation = Operation::Undo;
    try {
        // A run cut short comes first: it is the last run, and undo goes to
        // the last run only once its record is whole.
        const std::optional<UnfinishedRun> unfinished = firstUnfinishedRun(database);
        if (unfinished && !unfinished->folderUnavailable) {
            outcome.folder = unfinished->run.folder;
            const bool waiting = unfinished->awaitingRestore > 0;
            refuse(outcome, Status::UnfinishedRun, waiting ? Refusal::RecoverFirst : Refusal::UnsettledRun,
                   unfinished->run.folder);
            outcome.count = unfinished->awaitingRestore;
            return outcome;
        }
        const std::optional<journal::Run> last = journal::lastUndoableRun(database);
        // A run cut short on a card that is out holds back the undo of its
        // own folder only: a card that never comes back blocks nothing else.
        if (unfinished && (!last || last->folder == unfinished->run.folder)) {
            outcome.folder = unfinished->run.folder;
            refuse(outcome, Status::UnfinishedRun, Refusal::RecoveryFolderUnavailable, unfinished->run.folder);
            return outcome;
        }
        if (!last) {
            refuse(outcome, Status::NothingToUndo, Refusal::NothingToUndo);
            return outcome;
        }
        outcome.plan = planUndoOf(database, *last);
        outcome.folder = last->folder;
        const QString folder = currentFolderOf(database, *last);
        if (folder.isEmpty() && fs::volumeMounted(last->place)) {
            // Its folder is gone from a volume that is there: the run can
            // never be undone (the undo itself marks it so).
            refuse(outcome, Status::FolderMissing, Refusal::UndoFolderMissing, last->folder);
        } else if (folder.isEmpty()) {
            // Its card or drive is out: the undo waits for it.
            refuse(outcome, Status::FolderMissing, Refusal::UndoVolumeMissing, last->folder);
        } else if (const int refusal = fs::writeRefusal(folder)) {
            outcome.folder = folder;
            refuse(outcome, Status::FolderReadOnly, Refusal::FolderNotWritable, folder);
            outcome.error = refusal;
        } else {
            outcome.plan.folder = folder;
            outcome.folder = folder;
            const FolderNames names = FolderNames::of(folder);
            giveTemporaryNames(names, now, outcome.plan.runKey, outcome.plan.files);
            orderMoves(outcome.plan, names.anyCase);
            // A temporary name of the run saved since (an editor wrote back
            // to the path it had opened) stays as it is, and is named.
            for (const QString &name : fs::listPlainFiles(folder)) {
                if (!last->runKey.isEmpty() && runKeyOf(name) == last->runKey)
                    outcome.plan.leftOut.push_back({name, LeftOut::Reason::TemporaryName});
            }
        }
    } catch (const DatabaseError &error) {
        refuse(outcome, Status::DatabaseUnavailable, Refusal::Database);
        outcome.databaseFailure = error.failure();
    }
    return outcome;
}

bool stillUndoable(const RenamePlan &plan, NameDatabase &database)
{
    const std::optional<journal::Run> last = journal::lastUndoableRun(database);
    return last && last->id == plan.undoOf;
}

} // namespace pelmora
