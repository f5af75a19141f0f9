#include "rename/Recovery.h"

#include "platform/FileSystem.h"
#include "rename/Messages.h"
#include "rename/NameDatabase.h"

#include <QDir>

namespace pelmora {

namespace {

bool awaitsRestore(const QString &folder, const PlannedRename &file)
{
    return (file.state == FileState::Planned || file.state == FileState::Temporary)
        && fs::exists(folder, file.temporaryName);
}

int countAwaiting(NameDatabase &database, const journal::Run &run)
{
    int waiting = 0;
    for (const PlannedRename &file : journal::files(database, run.id))
        waiting += awaitsRestore(run.folder, file) ? 1 : 0;
    return waiting;
}

} // namespace

std::vector<UnfinishedRun> findUnfinishedRuns(NameDatabase &database)
{
    std::vector<UnfinishedRun> runs;
    for (const journal::Run &run : journal::unfinishedRuns(database)) {
        const fs::FolderLock live(run.folder);
        if (live.held())
            runs.push_back({run, countAwaiting(database, run)});
    }
    return runs;
}

RecoveryResult recover(NameDatabase &database, const journal::Run &run)
{
    RecoveryResult result;
    result.folder = run.folder;
    const fs::FolderLock lock(run.folder);
    if (!lock.held())
        return result; // still running elsewhere: nothing of it is touched
    const OperationSpec &spec = specOf(run.operation);
    const std::vector<PlannedRename> files = journal::files(database, run.id);
    for (size_t i = 0; i < files.size(); ++i) {
        PlannedRename file = files[i];
        if (file.state != FileState::Planned && file.state != FileState::Temporary)
            continue;
        const bool former = fs::exists(run.folder, file.formerName);
        std::optional<LogRow> log;
        if (fs::exists(run.folder, file.temporaryName)) {
            if (fs::renameNoReplace(run.folder, file.temporaryName, file.formerName) == fs::RenameStatus::Renamed) {
                file.state = FileState::Restored;
                ++result.restored;
            } else {
                file.state = FileState::Failed;
                file.cause = FailureCause::LeftTemporary;
                ++result.failed;
                result.notRestored << file.temporaryName;
            }
        } else if (!former && fs::exists(run.folder, file.newName)) {
            // Renamed just before the cut, not yet recorded.
            file.state = FileState::Done;
            if (spec.writesLog)
                log = journal::logRowFor(file);
            ++result.completed;
        } else if (file.state == FileState::Temporary) {
            file.state = former ? FileState::Restored : FileState::Failed;
            file.cause = former ? FailureCause::None : FailureCause::Vanished;
        } else {
            file.cause = FailureCause::Stopped; // never touched
        }
        journal::record(database, run.id, int(i), file, log, run.undoOf);
    }
    journal::finish(database, run.id);
    return result;
}

int filesAwaitingRestore(NameDatabase &database, const QString &folder)
{
    int waiting = 0;
    for (const journal::Run &run : journal::unfinishedRuns(database)) {
        if (QDir::cleanPath(run.folder) != QDir::cleanPath(folder))
            continue;
        const int awaiting = countAwaiting(database, run);
        if (awaiting == 0)
            recover(database, run);
        waiting += awaiting;
    }
    return waiting;
}

QString text::strandedQuestion(const UnfinishedRun &run)
{
    return QStringLiteral("前回の処理が途中で終わったため、") + QString::number(run.awaitingRestore)
        + QStringLiteral("件のファイルが一時的な名前のままです。\r\rフォルダ名\r") + run.run.folder
        + QStringLiteral("\r\r元のファイル名に戻しますか？");
}

QString text::restoreSummary(const RecoveryResult &result)
{
    QString message = QString::number(result.restored) + QStringLiteral("件のファイル名を元に戻しました")
        + failureLine(result.failed);
    if (!result.notRestored.isEmpty()) {
        constexpr int kShown = 20;
        message += QStringLiteral("\r\r元に戻せなかったファイル（フォルダ ") + result.folder + QStringLiteral("）：\r")
            + result.notRestored.mid(0, kShown).join(u'\r');
        if (result.notRestored.size() > kShown)
            message += QStringLiteral("\rほか") + QString::number(result.notRestored.size() - kShown)
                + QStringLiteral("件");
    }
    return message;
}

} // namespace pelmora
