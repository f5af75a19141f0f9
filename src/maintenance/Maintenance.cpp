// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/Maintenance.h"

namespace pelmora {

ClearLogOutcome clearLog(const QString &dataFolder, const Clock &clock)
{
    ClearLogOutcome outcome;
    try {
        NameDatabase database(dataFolder, clock);
        database.empty(Table::FileNameLog);
        outcome.cleared = database.count(Table::FileNameLog) == 0;
    } catch (const DatabaseError &error) {
        outcome.databaseFailure = error.failure();
    }
    // Compacted once the connection is closed.
    if (outcome.cleared)
        outcome.compaction = compactDatabase(dataFolder);
    return outcome;
}

} // namespace pelmora
