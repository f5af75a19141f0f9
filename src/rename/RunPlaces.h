// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where the files and the folder of a recorded run are now, told by their
// names, sizes and contents: looking changes nothing.

#include "rename/Journal.h"
#include "rename/Plan.h"

#include <QString>

#include <optional>
#include <vector>

namespace pelmora {

class NameDatabase;

// Where a file of a run is now.
enum class Place { Former, Temporary, New, Gone };

// The file under its temporary name is the run's (no camera writes such a
// name), unless it is the empty placeholder of a rename cut short.
bool holdsTemporary(const QString &folder, const PlannedRename &file);
// The file under the name is the file of the record (same size and
// content). `sameInode`, when given, says whether it is the very file
// recorded, as far as this mount can tell.
bool holdsRecorded(const QString &folder, const QString &name, const PlannedRename &file, bool *sameInode = nullptr);
Place placeOf(const QString &folder, const PlannedRename &file);
// The files of the run under their temporary names.
int countAwaiting(const QString &folder, const std::vector<PlannedRename> &files);

// Where the run's folder is now: its recorded path, or the same folder on
// its volume mounted elsewhere, recognised by the files of the run. Empty
// when neither is there.
QString currentFolderOf(NameDatabase &database, const journal::Run &run);

// The closed run whose file the folder holds under one of the run's
// temporary names, if any: that run was closed on another folder.
std::optional<journal::Run> showsAClosedRun(NameDatabase &database, const QString &folder, const QString &name);

} // namespace pelmora
