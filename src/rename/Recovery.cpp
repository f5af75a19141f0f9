#include "rename/Recovery.h"

#include "platform/FileSystem.h"
#include "rename/Messages.h"
#include "rename/NameDatabase.h"

namespace pelmora {

namespace {

// Where a file of the run is now. A name counts only when the file under it
// is the file of the record (a rename keeps what a file is), so that a
// former name taken by another file of the run is not mistaken for it.
enum class Place { Former, Temporary, New, Gone };

Place placeOf(const QString &folder, const PlannedRename &file)
{
    const auto holds = [&](const QString &name) {
        if (name.isEmpty())
            return false;
        const quint64 identity = fs::identityOf(folder, name);
        return identity != 0 && (file.identity == 0 || identity == file.identity);
    };
    if (holds(file.temporaryName))
        return Place::Temporary;
    if (holds(file.newName) && (file.identity != 0 || !holds(file.formerName)))
        return Place::New;
    if (holds(file.formerName))
        return Place::Former;
    return Place::Gone;
}

bool unsettled(const PlannedRename &file)
{
    return file.state == FileState::Planned || file.state == FileState::Temporary;
}

int countAwaiting(NameDatabase &database, const journal::Run &run)
{
    int waiting = 0;
    for (const PlannedRename &file : journal::files(database, run.id)) {
        const bool stranded = unsettled(file) || file.cause == FailureCause::LeftTemporary
            || file.cause == FailureCause::RolledBack;
        waiting += stranded && placeOf(run.folder, file) == Place::Temporary ? 1 : 0;
    }
    return waiting;
}

// An undo taken back: the files it had undone count as renamed again.
void reopenUndone(NameDatabase &database, const journal::Run &run, const PlannedRename &file)
{
    Statement done(database, QStringLiteral(
        "UPDATE RenameJournal SET State = 'done' WHERE RunID = ? AND Position = ? AND State = 'undone'"));
    done.bind(run.undoOf).bind(qint64(file.undoOfPosition)).run();
}

// A run cut short with files under temporary names is taken back whole:
// files it had already renamed go to their temporary names first, so that
// no former name is held by another file of the run, then every file goes
// back to its former name. Each step is recorded as it is taken, so a
// recovery that is itself cut short goes on where it stopped.
void rollBack(NameDatabase &database, const journal::Run &run, std::vector<PlannedRename> &files,
              RecoveryResult &result)
{
    for (size_t i = files.size(); i-- > 0;) {
        PlannedRename &file = files[i];
        if (file.state != FileState::Done && !unsettled(file))
            continue;
        if (placeOf(run.folder, file) != Place::New)
            continue;
        if (fs::renameNoReplace(run.folder, file.newName, file.temporaryName) != fs::RenameStatus::Renamed)
            continue; // stays renamed, and recorded as such below
        // A logged rename is logged again on its way back.
        file.cause = file.state == FileState::Done ? FailureCause::RolledBack : FailureCause::None;
        file.state = FileState::Temporary;
        journal::record(database, run.id, int(i), file);
        if (run.undoOf != 0)
            reopenUndone(database, run, file);
    }
    for (size_t i = 0; i < files.size(); ++i) {
        PlannedRename &file = files[i];
        const bool stranded = unsettled(file) || file.cause == FailureCause::LeftTemporary;
        if (!stranded || placeOf(run.folder, file) != Place::Temporary)
            continue;
        std::optional<LogRow> log;
        if (fs::renameNoReplace(run.folder, file.temporaryName, file.formerName) == fs::RenameStatus::Renamed) {
            if (file.cause == FailureCause::RolledBack) {
                LogRow back = journal::logRowFor(file);
                back.originalFileName = file.newName;
                back.newFileName = file.formerName;
                log = back;
            }
            file.state = FileState::Restored;
            ++result.restored;
        } else {
            file.state = FileState::Failed;
            file.cause = FailureCause::LeftTemporary;
            ++result.failed;
            result.notRestored << file.temporaryName;
        }
        journal::record(database, run.id, int(i), file, log);
    }
    if (run.undoOf != 0) {
        Statement reopen(database, QStringLiteral("UPDATE RenameRun SET UndoneBy = NULL WHERE RunID = ?"));
        reopen.bind(run.undoOf).run();
    }
}

// A run cut short with nothing under a temporary name is closed as it
// stands: a rename that happened just before the cut is recorded and logged.
void settle(NameDatabase &database, const journal::Run &run, std::vector<PlannedRename> &files,
            RecoveryResult &result)
{
    const OperationRules &rules = rulesOf(run.operation);
    for (size_t i = 0; i < files.size(); ++i) {
        PlannedRename &file = files[i];
        if (!unsettled(file))
            continue;
        std::optional<LogRow> log;
        switch (placeOf(run.folder, file)) {
        case Place::New:
            file.state = FileState::Done;
            if (rules.writesLog)
                log = journal::logRowFor(file);
            ++result.completed;
            break;
        case Place::Former:
            file.cause = file.state == FileState::Planned ? FailureCause::Stopped : FailureCause::None;
            file.state = file.state == FileState::Planned ? FileState::Planned : FileState::Restored;
            break;
        case Place::Temporary: // counted as awaiting: never here
        case Place::Gone:
            file.state = FileState::Failed;
            file.cause = FailureCause::Vanished;
            break;
        }
        journal::record(database, run.id, int(i), file, log, run.undoOf);
    }
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
    std::vector<PlannedRename> files = journal::files(database, run.id);
    if (countAwaiting(database, run) > 0)
        rollBack(database, run, files, result);
    else
        settle(database, run, files, result);
    journal::finish(database, run.id);
    return result;
}

int filesAwaitingRestore(NameDatabase &database, const QString &folder)
{
    const QString canonical = fs::canonicalFolder(folder);
    int waiting = 0;
    for (const journal::Run &run : journal::unfinishedRuns(database)) {
        if (fs::canonicalFolder(run.folder) != canonical)
            continue;
        const int awaiting = countAwaiting(database, run);
        if (awaiting == 0)
            recover(database, run);
        waiting += awaiting;
    }
    return waiting;
}

std::optional<UnfinishedRun> settleUnfinishedRuns(NameDatabase &database)
{
    std::optional<UnfinishedRun> awaiting;
    for (const UnfinishedRun &run : findUnfinishedRuns(database)) {
        if (run.awaitingRestore == 0)
            recover(database, run.run);
        else if (!awaiting)
            awaiting = run;
    }
    return awaiting;
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
