#include "numbering/WorkbookExport.h"

namespace pelmora::workbook {

QString templateFileIn(const QString &dataFolder)
{
    return dataFolder + QStringLiteral("/FileID.xlsx");
}

QString outputName(const QDateTime &now)
{
    return now.toString(QStringLiteral("yyMMdd")) + QStringLiteral("-File_Name_ID-")
        + now.toString(QStringLiteral("HHmmss")) + QStringLiteral(".xlsx");
}

std::optional<Error> write(const QString &, const std::vector<FileRow> &, const std::vector<FolderRow> &,
                           const QString &target)
{
    return Error{target, QStringLiteral("not written yet")};
}

std::optional<std::vector<QStringList>> readSheet(const QString &path, const QString &, Error *error)
{
    if (error)
        *error = Error{path, QStringLiteral("not read yet")};
    return std::nullopt;
}

} // namespace pelmora::workbook
