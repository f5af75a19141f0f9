#pragma once

#include <QDateTime>
#include <QString>

#include <optional>
#include <stdexcept>
#include <vector>

struct sqlite3;

namespace pelmora {

class Clock;

// An unusable database file: names the file and the cause, for the box the
// caller shows.
class DatabaseError : public std::runtime_error {
public:
    DatabaseError(QString file, QString cause);
    const QString &file() const { return file_; }
    const QString &cause() const { return cause_; }

private:
    QString file_;
    QString cause_;
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

enum class ListOrder { Insertion, MakeItDateAscending };

// Which folder and operation the rows of FileNameList belong to, so that
// files an interrupted run left under temporary names can be found again.
struct ListRun {
    QString folder;
    int operation = 0;
};

// The name database "FileNameDB.db" in the DATA folder. Creates the file and
// its four tables when missing. Every call throws DatabaseError when the
// file cannot be used.
class NameDatabase {
public:
    NameDatabase(const QString &dataFolder, const Clock &clock);
    ~NameDatabase();
    NameDatabase(const NameDatabase &) = delete;
    NameDatabase &operator=(const NameDatabase &) = delete;

    static QString fileIn(const QString &dataFolder);
    const QString &file() const { return file_; }

    void empty(Table table);
    qint64 count(Table table);

    void addListRow(const ListRow &row);
    // All rows in one transaction: they are there together or not at all.
    void addListRows(const std::vector<ListRow> &rows, const std::optional<ListRun> &run = std::nullopt);
    std::optional<ListRun> listRun();
    // Rows with equal dates keep the order in which they were added.
    std::vector<ListRow> listRows(ListOrder order = ListOrder::Insertion);
    bool listHasFileName(const QString &fileName);

    // Adds a log row with Update = now; returns its ID.
    qint64 appendLog(const LogRow &row);
    std::vector<LogRow> logRowsNewestFirst();

private:
    void execute(const char *sql);
    [[noreturn]] void fail(const QString &what);

    QString file_;
    const Clock &clock_;
    sqlite3 *db_ = nullptr;
};

QString databaseDateText(const QDateTime &value);
QDateTime parseDatabaseDate(const QString &text);

} // namespace pelmora
