// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/FileSystem.h"
#include "database/NameDatabase.h"
#include "rename/Plan.h"

#include <QElapsedTimer>
#include <QString>

#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

namespace pelmora {

class ProgressSink;

// One move of a file of a run, from one of its names to another.
struct Step {
    size_t file = 0;      // the file's position in the run
    QString from;
    QString to;
    FileState reached = FileState::Done;     // its state once moved
    FailureCause cause = FailureCause::None; // its cause once moved (RolledBack: a way back)
    bool checkContent = false; // only the file recorded moves: never one saved under its name since
    bool logWayBack = false;   // the move takes a logged rename back: logged as such
};

// What a list of steps is for, which decides how a failure and a stop are met.
enum class StepsFor {
    Forward,  // a run or an undo: a group that fails is taken back, a stop returns temporary names
    Recovery  // a run cut short, set right: every state committed at once; a volume that fails ends
              // the steps there, and the next recovery goes on from the folder
};

// The one place where the files of a run are moved and their states
// written. Every other part of a run builds the steps it takes: the passes
// of a run and of an undo, and a recovery. A file and its companions (one
// group) move, fail and stop as one: when one of them cannot move, those
// moved already are taken back. States and log rows are staged and
// committed in batches, always between two groups, so a batch the database
// refuses takes back whole groups.
class Executor {
public:
    using StopReason = OperationOutcome::StopReason;

    // `sink` is asked whether to stop, and shown the progress when
    // `showsProgress`; the files move through `calls`.
    Executor(RenamePlan &plan, NameDatabase &database, qint64 runId, StepsFor purpose,
             ProgressSink *sink = nullptr, bool showsProgress = false,
             fs::RenameCalls &calls = fs::systemRenameCalls());

    // Runs the steps in their order, reporting progress from `offset` over
    // `share` of the bar. Why the run stopped, or None.
    StopReason run(const std::vector<Step> &steps, float offset = 0, float share = 1);
    // Which log row goes with a state.
    enum class Log { None, Forward, WayBack };
    // Writes a state found without a move (recovery): a rename done before
    // a cut, a file back under its former name.
    void note(size_t file, FileState state, FailureCause cause, Log log = Log::None);
    // Removes an entry a move cut short left behind (an empty placeholder,
    // a second link of one file); false when it could not.
    bool remove(const QString &name);
    // The files whose moves failed in the last run of steps.
    const std::vector<size_t> &unmoved() const { return unmoved_; }
    NameDatabase &database() { return database_; }
    // Commits what is staged; false when the database refused it.
    bool commit();
    // Files still under temporary names go back to their former names
    // unless the folder is gone; files not reached are marked stopped.
    StopReason stop(StopReason reason);

    std::optional<DatabaseError> databaseError;

private:
    bool moveFile(PlannedRename &file, const QString &from, const QString &to, bool checkContent);
    bool groupStartsAt(size_t k, const std::vector<Step> &steps) const;
    bool blocked(int group) const;
    bool failStep(const Step &step);
    bool keepWithGroup(size_t i);
    bool takeBackGroup(int group);
    bool record(size_t i, bool withLog = false, bool wayBack = false);
    void takeBackUnrecorded();
    void progress(int done, float offset, float share);

    RenamePlan &plan_;
    NameDatabase &database_;
    qint64 runId_;
    StepsFor purpose_;
    ProgressSink *sink_;
    bool showsProgress_;
    bool logs_;
    std::unordered_map<int, std::vector<size_t>> members_; // the files of each group
    fs::FolderMover mover_;
    StopReason stopReason_ = StopReason::None;
    std::set<int> failedGroups_;
    std::optional<Transaction> batch_;
    QElapsedTimer batchStarted_;
    std::vector<size_t> staged_;
    std::vector<std::pair<FileState, FailureCause>> committed_; // each file as the database has it
    std::vector<size_t> unmoved_;
};

FailureCause causeOf(fs::RenameStatus status);

} // namespace pelmora
