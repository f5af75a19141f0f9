#pragma once

#include <QString>

#include <optional>

namespace pelmora {

// Why a compaction did not happen: the database engine's own result code and
// text (for a failed rename of the compacted copy, the system's), and whether
// the cause is that the file is in use.
struct CompactionError {
    int code = 0;
    QString text;
    bool inUse = false;
    // The copy an earlier compaction left, which stands in the way.
    QString leftover;
};

// Writes a compacted copy of "FileNameDB.db" to "FileNameDB_Backup.db" and
// moves it over the database in one atomic rename. Refused while any
// connection, of this process or another, has the database open; a copy left
// by a compaction that was killed is reported and never removed. On failure
// the database is as it was and the copy this compaction wrote is gone.
std::optional<CompactionError> compactDatabase(const QString &dataFolder);

QString backupFileIn(const QString &dataFolder);

} // namespace pelmora
