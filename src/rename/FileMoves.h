#pragma once

#include "platform/FileSystem.h"
#include "rename/RenameOperations.h"

#include <QString>

namespace pelmora {

// Every rename of a recorded run goes through here: the forward run, the way
// back when it stops, undo and recovery. A move that fails leaves the file's
// state alone and gives it the cause and the system's error; what the file
// reached is for the caller to record.
class FileMoves {
public:
    explicit FileMoves(const QString &folder);

    // The file from one of its names to another. With `onlyThisFile`, the
    // file under `from` must be the one recorded (same size and time):
    // another file saved under that name since is never moved.
    bool move(PlannedRename &file, const QString &from, const QString &to, bool onlyThisFile = false);

    // After a failed move: why no later move can succeed either (the volume
    // became read-only, filled up or went away), or None.
    OperationOutcome::StopReason stopReason() const { return stopReason_; }

private:
    fs::FolderMover mover_;
    OperationOutcome::StopReason stopReason_ = OperationOutcome::StopReason::None;
};

FailureCause causeOf(fs::RenameStatus status);

} // namespace pelmora
