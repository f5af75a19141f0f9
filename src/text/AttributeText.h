// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "attributes/Attributes.h"

#include <QString>

namespace pelmora {

// The file's name, then for every column from 1 to 499 a CR LF, the column
// number, " : " and the column's text (empty when the file has none); no
// line break at the end.
QString attributeText(const FileAttributes &file);

} // namespace pelmora
