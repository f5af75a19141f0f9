// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/RenameSession.h"

#include "platform/Clock.h"
#include "rename/Journal.h"
#include "database/NameDatabase.h"
#include "rename/Recovery.h"
#include "rename/RenameOperations.h"
#include "rename/RunGuards.h"

namespace pelmora {

using Status = OperationOutcome::Status;
using Refusal = OperationOutcome::Refusal;

namespace {

// The plan as the outcome of a preparation: a planning the user stopped is
// a run stopped before its first file.
OperationOutcome outcomeOfPlan(RenamePlan plan)
{
    OperationOutcome outcome;
    if (plan.cancelled) {
        for (PlannedRename &file : plan.files)
            file.cause = FailureCause::Stopped;
        outcome.status = Status::Stopped;
        outcome.stopReason = OperationOutcome::StopReason::Cancelled;
        outcome.notDone = int(plan.files.size());
    }
    outcome.folder = plan.folder;
    outcome.plan = std::move(plan);
    return outcome;
}

// The inputs with the clock offsets kept in the database under the run's own.
NamingInputs withKeptOffsets(NamingInputs inputs, NameDatabase &database)
{
    ClockOffsets offsets = database.clockOffsets();
    offsets.setAll(inputs.corrections.offsets);
    inputs.corrections.offsets = std::move(offsets);
    return inputs;
}

OperationOutcome databaseRefusal(const DatabaseError &error)
{
    OperationOutcome refusal;
    refuse(refusal, Status::DatabaseUnavailable, Refusal::Database);
    refusal.databaseFailure = error.failure();
    return refusal;
}

} // namespace

RenameSession::RenameSession(const Clock &clock, ProgressSink *progress, MetadataSource *source,
                             fs::RenameCalls &calls)
    : clock_(clock)
    , progress_(progress)
    , source_(source)
    , calls_(calls)
{
}

RenameSession::~RenameSession() = default;

OperationOutcome RenameSession::preview(Operation operation, const NamingInputs &inputs, NameDatabase *database)
{
    OperationOutcome refusal = checkInputs(operation, inputs);
    if (refusal.status == Status::Completed && database)
        refusal = inspectFolder(inputs.folder, *database);
    // A run cut short there is settled before the real run plans, and may
    // move files as it does: what the run will do is known only then.
    NamingInputs corrected = inputs;
    if (refusal.status == Status::Completed && database) {
        try {
            if (const std::optional<UnfinishedRun> quiet = quietRunOf(*database, inputs.folder))
                refuse(refusal, Status::UnfinishedRun, Refusal::UnsettledRun, quiet->run.folder);
            corrected = withKeptOffsets(inputs, *database);
        } catch (const DatabaseError &error) {
            refusal = databaseRefusal(error);
        }
    }
    if (refusal.status != Status::Completed)
        return refusal;
    return outcomeOfPlan(RenameOperations(clock_, progress_, source_, calls_).plan(operation, corrected));
}

OperationOutcome RenameSession::previewUndo(NameDatabase &database)
{
    OperationOutcome outcome = RenameOperations(clock_).prepareUndo(database);
    if (outcome.status != Status::Completed)
        return outcome;
    const OperationOutcome refusal = inspectFolder(outcome.plan.folder, database);
    return refusal.status == Status::Completed ? outcome : refusal;
}

OperationOutcome RenameSession::takeFolder(const QString &folder, NameDatabase &database)
{
    database_ = &database;
    const QString canonical = fs::canonicalFolder(folder);
    lock_.emplace(canonical);
    OperationOutcome outcome;
    if (!lock_->held()) {
        refuse(outcome, Status::FolderBusy, Refusal::FolderBusy, folder);
    } else {
        try {
            settleQuietRuns(database, canonical, calls_);
        } catch (const DatabaseError &) {
            // The check reports the database.
        }
        outcome = inspectFolder(canonical, database);
    }
    if (outcome.status != Status::Completed)
        lock_.reset();
    return outcome;
}

OperationOutcome RenameSession::prepare(Operation operation, const NamingInputs &inputs, NameDatabase &database)
{
    OperationOutcome outcome = checkInputs(operation, inputs);
    if (outcome.status == Status::Completed)
        outcome = takeFolder(inputs.folder, database);
    if (outcome.status != Status::Completed)
        return outcome;
    NamingInputs corrected;
    try {
        corrected = withKeptOffsets(inputs, database);
    } catch (const DatabaseError &error) {
        lock_.reset();
        return databaseRefusal(error);
    }
    outcome = outcomeOfPlan(RenameOperations(clock_, progress_, source_, calls_).plan(operation, corrected));
    plan_ = outcome.plan;
    return outcome;
}

OperationOutcome RenameSession::prepareUndo(NameDatabase &database)
{
    try {
        settleQuietRuns(database, QString(), calls_);
    } catch (const DatabaseError &) {
        // Planning the undo reports the database.
    }
    OperationOutcome outcome = RenameOperations(clock_).prepareUndo(database);
    if (outcome.refusal == Refusal::UndoFolderMissing) {
        // Its folder is gone from a volume that is there: the next undo
        // goes to the run before it.
        try {
            journal::markNotUndoable(database, outcome.plan.undoOf);
        } catch (const DatabaseError &) {
            // Asked again at the next undo.
        }
    }
    if (outcome.status != Status::Completed)
        return outcome;
    // Settled again under the lock: a run cut short meanwhile in its folder
    // is closed before the undo, which then refuses as changed.
    const OperationOutcome taken = takeFolder(outcome.plan.folder, database);
    if (taken.status != Status::Completed)
        return taken;
    plan_ = outcome.plan;
    return outcome;
}

OperationOutcome RenameSession::apply()
{
    Q_ASSERT(database_ && lock_);
    OperationOutcome outcome = RenameOperations(clock_, progress_, source_, calls_)
                                   .apply(std::move(plan_), *database_, RenameOperations::FolderCheck::Done);
    lock_.reset();
    return outcome;
}

OperationOutcome RenameSession::run(Operation operation, const NamingInputs &inputs, NameDatabase &database)
{
    const OperationOutcome prepared = prepare(operation, inputs, database);
    return prepared.status == Status::Completed ? apply() : prepared;
}

OperationOutcome RenameSession::undo(NameDatabase &database)
{
    const OperationOutcome prepared = prepareUndo(database);
    return prepared.status == Status::Completed ? apply() : prepared;
}

} // namespace pelmora
