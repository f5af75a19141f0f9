// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "numbering/NumberingTables.h"
#include "numbering/WorkbookTemplate.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace pelmora::workbook {

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

} // namespace pelmora::workbook
