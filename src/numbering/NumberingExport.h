// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "numbering/WorkbookExport.h"

#include <QString>

namespace pelmora {

// The template in the DATA folder, else the one that comes with the program.
QString findWorkbookTemplate(const QString &dataFolder);

// The desktop folder, where the workbook goes; it is never created.
QString desktopFolder();

} // namespace pelmora
