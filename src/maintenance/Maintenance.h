// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "database/Compaction.h"
#include "database/NameDatabase.h"

#include <QString>

#include <optional>

namespace pelmora {

class Clock;

// What clearing the rename log came to.
struct ClearLogOutcome {
    bool cleared = false;
    std::optional<Failure> databaseFailure; // why the log could not be cleared, when the database said
    std::optional<Failure> compaction;  // why the compaction after it did not happen
};

// Deletes every row of the rename log, then compacts the database file, on
// a connection of its own: the caller closes its own first, or the
// compaction finds the file in use.
ClearLogOutcome clearLog(const QString &dataFolder, const Clock &clock);

} // namespace pelmora
