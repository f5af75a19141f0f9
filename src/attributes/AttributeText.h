#pragma once

#include <QString>

#include <optional>

namespace pelmora {

class IsolatedPropertyReader;
class PropertyReader;

// The file's name, then for every column from 1 to 499 a CR LF, the column
// number, " : " and the column's text (empty when the file has none); no
// line break at the end.
QString attributeText(const QString &path, PropertyReader &reader);
QString attributeText(const QString &path, IsolatedPropertyReader &reader);

// The file the display shows for a folder: its first plain, non-hidden file
// by name; none for a folder without one.
std::optional<QString> firstFileOf(const QString &folder);

} // namespace pelmora
