// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "numbering/NumberingTables.h"

#include <QString>

#include <functional>
#include <vector>

namespace pelmora {

class NameDatabase;

struct NumberingResult {
    int files = 0;
    int folders = 0;
    int unreadable = 0; // folders numbered whose contents could not be read
    int unnamed = 0;    // entries whose names are no text, left out
};

// Gives every file and folder below a folder its identifier, depth first
// and pre-order, files and subfolders in name order, and stores them in
// FileNum and FolderNum in place of what they held. Hidden files are left
// out, hidden folders are not; links to folders are not followed. The
// tables change all at once, or not at all.
class FolderNumbering {
public:
    // Told the number of each file as it is met.
    using FileSeen = std::function<void(int)>;
    FolderNumbering(NameDatabase &database, FileSeen fileSeen = {});

    // Throws DatabaseError when the tables cannot be written.
    NumberingResult run(const QString &folder);

private:
    NameDatabase &database_;
    FileSeen fileSeen_;
};

QString fileIdentifier(qint64 number);
QString folderIdentifier(qint64 number);

// Both tables, sorted by identifier (FLE999999 before FLE1000000).
std::vector<FileRow> numberedFiles(NameDatabase &database);
std::vector<FolderRow> numberedFolders(NameDatabase &database);

} // namespace pelmora
