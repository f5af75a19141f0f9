#pragma once

#include "numbering/WorkbookExport.h"

#include <QString>

namespace pelmora {

// The template in the DATA folder, else the one that comes with the program.
QString findWorkbookTemplate(const QString &dataFolder);

// The desktop folder, where the workbook goes; it is never created.
QString desktopFolder();

namespace text {
QString exportQuestion(qsizetype files, qsizetype folders);
QString exportFailed(const workbook::Error &error);
QString exportingRow(workbook::Sheet sheet, qsizetype counter);
inline const QString kExportQuestionTitle = QStringLiteral("確認");
inline const QString kExportStatus = QStringLiteral("Excelファイルに出力しデスクトップに保存しました。");
inline const QString kExported = QStringLiteral("Excelファイルをデスクトップに出力しました。");
inline const QString kExportErrorTitle = QStringLiteral("出力エラー");
} // namespace text

} // namespace pelmora
