// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace pelmora {

// The workbook template's name in a DATA folder.
inline const QString kWorkbookTemplateName = QStringLiteral("FileID.xlsx");

// Where the program keeps its database, its favourite folder and the
// workbook template. Run from where it was built: "DATA" beside the
// executable. Installed (its shared files under ../share/pelmora), or where
// the folder beside it cannot be written: the per-user data folder + "/DATA",
// given a copy of the program's workbook template the first time, so the user
// may edit theirs. Created when missing, unless only looked at.
enum class DataFolderUse { Make, LookOnly };
QString defaultDataFolder(DataFolderUse use = DataFolderUse::Make);

// The workbook template that comes with the program: among its shared files
// when installed, else in DATA beside it.
QString programWorkbookTemplate();

} // namespace pelmora
