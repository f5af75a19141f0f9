// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "database/NameDatabase.h"
#include "rename/Plan.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace pelmora {

// The record of every rename run: the run (RenameRun) and each of its files
// with the state it reached (RenameJournal). A run's record is written whole
// before its first rename and each file's state right after its rename, so
// that a run cut short can be reconciled with the folder afterwards.
namespace journal {

struct Run {
    qint64 id = 0;
    Operation operation = Operation::ShotDate;
    QString folder;
    QDateTime started;
    QDateTime finished; // invalid while the run is unfinished
    qint64 undoOf = 0;
    fs::VolumePlace place; // the volume and the path inside it, to find a card mounted elsewhere
    QString runKey;        // in the run's temporary names; empty for runs of earlier versions
};

QString stateName(FileState state);
QString causeName(FailureCause cause);

// Writes the run and its files (as planned) inside the caller's transaction;
// an undo also marks the run it undoes. Returns the new run's id.
qint64 begin(NameDatabase &database, const RenamePlan &plan);
// One file's new state, with its log row when given, inside the caller's
// batch (or a transaction of its own); for an undo, the file it undid counts
// as undone while this one is done, and as renamed again otherwise.
void record(NameDatabase &database, qint64 runId, int position, const PlannedRename &file,
            const std::optional<LogRow> &log = std::nullopt, qint64 undoOf = 0);
void finish(NameDatabase &database, qint64 runId, bool byRecovery = false);
// The run whose temporary names bear the key.
std::optional<Run> runWithKey(NameDatabase &database, const QString &key);
// The last few runs a recovery closed: one closed on a copy of its card is
// taken up again when the card itself shows the run's temporary names.
std::vector<Run> runsClosedByRecovery(NameDatabase &database);
// A closed run taken up again in the folder that shows its names: what the
// recovery recorded of its files on the copy no longer holds, so they are
// worked out from the folder again; their logged renames stay logged.
void reopen(NameDatabase &database, qint64 runId, const QString &folder);
// The run's folder is now found at another path (a card mounted elsewhere).
void relocate(NameDatabase &database, qint64 runId, const QString &folder);
// The log row of a file the run renamed.
LogRow logRowFor(const PlannedRename &file);
// The log row of a logged rename taken back.
LogRow wayBackRowFor(const PlannedRename &file);

std::vector<Run> unfinishedRuns(NameDatabase &database);
// The run an undo took is undoable again (the undo was taken back, or
// stopped before some of its files).
void reopenUndoneRun(NameDatabase &database, qint64 runId);
// A run that can never be undone (its folder is gone): undo passes it by.
void markNotUndoable(NameDatabase &database, qint64 runId);
// The last finished run with a renamed file that no undo has taken yet.
std::optional<Run> lastUndoableRun(NameDatabase &database);
// The files of a run in the order they were renamed.
std::vector<PlannedRename> files(NameDatabase &database, qint64 runId);

} // namespace journal

} // namespace pelmora
