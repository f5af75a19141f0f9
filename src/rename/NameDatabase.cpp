#include "rename/NameDatabase.h"

#include "platform/Clock.h"

#include <QDir>
#include <QFile>

#include <sqlite3.h>

namespace pelmora {

namespace {

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
CREATE TABLE IF NOT EXISTS FileNameListRun (Folder TEXT, Operation INTEGER);
)sql";

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

// A prepared statement that finalises itself.
class Statement {
public:
    Statement(sqlite3 *db, const QString &sql)
    {
        const QByteArray text = sql.toUtf8();
        ok_ = sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt_, nullptr) == SQLITE_OK;
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    bool ok() const { return ok_; }
    void bind(int index, const QString &value)
    {
        if (value.isNull()) {
            sqlite3_bind_null(stmt_, index);
            return;
        }
        const QByteArray text = value.toUtf8();
        sqlite3_bind_text(stmt_, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    }
    void bind(int index, qint64 value) { sqlite3_bind_int64(stmt_, index, value); }
    int step() { return sqlite3_step(stmt_); }
    void reset() { sqlite3_reset(stmt_); }
    QString text(int column) const
    {
        const auto *value = reinterpret_cast<const char *>(sqlite3_column_text(stmt_, column));
        return value ? QString::fromUtf8(value) : QString();
    }
    qint64 integer(int column) const { return sqlite3_column_int64(stmt_, column); }

private:
    sqlite3_stmt *stmt_ = nullptr;
    bool ok_ = false;
};

} // namespace

DatabaseError::DatabaseError(QString file, QString cause)
    : std::runtime_error((file + QStringLiteral(": ") + cause).toStdString())
    , file_(std::move(file))
    , cause_(std::move(cause))
{
}

QString databaseDateText(const QDateTime &value)
{
    return value.isValid() ? value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

QDateTime parseDatabaseDate(const QString &text)
{
    return QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString NameDatabase::fileIn(const QString &dataFolder)
{
    return QDir(dataFolder).filePath(QStringLiteral("FileNameDB.db"));
}

NameDatabase::NameDatabase(const QString &dataFolder, const Clock &clock)
    : file_(fileIn(dataFolder))
    , clock_(clock)
{
    if (!QDir(dataFolder).exists())
        throw DatabaseError(file_, QStringLiteral("フォルダがありません"));
    const int rc = sqlite3_open_v2(QFile::encodeName(file_).constData(), &db_,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK)
        fail(QStringLiteral("開けません"));
    sqlite3_busy_timeout(db_, 2000);
    if (sqlite3_db_readonly(db_, "main") == 1)
        throw DatabaseError(file_, QStringLiteral("書き込みできません"));
    // WAL without a sync per commit: each row is committed at once, so an
    // interrupted run leaves the table describing the files it touched.
    execute("PRAGMA journal_mode=WAL");
    execute("PRAGMA synchronous=NORMAL");
    execute(kSchema);
}

NameDatabase::~NameDatabase()
{
    sqlite3_close_v2(db_);
}

void NameDatabase::fail(const QString &what)
{
    const QString cause = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QStringLiteral("out of memory");
    throw DatabaseError(file_, what + QStringLiteral(" (") + cause + u')');
}

void NameDatabase::execute(const char *sql)
{
    char *message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const QString cause = QString::fromUtf8(message ? message : "");
        sqlite3_free(message);
        throw DatabaseError(file_, cause);
    }
}

void NameDatabase::empty(Table table)
{
    execute(QStringLiteral("DELETE FROM %1").arg(QLatin1String(tableName(table))).toUtf8().constData());
    if (table == Table::FileNameList)
        execute("DELETE FROM FileNameListRun");
}

qint64 NameDatabase::count(Table table)
{
    Statement query(db_, QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(tableName(table))));
    if (!query.ok() || query.step() != SQLITE_ROW)
        fail(QStringLiteral("件数を読めません"));
    return query.integer(0);
}

void NameDatabase::addListRow(const ListRow &row)
{
    addListRows({row});
}

void NameDatabase::addListRows(const std::vector<ListRow> &rows, const std::optional<ListRun> &run)
{
    execute("BEGIN IMMEDIATE");
    try {
        if (run) {
            execute("DELETE FROM FileNameListRun");
            Statement record(db_, QStringLiteral("INSERT INTO FileNameListRun (Folder, Operation) VALUES (?, ?)"));
            record.bind(1, run->folder);
            record.bind(2, qint64(run->operation));
            if (!record.ok() || record.step() != SQLITE_DONE)
                fail(QStringLiteral("行を追加できません"));
        }
        Statement insert(db_, QStringLiteral(
            "INSERT INTO FileNameList (FileName, OriginalFileName, MakeItDate, Extension, Camera,"
            " MovieLong, NewFileName) VALUES (?, ?, ?, ?, ?, ?, ?)"));
        if (!insert.ok())
            fail(QStringLiteral("行を追加できません"));
        for (const ListRow &row : rows) {
            insert.bind(1, row.fileName);
            insert.bind(2, row.originalFileName);
            insert.bind(3, databaseDateText(row.makeItDate));
            insert.bind(4, row.extension);
            insert.bind(5, row.camera);
            insert.bind(6, row.movieLong);
            insert.bind(7, row.newFileName);
            if (insert.step() != SQLITE_DONE)
                fail(QStringLiteral("行を追加できません"));
            insert.reset();
        }
        execute("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::vector<ListRow> NameDatabase::listRows(ListOrder order)
{
    // An empty date sorts first, as a missing date does.
    const QString orderBy = order == ListOrder::MakeItDateAscending
        ? QStringLiteral("ORDER BY COALESCE(MakeItDate, ''), rowid")
        : QStringLiteral("ORDER BY rowid");
    Statement query(db_, QStringLiteral("SELECT FileName, OriginalFileName, MakeItDate, Extension,"
                                        " Camera, MovieLong, NewFileName FROM FileNameList ")
                             + orderBy);
    if (!query.ok())
        fail(QStringLiteral("行を読めません"));
    std::vector<ListRow> rows;
    int rc;
    while ((rc = query.step()) == SQLITE_ROW) {
        rows.push_back({query.text(0), query.text(1), parseDatabaseDate(query.text(2)), query.text(3),
                        query.text(4), query.text(5), query.text(6)});
    }
    if (rc != SQLITE_DONE)
        fail(QStringLiteral("行を読めません"));
    return rows;
}

std::optional<ListRun> NameDatabase::listRun()
{
    Statement query(db_, QStringLiteral("SELECT Folder, Operation FROM FileNameListRun LIMIT 1"));
    if (!query.ok())
        fail(QStringLiteral("行を読めません"));
    if (query.step() != SQLITE_ROW)
        return std::nullopt;
    return ListRun{query.text(0), int(query.integer(1))};
}

bool NameDatabase::listHasFileName(const QString &fileName)
{
    // Compared as a bound value, so a name with an apostrophe is found exactly.
    Statement query(db_, QStringLiteral("SELECT 1 FROM FileNameList WHERE FileName = ? LIMIT 1"));
    if (!query.ok())
        fail(QStringLiteral("行を読めません"));
    query.bind(1, fileName);
    const int rc = query.step();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        fail(QStringLiteral("行を読めません"));
    return rc == SQLITE_ROW;
}

qint64 NameDatabase::appendLog(const LogRow &row)
{
    Statement insert(db_, QStringLiteral(
        "INSERT INTO FileNameLog (OriginalFileName, MakeItDate, Extension, Camera, NewFileName, \"Update\")"
        " VALUES (?, ?, ?, ?, ?, ?)"));
    if (!insert.ok())
        fail(QStringLiteral("ログを書けません"));
    insert.bind(1, row.originalFileName);
    insert.bind(2, databaseDateText(row.makeItDate));
    insert.bind(3, row.extension);
    insert.bind(4, row.camera);
    insert.bind(5, row.newFileName);
    insert.bind(6, databaseDateText(clock_.now()));
    if (insert.step() != SQLITE_DONE)
        fail(QStringLiteral("ログを書けません"));
    return sqlite3_last_insert_rowid(db_);
}

std::vector<LogRow> NameDatabase::logRowsNewestFirst()
{
    Statement query(db_, QStringLiteral("SELECT ID, OriginalFileName, MakeItDate, Extension, Camera,"
                                        " NewFileName, \"Update\" FROM FileNameLog ORDER BY ID DESC"));
    if (!query.ok())
        fail(QStringLiteral("ログを読めません"));
    std::vector<LogRow> rows;
    int rc;
    while ((rc = query.step()) == SQLITE_ROW) {
        rows.push_back({query.integer(0), query.text(1), parseDatabaseDate(query.text(2)), query.text(3),
                        query.text(4), query.text(5), parseDatabaseDate(query.text(6))});
    }
    if (rc != SQLITE_DONE)
        fail(QStringLiteral("ログを読めません"));
    return rows;
}

} // namespace pelmora
