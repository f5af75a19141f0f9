// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dates/CameraClocks.h"
#include "platform/Failure.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

#include <functional>
#include <memory>
#include <unordered_map>
#include <stdexcept>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace pelmora {

class Clock;

// An unusable database file: the failure names the file and keeps SQLite's
// result code, so that callers can tell a busy file from a full or a
// damaged one.
class DatabaseError : public std::runtime_error {
public:
    explicit DatabaseError(Failure failure);
    const Failure &failure() const { return failure_; }
    const QString &file() const { return failure_.subject; }
    int code() const { return failure_.databaseCode; }

private:
    Failure failure_;
};

enum class Table { FileNameList, FileNameLog, FileNum, FolderNum };

// One row of the scratch table of a rename run.
struct ListRow {
    QString fileName;
    QString originalFileName;
    QDateTime makeItDate; // invalid: no date
    QString extension;
    QString camera;
    QString movieLong;
    QString newFileName;
};

// One row of the rename log; Update is set from the clock when it is added.
struct LogRow {
    qint64 id = 0;
    QString originalFileName;
    QDateTime makeItDate;
    QString extension;
    QString camera;
    QString newFileName;
    QDateTime update;
};
// The fields of a log row, in the table's order.
QStringList logFieldNames();

class NameDatabase;

// A prepared statement that finalises itself. Values are bound in order;
// a null QString binds NULL, an invalid date binds NULL.
class Statement {
public:
    Statement(NameDatabase &database, const QString &sql);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    Statement &bind(const QString &value);
    Statement &bind(const QDateTime &value);
    Statement &bind(qint64 value);
    Statement &bind(int value) { return bind(qint64(value)); }
    Statement &bind(std::optional<qint64> value); // none binds NULL
    // True while a row is at hand; throws DatabaseError on failure.
    bool step();
    // Runs a statement that returns no rows, then makes it ready for new values.
    void run();
    // Ready for new values, whatever happened to the last ones.
    void restart();

    QString text(int column) const;
    QDateTime date(int column) const;
    qint64 integer(int column) const;
    bool isNull(int column) const;

private:
    NameDatabase &database_;
    sqlite3_stmt *stmt_ = nullptr;
    int nextIndex_ = 1;
};

// The name database "FileNameDB.db" in the DATA folder. Creates the file and
// its tables when missing, and adds the columns of this version to a file of
// an earlier one. Every call throws DatabaseError when the file cannot be
// used; a failed open leaves nothing open.
class NameDatabase {
public:
    // ReadOnly is for looking alone (a dry run): the file is neither created
    // nor upgraded nor written, not even by folding its log in on closing;
    // a file of an earlier version is refused as Outdated.
    enum class Access { ReadWrite, ReadOnly };
    NameDatabase(const QString &dataFolder, const Clock &clock, Access access = Access::ReadWrite);
    ~NameDatabase();
    NameDatabase(const NameDatabase &) = delete;
    NameDatabase &operator=(const NameDatabase &) = delete;

    static QString fileIn(const QString &dataFolder);
    const QString &file() const { return file_; }
    const Clock &clock() const { return clock_; }

    void execute(const QString &sql);
    // A statement prepared once for this connection and kept, ready for new
    // values: for those a run executes for every file.
    Statement &reused(const char *sql);
    bool inTransaction() const;
    // Every row of a query, each made by the reader from the statement.
    template <typename Row, typename Reader> std::vector<Row> rows(Statement &query, Reader read)
    {
        std::vector<Row> result;
        while (query.step())
            result.push_back(read(query));
        return result;
    }

    void empty(Table table);
    qint64 count(Table table);

    // All rows in one transaction: they are there together or not at all.
    void addListRows(const std::vector<ListRow> &rows);
    std::vector<ListRow> listRows();

    // The camera clock offsets every run goes by; none in a file of an
    // earlier version that is only looked at.
    ClockOffsets clockOffsets();
    // Those of the database in DATA, looked at alone: none when there is
    // no database or it cannot be read (a look at a file goes on without).
    static ClockOffsets clockOffsetsIn(const QString &dataFolder, const Clock &clock);
    // Keeps each camera's offset in place of the one it had (0 removes
    // it), all of them or none.
    void setClockOffsets(const std::vector<ClockOffset> &offsets);

    // Adds a log row with Update = now; returns its ID.
    qint64 appendLog(const LogRow &row);
    std::vector<LogRow> logRowsNewestFirst();
    // The same rows one at a time, never all in memory at once, until the
    // visitor gives false.
    void forEachLogRowNewestFirst(const std::function<bool(const LogRow &)> &visit);

    [[noreturn]] void fail(Failure::Kind kind);

private:
    // The columns added since the first version that the file lacks.
    std::vector<QString> missingColumns();
    // Every table and column of this version is there, and no table of an earlier one.
    bool schemaIsCurrent();
    void addMissingColumns();

    friend class Statement;
    friend class Transaction;
    struct Close {
        void operator()(sqlite3 *db) const;
    };

    QString file_;
    const Clock &clock_;
    std::unique_ptr<sqlite3, Close> db_;
    std::unordered_map<const char *, std::unique_ptr<Statement>> reused_; // finalised before db_ closes
};

// Rolls back unless committed. BEGIN IMMEDIATE: the write lock is taken at
// once, so two runs never interleave their plans. Inside another
// transaction it is a savepoint of that one.
class Transaction {
public:
    explicit Transaction(NameDatabase &database);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit();

private:
    NameDatabase &database_;
    bool nested_;
    bool done_ = false;
};

QString databaseDateText(const QDateTime &value);
QDateTime parseDatabaseDate(const QString &text);

} // namespace pelmora
