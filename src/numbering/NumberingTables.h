// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

namespace pelmora {

// One row of FileNum.
struct FileRow {
    QString fileId; // "FLE" + at least six digits
    QString fileName;
    QDateTime makeItDate; // invalid: the date could not be read
    QString extension;
    QString folderName;
    QString folderId;
};

// One row of FolderNum.
struct FolderRow {
    QString folderName;
    QString folderId; // "FLD" + at least four digits
};

} // namespace pelmora
