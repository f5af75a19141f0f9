#include "rename/Recovery.h"

#include "platform/FileSystem.h"
#include "rename/Messages.h"
#include "rename/NameDatabase.h"
#include "rename/RenameOperations.h"

#include <QFileInfo>

namespace pelmora {

StrandedFiles findStrandedFiles(NameDatabase &database)
{
    StrandedFiles stranded;
    const std::optional<ListRun> run = database.listRun();
    if (!run)
        return stranded;
    const auto operation = static_cast<Operation>(run->operation);
    if (operation != Operation::ShotDate && operation != Operation::NewNumber
        && operation != Operation::NewAndExisting)
        return stranded;
    stranded.folder = run->folder;
    for (const ListRow &row : database.listRows()) {
        if (!row.fileName.startsWith(QStringLiteral("TempFileName")))
            continue;
        if (!QFileInfo(fs::joinPath(run->folder, row.fileName)).isFile())
            continue;
        // This operation keeps the former name without its extension.
        const QString formerName = operation == Operation::NewAndExisting
            ? row.originalFileName + u'.' + row.extension
            : row.originalFileName;
        stranded.files.push_back({row.fileName, formerName});
    }
    return stranded;
}

RestoreResult restoreFormerNames(const StrandedFiles &stranded)
{
    RestoreResult result;
    for (const StrandedFiles::File &file : stranded.files) {
        if (fs::renameNoReplace(stranded.folder, file.temporaryName, file.formerName) == fs::RenameStatus::Renamed)
            ++result.restored;
        else
            ++result.failed;
    }
    return result;
}

QString text::strandedQuestion(const StrandedFiles &stranded)
{
    return QStringLiteral("前回の処理が途中で終わったため、") + QString::number(stranded.files.size())
        + QStringLiteral("件のファイルが一時的な名前のままです。\r\rフォルダ名\r") + stranded.folder
        + QStringLiteral("\r\r元のファイル名に戻しますか？");
}

QString text::restoreSummary(const RestoreResult &result)
{
    return QString::number(result.restored) + QStringLiteral("件のファイル名を元に戻しました")
        + failureLine(result.failed);
}

} // namespace pelmora
