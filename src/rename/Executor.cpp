// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/Executor.h"

#include "rename/Journal.h"
#include "rename/Progress.h"

#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <numeric>

namespace pelmora {

namespace {

constexpr size_t kBatchFiles = 64;
constexpr qint64 kBatchMilliseconds = 100;

} // namespace

FailureCause causeOf(fs::RenameStatus status)
{
    switch (status) {
    case fs::RenameStatus::Renamed: return FailureCause::None;
    case fs::RenameStatus::TargetExists: return FailureCause::TargetExists;
    case fs::RenameStatus::SourceMissing: return FailureCause::Vanished;
    case fs::RenameStatus::UnsafeName: return FailureCause::NameRefused;
    case fs::RenameStatus::PermissionDenied: return FailureCause::Permission;
    case fs::RenameStatus::ReadOnly: return FailureCause::ReadOnly;
    case fs::RenameStatus::DiskFull: return FailureCause::DiskFull;
    case fs::RenameStatus::Unreachable: return FailureCause::Unreachable;
    case fs::RenameStatus::Failed: break;
    }
    return FailureCause::Other;
}

Executor::Executor(RenamePlan &plan, NameDatabase &database, qint64 runId, StepsFor purpose, ProgressSink *sink,
                   bool showsProgress, fs::RenameCalls &calls)
    : plan_(plan)
    , database_(database)
    , runId_(runId)
    , purpose_(purpose)
    , sink_(sink)
    , showsProgress_(showsProgress)
    , logs_(rulesOf(plan.operation).writesLog)
    , mover_(plan.folder, calls)
{
    for (size_t i = 0; i < plan.files.size(); ++i) {
        members_[plan.files[i].group].push_back(i);
        committed_.emplace_back(plan.files[i].state, plan.files[i].cause);
    }
}

namespace {

// The name a file in this state and cause is under.
const QString &placeOfState(const PlannedRename &file, FileState state, FailureCause cause)
{
    if (state == FileState::Done)
        return file.newName;
    if (state == FileState::Temporary || (state == FileState::Failed && cause == FailureCause::LeftTemporary))
        return file.temporaryName;
    return file.formerName;
}

} // namespace

Executor::StopReason Executor::run(const std::vector<Step> &steps, float offset, float share)
{
    // A stop is taken between two groups, once no file is left under a
    // temporary name that the steps to come would free the way for.
    size_t lastFromTemporary = 0;
    for (size_t k = 0; k < steps.size(); ++k) {
        if (steps[k].from == plan_.files[steps[k].file].temporaryName && steps[k].reached == FileState::Done)
            lastFromTemporary = k + 1;
    }
    int processed = 0;
    unmoved_.clear();
    stopReason_ = StopReason::None;
    for (size_t k = 0; k < steps.size(); ++k) {
        const Step &step = steps[k];
        PlannedRename &file = plan_.files[step.file];
        if (purpose_ == StepsFor::Forward && groupStartsAt(k, steps)) {
            if (k >= lastFromTemporary && sink_ && sink_->stopRequested())
                return stop(StopReason::Cancelled);
            if (batch_ && (staged_.size() >= kBatchFiles || batchStarted_.hasExpired(kBatchMilliseconds))
                && !commit())
                return stop(StopReason::Database);
            if (blocked(file.group))
                failedGroups_.insert(file.group);
        }
        if (failedGroups_.count(file.group)) {
            if (!keepWithGroup(step.file))
                return stop(StopReason::Database);
        } else if (step.from == step.to || moveFile(file, step.from, step.to, step.checkContent)) {
            file.state = step.reached;
            file.cause = step.cause;
            file.error = 0;
            if (!record(step.file, step.reached == FileState::Done, step.logWayBack))
                return stop(StopReason::Database);
        } else {
            unmoved_.push_back(step.file);
            if (stopReason_ == StopReason::None && !failStep(step))
                return stop(StopReason::Database);
            if (stopReason_ != StopReason::None)
                return stop(stopReason_);
        }
        progress(++processed, offset, share);
    }
    if (!commit())
        return stop(StopReason::Database);
    return StopReason::None;
}

void Executor::note(size_t file, FileState state, FailureCause cause, Log log)
{
    plan_.files[file].state = state;
    plan_.files[file].cause = cause;
    record(file, log == Log::Forward, log == Log::WayBack);
}

bool Executor::remove(const QString &name)
{
    return fs::remove(plan_.folder, name);
}

bool Executor::moveFile(PlannedRename &file, const QString &from, const QString &to, bool checkContent)
{
    if (checkContent) {
        const std::optional<fs::FileIdentity> there = fs::identifyContent(plan_.folder, from);
        if (there && !fs::sameFile(file.identity, *there)) {
            file.cause = FailureCause::NotTheSameFile;
            file.error = 0;
            return false;
        }
    }
    const fs::MoveResult result = mover_.move(from, to);
    if (result.status == fs::RenameStatus::Renamed)
        return true;
    file.cause = causeOf(result.status);
    file.error = result.error;
    // A card pulled out answers ENOENT for every file: the folder itself
    // tells whether the file or the volume is gone.
    const bool folderGone = result.status == fs::RenameStatus::Unreachable
        || (result.status == fs::RenameStatus::SourceMissing && !QFileInfo(plan_.folder).isDir());
    if (folderGone) {
        file.cause = FailureCause::Unreachable;
        stopReason_ = StopReason::FolderGone;
    } else if (result.status == fs::RenameStatus::ReadOnly) {
        stopReason_ = StopReason::ReadOnly;
    } else if (result.status == fs::RenameStatus::DiskFull) {
        stopReason_ = StopReason::DiskFull;
    }
    return false;
}

bool Executor::groupStartsAt(size_t k, const std::vector<Step> &steps) const
{
    return k == 0 || plan_.files[steps[k].file].group != plan_.files[steps[k - 1].file].group;
}

// A group of more than one file one of whose new names an entry the run
// leaves alone holds: a file of it could not follow the others.
bool Executor::blocked(int group) const
{
    const std::vector<size_t> &members = members_.at(group);
    return members.size() > 1
        && std::any_of(members.begin(), members.end(), [&](size_t i) { return plan_.files[i].nameTaken; });
}

// The step's file did not move. In a run, a file that cannot reach its new
// name from its temporary one goes back to its former name, and its group
// is taken back; in a recovery, a file that cannot go back stays where it
// is, and its record says so (the caller tells what the recovery met).
bool Executor::failStep(const Step &step)
{
    PlannedRename &file = plan_.files[step.file];
    if (purpose_ == StepsFor::Recovery && step.reached != FileState::Done) {
        if (step.reached == FileState::Temporary)
            return true; // still at its new name: the caller records it so
        // Still under its temporary name, its cause kept: a rename it takes
        // back is logged on its way back by the next recovery.
        file.state = FileState::Temporary;
        return record(step.file);
    }
    if (file.state == FileState::Temporary && step.from == file.temporaryName) {
        const FailureCause cause = file.cause;
        const int error = file.error;
        // Gone only if its temporary name is gone too: some FUSE file
        // systems answer ENOENT for a file that is there.
        const bool vanished = cause == FailureCause::Vanished && !fs::exists(plan_.folder, file.temporaryName);
        const bool back = !vanished && moveFile(file, file.temporaryName, file.formerName, false);
        file.state = back ? FileState::Restored : FileState::Failed;
        file.cause = back || vanished ? cause : FailureCause::LeftTemporary;
        file.error = error;
    } else {
        file.state = FileState::Failed;
    }
    failedGroups_.insert(file.group);
    return record(step.file) && takeBackGroup(file.group);
}

// A file of a group that failed keeps (or gets back) its former name. Its
// cause is its own new name held by another entry, or else the group.
bool Executor::keepWithGroup(size_t i)
{
    PlannedRename &file = plan_.files[i];
    if (file.state == FileState::Temporary) {
        const bool back = moveFile(file, file.temporaryName, file.formerName, false);
        file.state = back ? FileState::Restored : FileState::Failed;
        file.cause = back ? FailureCause::CompanionFailed : FailureCause::LeftTemporary;
    } else if (file.state == FileState::Planned) {
        file.state = FileState::Failed;
        file.cause = file.nameTaken ? FailureCause::TargetExists : FailureCause::CompanionFailed;
    } else {
        return true;
    }
    return record(i);
}

// A file of the group could not be moved: the files of the group moved so
// far go back to their former names. One that cannot stays renamed, as its
// record says.
bool Executor::takeBackGroup(int group)
{
    const std::vector<size_t> &members = members_.at(group);
    for (auto member = members.rbegin(); member != members.rend(); ++member) {
        const size_t i = *member;
        PlannedRename &file = plan_.files[i];
        if (file.state == FileState::Temporary) {
            if (!keepWithGroup(i))
                return false;
        } else if (file.state == FileState::Done) {
            if (!moveFile(file, file.newName, file.formerName, false)) {
                file.cause = FailureCause::None;
                file.error = 0;
                continue;
            }
            file.state = FileState::Restored;
            file.cause = FailureCause::CompanionFailed;
            if (!record(i, false, true))
                return false;
        }
    }
    return true;
}

// Stages file i's state (with its log row, or the row of its way back) in
// the open batch; in a recovery it is committed at once. A run cut short
// before a commit loses no name: recovery reads where each file is from the
// folder itself, and a rename is never logged without its state or the
// other way round.
bool Executor::record(size_t i, bool withLog, bool wayBack)
{
    const PlannedRename &file = plan_.files[i];
    // Only operations that log write rows.
    std::optional<LogRow> log;
    if (withLog && logs_)
        log = journal::logRowFor(file);
    else if (wayBack && logs_)
        log = journal::wayBackRowFor(file);
    try {
        staged_.push_back(i);
        if (!batch_) {
            batch_.emplace(database_);
            batchStarted_.start();
        }
        journal::record(database_, runId_, int(i), file, log, plan_.undoOf);
        if (purpose_ == StepsFor::Recovery && !commit())
            throw *databaseError;
        return true;
    } catch (const DatabaseError &error) {
        if (purpose_ == StepsFor::Recovery)
            throw;
        databaseError = error;
        return false;
    }
}

bool Executor::commit()
{
    if (!batch_)
        return true;
    try {
        batch_->commit();
        batch_.reset();
        for (const size_t i : staged_)
            committed_[i] = {plan_.files[i].state, plan_.files[i].cause};
        staged_.clear();
        return true;
    } catch (const DatabaseError &error) {
        databaseError = error;
        return false;
    }
}

// The batch the database refused: its moves were never recorded, so they
// are taken back, last first, to where the record has each file.
void Executor::takeBackUnrecorded()
{
    batch_.reset(); // rolled back
    std::set<size_t> seen;
    for (auto position = staged_.rbegin(); position != staged_.rend(); ++position) {
        if (!seen.insert(*position).second)
            continue;
        PlannedRename &file = plan_.files[*position];
        const auto [state, cause] = committed_[*position];
        const QString &now = placeOfState(file, file.state, file.cause);
        const QString &recorded = placeOfState(file, state, cause);
        if (now == recorded || moveFile(file, now, recorded, false)) {
            file.state = state;
            file.cause = cause;
        }
    }
    staged_.clear();
}

Executor::StopReason Executor::stop(StopReason reason)
{
    if (reason == StopReason::Database)
        takeBackUnrecorded();
    else if (!commit())
        return stop(StopReason::Database);
    // A recovery stopped by its volume leaves every file where it is: the
    // next one works it out from the folder.
    if (purpose_ == StepsFor::Recovery)
        return reason;
    const bool recordable = reason != StopReason::Database;
    for (size_t j = 0; j < plan_.files.size(); ++j) {
        PlannedRename &file = plan_.files[j];
        if (file.state == FileState::Temporary && reason != StopReason::FolderGone) {
            const bool back = moveFile(file, file.temporaryName, file.formerName, false);
            file.state = back ? FileState::Planned : FileState::Failed;
            file.cause = back ? FailureCause::Stopped : FailureCause::LeftTemporary;
            if (recordable)
                record(j);
        } else if (file.state == FileState::Planned) {
            file.cause = FailureCause::Stopped;
        }
    }
    if (recordable && !commit())
        return StopReason::Database;
    return reason;
}

void Executor::progress(int done, float offset, float share)
{
    if (!sink_ || !showsProgress_ || plan_.progressCount <= 0)
        return;
    const float value = float(done) * share * 100 / float(plan_.progressCount) + offset;
    sink_->setValue(std::clamp(static_cast<int>(value), 0, 100));
}

} // namespace pelmora
