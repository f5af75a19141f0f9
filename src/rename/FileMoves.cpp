#include "rename/FileMoves.h"

#include <QFileInfo>

#include <cerrno>

namespace pelmora {

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

FileMoves::FileMoves(const QString &folder)
    : mover_(folder)
{
}

bool FileMoves::move(PlannedRename &file, const QString &from, const QString &to, bool onlyThisFile)
{
    using Stop = OperationOutcome::StopReason;
    if (onlyThisFile) {
        const std::optional<fs::FileIdentity> there = fs::identify(mover_.folder(), from);
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
        || (result.status == fs::RenameStatus::SourceMissing && !QFileInfo(mover_.folder()).isDir());
    if (folderGone) {
        file.cause = FailureCause::Unreachable;
        stopReason_ = Stop::FolderGone;
    } else if (result.status == fs::RenameStatus::ReadOnly) {
        stopReason_ = Stop::ReadOnly;
    } else if (result.status == fs::RenameStatus::DiskFull) {
        stopReason_ = Stop::DiskFull;
    }
    return false;
}

} // namespace pelmora
