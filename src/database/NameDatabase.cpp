// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/NameDatabase.h"

#include "platform/Clock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <sqlite3.h>

namespace pelmora {

namespace {

// The four tables of the program, and the record of every rename run: one
// row per run (RenameRun) and one per file of a run (RenameJournal).
constexpr const char *kSchema = R"sql(
CREATE TABLE IF NOT EXISTS FileNameList (
    FileName TEXT, OriginalFileName TEXT, MakeItDate TEXT, Extension TEXT,
    Camera TEXT, MovieLong TEXT, NewFileName TEXT);
CREATE TABLE IF NOT EXISTS FileNameLog (
    ID INTEGER PRIMARY KEY AUTOINCREMENT, OriginalFileName TEXT, MakeItDate TEXT,
    Extension TEXT, Camera TEXT, NewFileName TEXT, "Update" TEXT);
CREATE TABLE IF NOT EXISTS FileNum (
    FileID TEXT, FileName TEXT, MakeItDate TEXT, Extension TEXT, FolderName TEXT, FolderID TEXT);
CREATE TABLE IF NOT EXISTS FolderNum (FolderName TEXT, FolderID TEXT);
CREATE TABLE IF NOT EXISTS RenameRun (
    RunID INTEGER PRIMARY KEY AUTOINCREMENT, Operation TEXT NOT NULL, Folder TEXT NOT NULL,
    Started TEXT, Finished TEXT, UndoOf INTEGER, UndoneBy INTEGER,
    VolumeKey TEXT, VolumeRoot TEXT, VolumePath TEXT);
CREATE TABLE IF NOT EXISTS RenameJournal (
    RunID INTEGER NOT NULL, Position INTEGER NOT NULL,
    FormerName TEXT, TemporaryName TEXT, NewName TEXT, State TEXT NOT NULL, Cause TEXT, Changed TEXT,
    MakeItDate TEXT, DateSource TEXT, Extension TEXT, Camera TEXT, MovieLong TEXT, NewFileName TEXT,
    UndoOfPosition INTEGER, Identity INTEGER, Size INTEGER, Modified INTEGER, ErrorCode INTEGER,
    PRIMARY KEY (RunID, Position));
CREATE TABLE IF NOT EXISTS CameraClock (
    Camera TEXT NOT NULL, Serial TEXT NOT NULL DEFAULT '', Seconds INTEGER NOT NULL,
    PRIMARY KEY (Camera, Serial));
DROP TABLE IF EXISTS FileNameListRun;
)sql";

// Columns added since the first databases were written: a database of an
// earlier version gets them, empty, when it is opened.
constexpr std::pair<const char *, const char *> kAddedColumns[] = {
    {"RenameRun", "VolumeKey TEXT"},   {"RenameRun", "VolumeRoot TEXT"},  {"RenameRun", "VolumePath TEXT"},
    {"RenameJournal", "Identity INTEGER"}, {"RenameJournal", "Size INTEGER"}, {"RenameJournal", "Modified INTEGER"},
    {"RenameJournal", "ErrorCode INTEGER"},
    {"RenameJournal", "Content INTEGER"},  {"RenameJournal", "GroupNo INTEGER"},
    {"RenameRun", "RunKey TEXT"},          {"RenameRun", "ClosedByRecovery INTEGER"},
};

const char *tableName(Table table)
{
    switch (table) {
    case Table::FileNameList: return "FileNameList";
    case Table::FileNameLog: return "FileNameLog";
    case Table::FileNum: return "FileNum";
    case Table::FolderNum: return "FolderNum";
    }
    return "";
}

} // namespace

DatabaseError::DatabaseError(Failure failure)
    : std::runtime_error((failure.subject + QStringLiteral(": ") + failure.detail).toStdString())
    , failure_(std::move(failure))
{
}

QStringList logFieldNames()
{
    return {QStringLiteral("ID"),        QStringLiteral("OriginalFileName"), QStringLiteral("MakeItDate"),
            QStringLiteral("Extension"), QStringLiteral("Camera"),           QStringLiteral("NewFileName"),
            QStringLiteral("Update")};
}

QString databaseDateText(const QDateTime &value)
{
    return fixedDateTimeText(value, u'-');
}

