#pragma once

#include <QString>

#include <optional>

namespace pelmora {

struct Metadata;

// The file's name, then for every column from 1 to 499 a CR LF, the column
// number, " : " and the column's text (empty when the file has none); no
// line break at the end. The columns are the file's own (size, type, times)
// and those of its metadata.
QString attributeText(const QString &path, const Metadata &metadata);

// The file the display shows for a folder: its first plain, non-hidden file
// by name; none for a folder without one.
std::optional<QString> firstFileOf(const QString &folder);

} // namespace pelmora
