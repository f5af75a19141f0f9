#include "numbering/NumberingExport.h"

#include "platform/DataFolder.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace pelmora {

QString findWorkbookTemplate(const QString &dataFolder)
{
    const QString own = workbook::templateFileIn(dataFolder);
    if (QFileInfo::exists(own))
        return own;
    const QString program = programWorkbookTemplate();
    return QFileInfo::exists(program) ? program : own;
}

QString desktopFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

QString text::exportQuestion(qsizetype files, qsizetype folders)
{
    return QStringLiteral("　ファイルリストのExcelデータを作成します。\r\r　ファイルは") + QString::number(files)
        + QStringLiteral("件、フォルダは") + QString::number(folders)
        + QStringLiteral("件あります。\r\r　時間とCPU負荷がかかる場合があります。\r\r"
                         "　作業途中のExcelファイルがある場合、そのデータが消える可能性があります。"
                         "開いているExcelファイルがある場合は閉じてください。\r\r　このまま処理を続けますか？");
}

QString text::exportFailed(const workbook::Error &error)
{
    return QStringLiteral("Excelファイルを出力できませんでした。\r\rファイル：") + error.file
        + QStringLiteral("\r原因：") + error.cause;
}

QString text::exportingRow(workbook::Sheet sheet, qsizetype counter)
{
    return QStringLiteral("現在%1件目の%2をExcelに転記しています。")
        .arg(counter)
        .arg(sheet == workbook::Sheet::Files ? QStringLiteral("ファイル") : QStringLiteral("フォルダ"));
}

} // namespace pelmora