QDateTime parseDatabaseDate(const QString &text)
{
    return parseFixedDateTime(text, u'-');
}

Statement::Statement(NameDatabase &database, const QString &sql)
    : database_(database)
{
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(database.db_.get(), text.constData(), int(text.size()), &stmt_, nullptr) != SQLITE_OK)
        database.fail(Failure::Kind::ReadWrite);
}

Statement::~Statement()
{
    sqlite3_finalize(stmt_);
}

Statement &Statement::bind(const QString &value)
{
    const int index = nextIndex_++;
    if (value.isNull()) {
        sqlite3_bind_null(stmt_, index);
    } else {
        const QByteArray text = value.toUtf8();
        sqlite3_bind_text(stmt_, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    }
    return *this;
}

Statement &Statement::bind(const QDateTime &value)
{
    return bind(databaseDateText(value));
}

Statement &Statement::bind(qint64 value)
{
    sqlite3_bind_int64(stmt_, nextIndex_++, value);
    return *this;
}

Statement &Statement::bind(std::optional<qint64> value)
{
    if (value)
        return bind(*value);
    sqlite3_bind_null(stmt_, nextIndex_++);
    return *this;
}

bool Statement::step()
{
    switch (sqlite3_step(stmt_)) {
    case SQLITE_ROW: return true;
    case SQLITE_DONE: return false;
    default: database_.fail(Failure::Kind::ReadWrite);
    }
}

void Statement::run()
{
    step();
    restart();
}

void Statement::restart()
{
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    nextIndex_ = 1;
}

QString Statement::text(int column) const
{
    const auto *value = reinterpret_cast<const char *>(sqlite3_column_text(stmt_, column));
    return value ? QString::fromUtf8(value) : QString();
}

QDateTime Statement::date(int column) const
{
    return parseDatabaseDate(text(column));
}

qint64 Statement::integer(int column) const
{
    return sqlite3_column_int64(stmt_, column);
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

void NameDatabase::Close::operator()(sqlite3 *db) const
{
    sqlite3_close_v2(db);
}

QString NameDatabase::fileIn(const QString &dataFolder)
{
    return QDir(dataFolder).filePath(QStringLiteral("FileNameDB.db"));
}

NameDatabase::NameDatabase(const QString &dataFolder, const Clock &clock, Access access)
    : file_(fileIn(dataFolder))
    , clock_(clock)
{
    if (!QDir(dataFolder).exists())
        throw DatabaseError({Failure::Kind::FolderMissing, file_, 0, SQLITE_CANTOPEN, {}});
    const bool readOnly = access == Access::ReadOnly;
    // A look at a file whose log is folded in reads the file alone: SQLite
    // would otherwise leave an empty log and its index beside it.
    const bool fileAlone = readOnly && !QFileInfo::exists(file_ + QStringLiteral("-wal"));
    const QByteArray name = fileAlone
        ? "file:" + QUrl::toPercentEncoding(file_, "/") + "?immutable=1"
        : QFile::encodeName(file_);
    sqlite3 *handle = nullptr;
    const int rc = sqlite3_open_v2(name.constData(), &handle,
                                   readOnly ? SQLITE_OPEN_READONLY | SQLITE_OPEN_URI
                                            : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                   nullptr);
    db_.reset(handle); // owned from here on, also when the open failed
    if (rc != SQLITE_OK)
        fail(Failure::Kind::CannotOpen);
    sqlite3_extended_result_codes(handle, 1);
    sqlite3_busy_timeout(handle, 2000);
    if (readOnly) {
        // Closing would fold the log into the file: a look leaves it as it was.
        sqlite3_db_config(handle, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        if (!missingColumns().empty())
            throw DatabaseError({Failure::Kind::Outdated, file_, 0, 0, {}});
        return;
    }
    if (sqlite3_db_readonly(handle, "main") == 1)
        throw DatabaseError({Failure::Kind::ReadOnly, file_, 0, SQLITE_READONLY, {}});
    // WAL: every file's state is committed right after its rename, and WAL
    // commits are cheap enough for that. Whoever moves another file over this
    // one (compaction) must first hold the only connection and switch back to
    // journal_mode=DELETE, which folds the -wal file in and removes it.
    // The switch answers "busy" at once, without waiting, while another
    // program opens a new file: it is tried again for as long as a busy
    // statement waits.
    for (int attempt = 0; sqlite3_exec(handle, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr) != SQLITE_OK;
         ++attempt) {
        if ((sqlite3_errcode(handle) & 0xff) != SQLITE_BUSY || attempt == 100)
            fail(Failure::Kind::ReadWrite);
        sqlite3_sleep(20);
    }
    execute(QStringLiteral("PRAGMA synchronous=NORMAL"));
    // Two programs opening a new or older file at once: one makes the
    // tables and columns, the other waits and finds them made. A file of
    // this version is only read here, so that opening it never waits for
    // another program's writing.
    if (schemaIsCurrent())
        return;
    Transaction transaction(*this);
    execute(QString::fromLatin1(kSchema));
    addMissingColumns();
    transaction.commit();
}

bool NameDatabase::schemaIsCurrent()
{
    Statement tables(*this, QStringLiteral(
        "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN"
        " ('FileNameList', 'FileNameLog', 'FileNum', 'FolderNum', 'RenameRun', 'RenameJournal', 'CameraClock')"));
    Statement leftover(*this, QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'FileNameListRun'"));
    return tables.step() && tables.integer(0) == 7 && !leftover.step() && missingColumns().empty();
}

std::vector<QString> NameDatabase::missingColumns()
{
    std::vector<QString> missing;
    for (const auto &[table, column] : kAddedColumns) {
        const QString name = QString::fromLatin1(column).section(u' ', 0, 0);
        Statement present(*this, QStringLiteral("SELECT 1 FROM pragma_table_info('%1') WHERE name = ?")
                                     .arg(QLatin1String(table)));
        present.bind(name);
        if (!present.step())
            missing.push_back(QStringLiteral("%1 ADD COLUMN %2").arg(QLatin1String(table), QLatin1String(column)));
    }
    return missing;
}

void NameDatabase::addMissingColumns()
{
    for (const QString &added : missingColumns())
        execute(QStringLiteral("ALTER TABLE ") + added);
}

NameDatabase::~NameDatabase() = default;

void NameDatabase::fail(Failure::Kind kind)
{
    sqlite3 *handle = db_.get();
    const int code = handle ? sqlite3_extended_errcode(handle) : SQLITE_NOMEM;
    const QString detail = handle ? QString::fromUtf8(sqlite3_errmsg(handle)) : QStringLiteral("out of memory");
    throw DatabaseError({kind, file_, 0, code, detail});
}

void NameDatabase::execute(const QString &sql)
{
    if (sqlite3_exec(db_.get(), sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(Failure::Kind::ReadWrite);
}

Statement &NameDatabase::reused(const char *sql)
{
    std::unique_ptr<Statement> &statement = reused_[sql];
    if (!statement)
        statement = std::make_unique<Statement>(*this, QString::fromLatin1(sql));
    statement->restart();
    return *statement;
}

bool NameDatabase::inTransaction() const
{
    return sqlite3_get_autocommit(db_.get()) == 0;
}

void NameDatabase::empty(Table table)
{
    execute(QStringLiteral("DELETE FROM %1").arg(QLatin1String(tableName(table))));
}

qint64 NameDatabase::count(Table table)
{
    Statement query(*this, QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(tableName(table))));
    query.step();
    return query.integer(0);
}

void NameDatabase::addListRows(const std::vector<ListRow> &rows)
{
    Transaction transaction(*this);
    Statement insert(*this, QStringLiteral(
        "INSERT INTO FileNameList (FileName, OriginalFileName, MakeItDate, Extension, Camera,"
        " MovieLong, NewFileName) VALUES (?, ?, ?, ?, ?, ?, ?)"));
    for (const ListRow &row : rows) {
        insert.bind(row.fileName).bind(row.originalFileName).bind(row.makeItDate).bind(row.extension)
            .bind(row.camera).bind(row.movieLong).bind(row.newFileName).run();
    }
    transaction.commit();
}

std::vector<ListRow> NameDatabase::listRows()
{
    Statement query(*this, QStringLiteral("SELECT FileName, OriginalFileName, MakeItDate, Extension,"
                                          " Camera, MovieLong, NewFileName FROM FileNameList ORDER BY rowid"));
    return rows<ListRow>(query, [](const Statement &row) {
        return ListRow{row.text(0), row.text(1), row.date(2), row.text(3), row.text(4), row.text(5), row.text(6)};
    });
}

ClockOffsets NameDatabase::clockOffsets()
{
    // A file of an earlier version, only looked at, has none.
    Statement present(*this, QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'CameraClock'"));
    if (!present.step())
        return {};
    Statement query(*this, QStringLiteral("SELECT Camera, Serial, Seconds FROM CameraClock ORDER BY Camera, Serial"));
    return ClockOffsets(rows<ClockOffset>(query, [](const Statement &row) {
        return ClockOffset{row.text(0), row.text(1), row.integer(2)};
    }));
}

ClockOffsets NameDatabase::clockOffsetsIn(const QString &dataFolder, const Clock &clock)
{
    try {
        if (QFileInfo::exists(fileIn(dataFolder)))
            return NameDatabase(dataFolder, clock, Access::ReadOnly).clockOffsets();
    } catch (const DatabaseError &) {
    }
    return {};
}

void NameDatabase::setClockOffsets(const std::vector<ClockOffset> &offsets)
{
    Transaction transaction(*this);
    Statement remove(*this, QStringLiteral(
        "DELETE FROM CameraClock WHERE Camera = ? COLLATE NOCASE AND Serial = ? COLLATE NOCASE"));
    Statement insert(*this, QStringLiteral("INSERT INTO CameraClock (Camera, Serial, Seconds) VALUES (?, ?, ?)"));
    for (const ClockOffset &offset : offsets) {
        // A body without a serial is kept as an empty text, never NULL: the key has it.
        const QString camera = offset.camera.simplified(), serial = offset.serial.simplified();
        remove.bind(camera).bind(serial.isEmpty() ? QStringLiteral("") : serial).run();
        if (offset.seconds != 0)
            insert.bind(camera).bind(serial.isEmpty() ? QStringLiteral("") : serial).bind(offset.seconds).run();
    }
    transaction.commit();
}

qint64 NameDatabase::appendLog(const LogRow &row)
{
    Statement &insert = reused(
        "INSERT INTO FileNameLog (OriginalFileName, MakeItDate, Extension, Camera, NewFileName, \"Update\")"
        " VALUES (?, ?, ?, ?, ?, ?)");
    insert.bind(row.originalFileName).bind(row.makeItDate).bind(row.extension).bind(row.camera)
        .bind(row.newFileName).bind(clock_.now()).run();
    return sqlite3_last_insert_rowid(db_.get());
}

std::vector<LogRow> NameDatabase::logRowsNewestFirst()
{
    std::vector<LogRow> rows;
    forEachLogRowNewestFirst([&](const LogRow &row) {
        rows.push_back(row);
        return true;
    });
    return rows;
}

void NameDatabase::forEachLogRowNewestFirst(const std::function<bool(const LogRow &)> &visit)
{
    Statement query(*this, QStringLiteral("SELECT ID, OriginalFileName, MakeItDate, Extension, Camera,"
                                          " NewFileName, \"Update\" FROM FileNameLog ORDER BY ID DESC"));
    while (query.step()) {
        if (!visit(LogRow{query.integer(0), query.text(1), query.date(2), query.text(3), query.text(4), query.text(5),
                          query.date(6)}))
            return;
    }
}

Transaction::Transaction(NameDatabase &database)
    : database_(database)
    , nested_(sqlite3_get_autocommit(database.db_.get()) == 0)
{
    database_.execute(nested_ ? QStringLiteral("SAVEPOINT nested") : QStringLiteral("BEGIN IMMEDIATE"));
}

Transaction::~Transaction()
{
    if (done_)
        return;
    try {
        database_.execute(nested_ ? QStringLiteral("ROLLBACK TO nested; RELEASE nested") : QStringLiteral("ROLLBACK"));
    } catch (const DatabaseError &) {
        // SQLite has already rolled back what it could not keep.
    }
}

void Transaction::commit()
{
    database_.execute(nested_ ? QStringLiteral("RELEASE nested") : QStringLiteral("COMMIT"));
    done_ = true;
}

} // namespace pelmora
