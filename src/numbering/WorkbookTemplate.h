// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Failure.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace pelmora::workbook {

// What went wrong: the file concerned, and the cause in the words of the
// library or of the check that found it.
using Error = Failure;

// The heading rows of the template's sheets "Files" and "Folders".
struct TemplateHeadings {
    QStringList files;
    QStringList folders;
};

// The first row of each sheet, cell by cell as text, up to its last
// non-empty cell. An error when the file, a sheet or a string of its
// headings cannot be read, or when a part of it is too large to read safely
// (inflating beyond 64 MB): templates come from anywhere.
std::optional<TemplateHeadings> readTemplateHeadings(const QString &path, Error *error);

} // namespace pelmora::workbook
