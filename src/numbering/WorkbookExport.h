#pragma once

#include "numbering/NumberingTables.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace pelmora::workbook {

// What went wrong, for the box: the file concerned and the cause.
struct Error {
    QString file;
    QString cause;
};

// The sheet being written, and its row counted from 1 (the row after the
// headings), told at the first row of each sheet and every few hundred rows.
enum class Sheet { Files, Folders };
using RowProgress = std::function<void(Sheet sheet, qsizetype counter)>;

// "FileID.xlsx" in the DATA folder.
QString templateFileIn(const QString &dataFolder);

// "YYMMDD-File_Name_ID-HHNNSS.xlsx"
QString outputName(const QDateTime &now);

// Writes the rows to a new workbook at `target`, from the template: the same
// sheets "Files" and "Folders", the template's heading row, data from row 2
// (Files: FileID, FileName, Extension, MakeItDate as a date cell, FolderID,
// FolderName; Folders: FolderID, FolderName). Written to a temporary file in
// the target's folder and renamed into place, replacing a file of that name:
// nothing half-written is ever left, and what killed exports left there goes.
// Nothing on success.
std::optional<Error> write(const QString &templatePath, const std::vector<FileRow> &files,
                           const std::vector<FolderRow> &folders, const QString &target,
                           const RowProgress &progress = {});

// The cells of one sheet of an .xlsx file, row by row, as text (a date cell
// as its number), each row up to its last non-empty cell; empty rows of the
// sheet are left out. Error when the file or the sheet cannot be read, or
// is too large to read safely (a part inflating beyond 64 MB).
std::optional<std::vector<QStringList>> readSheet(const QString &path, const QString &sheet, Error *error = nullptr);

} // namespace pelmora::workbook
