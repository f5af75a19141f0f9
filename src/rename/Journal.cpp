// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/Journal.h"

#include "platform/Clock.h"
#include "database/NameDatabase.h"

#include <array>
#include <utility>

namespace pelmora::journal {

namespace {

// Stored names: they outlive the enums, so they are texts, never numbers.
const std::array<std::pair<FileState, const char *>, 6> kStates = {{
    {FileState::Planned, "planned"},
    {FileState::Temporary, "temporary"},
    {FileState::Done, "done"},
    {FileState::Failed, "failed"},
    {FileState::Restored, "restored"},
    {FileState::Undone, "undone"},
}};

const std::array<std::pair<FailureCause, const char *>, 14> kCauses = {{
    {FailureCause::None, ""},
    {FailureCause::TargetExists, "target-exists"},
    {FailureCause::Vanished, "vanished"},
    {FailureCause::Permission, "permission"},
    {FailureCause::NameRefused, "name-refused"},
    {FailureCause::LeftTemporary, "left-temporary"},
    {FailureCause::Stopped, "stopped"},
    {FailureCause::RolledBack, "rolled-back"},
    {FailureCause::ReadOnly, "read-only"},
    {FailureCause::DiskFull, "disk-full"},
    {FailureCause::Unreachable, "unreachable"},
    {FailureCause::NotTheSameFile, "not-the-same-file"},
    {FailureCause::CompanionFailed, "companion-failed"},
    {FailureCause::Other, "other"},
}};
static_assert(size_t(FailureCause::Other) + 1 == kCauses.size(), "every cause has its stored name");

template <typename Enum, size_t N>
Enum fromName(const std::array<std::pair<Enum, const char *>, N> &names, const QString &name, Enum fallback)
{
    for (const auto &[value, text] : names) {
        if (name == QLatin1String(text))
            return value;
    }
    return fallback;
}

template <typename Enum, size_t N>
QString toName(const std::array<std::pair<Enum, const char *>, N> &names, Enum value)
{
    for (const auto &[candidate, text] : names) {
        if (candidate == value)
            return QString::fromLatin1(text);
    }
    return {};
}

QString dateSourceName(DateSource source)
{
    switch (source) {
    case DateSource::Taken: return QStringLiteral("taken");
    case DateSource::Modified: return QStringLiteral("modified");
    case DateSource::None: break;
    }
    return {};
}

DateSource dateSourceNamed(const QString &name)
{
    if (name == u"taken")
        return DateSource::Taken;
    if (name == u"modified")
        return DateSource::Modified;
    return DateSource::None;
}

std::optional<qint64> storedContent(const fs::FileIdentity &identity)
{
    return identity.content ? std::optional(qint64(*identity.content)) : std::nullopt;
}

const QString kRunColumns = QStringLiteral(
    "RunID, Operation, Folder, Started, Finished, UndoOf, VolumeKey, VolumeRoot, VolumePath, RunKey FROM RenameRun");

Run readRun(const Statement &row)
{
    const OperationRules *rules = operationNamed(row.text(1));
    return Run{row.integer(0), rules ? rules->operation : Operation::ShotDate, row.text(2), row.date(3),
               row.date(4), row.integer(5), fs::VolumePlace{row.text(6), row.text(7), row.text(8)}, row.text(9)};
}

} // namespace

QString stateName(FileState state)
{
    return toName(kStates, state);
}

QString causeName(FailureCause cause)
{
    return toName(kCauses, cause);
}

qint64 begin(NameDatabase &database, const RenamePlan &plan)
{
    const QDateTime now = database.clock().now();
    const fs::VolumePlace place = fs::volumePlaceOf(plan.folder);
    Statement run(database, QStringLiteral("INSERT INTO RenameRun (Operation, Folder, Started, UndoOf,"
                                           " VolumeKey, VolumeRoot, VolumePath, RunKey) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    run.bind(rulesOf(plan.operation).name).bind(plan.folder).bind(now).bind(plan.undoOf).bind(place.key)
        .bind(place.root).bind(place.inside).bind(plan.runKey).run();
    Statement id(database, QStringLiteral("SELECT last_insert_rowid()"));
    id.step();
    const qint64 runId = id.integer(0);

    Statement insert(database, QStringLiteral(
        "INSERT INTO RenameJournal (RunID, Position, FormerName, TemporaryName, NewName, State, Cause,"
        " Changed, MakeItDate, DateSource, Extension, Camera, MovieLong, NewFileName, UndoOfPosition, Identity,"
        " Size, Modified, Content, GroupNo) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (size_t i = 0; i < plan.files.size(); ++i) {
        const PlannedRename &file = plan.files[i];
        insert.bind(runId).bind(qint64(i)).bind(file.formerName).bind(file.temporaryName).bind(file.newName)
            .bind(stateName(file.state)).bind(causeName(file.cause)).bind(now).bind(file.date)
            .bind(dateSourceName(file.dateSource)).bind(file.extension).bind(file.camera).bind(file.movieLong)
            .bind(file.newFileName).bind(qint64(file.undoOfPosition)).bind(qint64(file.identity.inode))
            .bind(file.identity.size).bind(file.identity.modified).bind(storedContent(file.identity)).bind(file.group).run();
    }
    if (plan.undoOf != 0) {
        Statement mark(database, QStringLiteral("UPDATE RenameRun SET UndoneBy = ? WHERE RunID = ?"));
        mark.bind(runId).bind(plan.undoOf).run();
    }
    return runId;
}

void record(NameDatabase &database, qint64 runId, int position, const PlannedRename &file,
            const std::optional<LogRow> &log, qint64 undoOf)
{
    // Inside a run's batch the batch keeps the state and the log row
    // together; alone, a transaction of its own does.
    std::optional<Transaction> transaction;
    if (!database.inTransaction())
        transaction.emplace(database);
    const QDateTime now = database.clock().now();
    database.reused("UPDATE RenameJournal SET State = ?, Cause = ?, ErrorCode = ?, Changed = ?"
                    " WHERE RunID = ? AND Position = ?")
        .bind(stateName(file.state)).bind(causeName(file.cause)).bind(qint64(file.error)).bind(now).bind(runId)
        .bind(qint64(position)).run();
    if (log)
        database.appendLog(*log);
    // The file an undo moved back counts as undone; taken back again, or
    // never moved, it counts as renamed.
    if (undoOf != 0) {
        database.reused("UPDATE RenameJournal SET State = ?, Changed = ? WHERE RunID = ? AND Position = ?"
                        " AND State IN ('done', 'undone')")
            .bind(QString::fromLatin1(file.state == FileState::Done ? "undone" : "done")).bind(now).bind(undoOf)
            .bind(qint64(file.undoOfPosition)).run();
    }
    if (transaction)
        transaction->commit();
}

void finish(NameDatabase &database, qint64 runId, bool byRecovery)
{
    Statement update(database, QStringLiteral("UPDATE RenameRun SET Finished = ?, ClosedByRecovery = ? WHERE RunID = ?"));
    update.bind(database.clock().now()).bind(qint64(byRecovery ? 1 : 0)).bind(runId).run();
}

std::optional<Run> runWithKey(NameDatabase &database, const QString &key)
{
    Statement query(database, QStringLiteral("SELECT ") + kRunColumns + QStringLiteral(" WHERE RunKey = ? LIMIT 1"));
    query.bind(key);
    if (key.isEmpty() || !query.step())
        return std::nullopt;
    return readRun(query);
}

std::vector<Run> runsClosedByRecovery(NameDatabase &database)
{
    Statement query(database, QStringLiteral("SELECT ") + kRunColumns + QStringLiteral(
        " WHERE ClosedByRecovery = 1 AND RunKey <> '' ORDER BY RunID DESC LIMIT 5"));
    return database.rows<Run>(query, readRun);
}

void reopen(NameDatabase &database, qint64 runId, const QString &folder)
{
    // Where the card is now: the volume that shows the run's names.
    const fs::VolumePlace place = fs::volumePlaceOf(folder);
    Transaction transaction(database);
    Statement run(database, QStringLiteral(
        "UPDATE RenameRun SET Finished = NULL, ClosedByRecovery = 0, Folder = ?, VolumeKey = ?, VolumeRoot = ?,"
        " VolumePath = ? WHERE RunID = ?"));
    run.bind(folder).bind(place.key).bind(place.root).bind(place.inside).bind(runId).run();
    Statement files(database, QStringLiteral(
        "UPDATE RenameJournal SET State = 'planned', Cause = '' WHERE RunID = ? AND State IN ('restored', 'failed')"));
    files.bind(runId).run();
    transaction.commit();
}

void relocate(NameDatabase &database, qint64 runId, const QString &folder)
{
    Statement move(database, QStringLiteral("UPDATE RenameRun SET Folder = ? WHERE RunID = ?"));
    move.bind(folder).bind(runId).run();
}

LogRow logRowFor(const PlannedRename &file)
{
    LogRow row;
    row.originalFileName = file.formerName;
    row.makeItDate = file.date;
    row.extension = file.extension;
    row.camera = file.camera;
    row.newFileName = file.newFileName;
    return row;
}

LogRow wayBackRowFor(const PlannedRename &file)
{
    LogRow back = logRowFor(file);
    back.originalFileName = file.newName;
    back.newFileName = fs::baseNameOf(file.formerName); // as the log records every rename: no extension
    return back;
}

void reopenUndoneRun(NameDatabase &database, qint64 runId)
{
    Statement reopen(database, QStringLiteral("UPDATE RenameRun SET UndoneBy = NULL WHERE RunID = ?"));
    reopen.bind(runId).run();
}

void markNotUndoable(NameDatabase &database, qint64 runId)
{
    Statement mark(database, QStringLiteral("UPDATE RenameRun SET UndoneBy = -1 WHERE RunID = ?"));
    mark.bind(runId).run();
}

std::vector<Run> unfinishedRuns(NameDatabase &database)
{
    Statement query(database, QStringLiteral("SELECT ") + kRunColumns
                                  + QStringLiteral(" WHERE Finished IS NULL ORDER BY RunID"));
    return database.rows<Run>(query, readRun);
}

std::optional<Run> lastUndoableRun(NameDatabase &database)
{
    Statement query(database, QStringLiteral("SELECT ") + kRunColumns + QStringLiteral(
        " WHERE Finished IS NOT NULL AND UndoneBy IS NULL AND Operation <> 'undo'"
        " AND EXISTS (SELECT 1 FROM RenameJournal j WHERE j.RunID = RenameRun.RunID AND j.State = 'done')"
        " ORDER BY RunID DESC LIMIT 1"));
    if (!query.step())
        return std::nullopt;
    return readRun(query);
}

std::vector<PlannedRename> files(NameDatabase &database, qint64 runId)
{
    Statement query(database, QStringLiteral(
        "SELECT FormerName, TemporaryName, NewName, State, Cause, MakeItDate, DateSource, Extension, Camera,"
        " MovieLong, NewFileName, UndoOfPosition, Identity, Size, Modified, ErrorCode, Content, GroupNo, Position"
        " FROM RenameJournal WHERE RunID = ? ORDER BY Position"));
    query.bind(runId);
    return database.rows<PlannedRename>(query, [](const Statement &row) {
        PlannedRename file;
        file.formerName = row.text(0);
        file.temporaryName = row.text(1);
        file.newName = row.text(2);
        file.state = fromName(kStates, row.text(3), FileState::Planned);
        // "restored", of earlier versions: the file went back to its former name.
        file.cause = row.text(4) == u"restored" ? FailureCause::RolledBack
                                                 : fromName(kCauses, row.text(4), FailureCause::None);
        file.date = row.date(5);
        file.dateSource = dateSourceNamed(row.text(6));
        file.extension = row.text(7);
        file.camera = row.text(8);
        file.movieLong = row.text(9);
        file.newFileName = row.text(10);
        file.undoOfPosition = int(row.integer(11));
        // Rows of older runs have no size: their inode is all there is.
        file.identity.inode = quint64(row.integer(12));
        file.identity.size = row.isNull(13) ? -1 : row.integer(13);
        file.identity.modified = row.integer(14);
        file.error = int(row.integer(15));
        if (!row.isNull(16))
            file.identity.content = quint64(row.integer(16));
        // Rows of older runs have no group: each file is one.
        file.group = int(row.isNull(17) ? -1 - row.integer(18) : row.integer(17));
        return file;
    });
}

} // namespace pelmora::journal
