// SPDX-License-Identifier: GPL-3.0-or-later
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

} // namespace pelmora
