// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Failure.h"

#include <QString>

#include <optional>

namespace pelmora {

// Writes a compacted copy of "FileNameDB.db" to "FileNameDB_Backup.db" and
// moves it over the database in one atomic rename. Refused while any
// connection, of this process or another, has the database open; a copy left
// by a compaction that was killed is reported and never removed. On failure
// the database is as it was and the copy this compaction wrote is gone.
// The failure gives SQLite's result code, or for a failed rename of the
// compacted copy the system's error number; InUse when the cause is that
// the file is open elsewhere, LeftoverCopy (the copy as its subject) when a
// copy an earlier compaction left stands in the way.
std::optional<Failure> compactDatabase(const QString &dataFolder);

QString backupFileIn(const QString &dataFolder);

} // namespace pelmora
