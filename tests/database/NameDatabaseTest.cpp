// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/NameDatabase.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sqlite3.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

class NameDatabaseTest : public ::testing::Test {
protected:
    QTemporaryDir data;
    FixedClock clock{at("2026-01-02 12:34:05")};
};

TEST_F(NameDatabaseTest, CreatedEmptyThenLogIdsGrowAndUpdateComesFromTheClock)
{
    NameDatabase db(data.path(), clock);
    for (Table t : {Table::FileNameList, Table::FileNameLog, Table::FileNum, Table::FolderNum})
        EXPECT_EQ(db.count(t), 0); // created when missing
    const LogRow row{0, "a.jpg", {}, "jpg", {}, {}, {}};
    const qint64 first = db.appendLog(row);
    clock.set(at("2026-01-02 12:35:00"));
    const qint64 second = db.appendLog(row);
    EXPECT_GT(second, first);

    db.empty(Table::FileNameLog);
    EXPECT_GT(db.appendLog(row), second); // IDs are never given twice

    const auto rows = db.logRowsNewestFirst();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].update, at("2026-01-02 12:35:00")); // the time of the append, not of the opening
}

// Dates are stored as "yyyy-MM-dd HH:mm:ss" text; anything else reads as no date.
TEST(DatabaseDates, ReadBackAsWrittenAndNothingElse)
{
    for (const char *text : {"2011-09-16 12:34:05", "0001-01-01 00:00:00", "9999-12-31 23:59:59", "2024-02-29 08:00:00"}) {
        const QDateTime date = parseDatabaseDate(text);
        EXPECT_TRUE(date.isValid()) << text;
        EXPECT_EQ(databaseDateText(date), text);
    }
    for (const char *text : {"", "2011-09-16", "2011-09-16T12:34:05", "2011-13-01 00:00:00", "2023-02-29 00:00:00",
                             "2011-09-16 24:00:00", "2011-09-16 12:34:5x", "２０１１-09-16 12:34:05",
                             "2011-09-16 12:34:05 "})
        EXPECT_FALSE(parseDatabaseDate(QString::fromUtf8(text)).isValid()) << text;
    EXPECT_EQ(databaseDateText(QDateTime()), "");
}

TEST_F(NameDatabaseTest, TransactionsRollBackUnlessCommitted)
{
    NameDatabase db(data.path(), clock);
    {
        Transaction outer(db);
        db.addListRows({{"kept", "a", {}, "jpg", {}, {}, {}}});
        {
            Transaction inner(db); // nested: a savepoint of the outer one
            db.addListRows({{"dropped", "b", {}, "jpg", {}, {}, {}}});
        }
        outer.commit();
    }
    {
        Transaction abandoned(db);
        db.empty(Table::FileNameList);
    }
    const std::vector<ListRow> rows = db.listRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].fileName, "kept");
    EXPECT_EQ(rows[0].makeItDate, QDateTime());
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

TEST_F(NameDatabaseTest, UnusableFileIsReportedNotCrashed)
{
    try {
        NameDatabase(data.filePath("missing"), clock);
        FAIL() << "a database was opened in a folder that is not there";
    } catch (const DatabaseError &error) {
        EXPECT_EQ(error.failure().kind, Failure::Kind::FolderMissing);
    }

    writeFile(data.path(), "FileNameDB.db", QByteArray(4096, 'z'));
    const int before = openDescriptors();
    for (int attempt = 0; attempt < 20; ++attempt) {
        try {
            NameDatabase db(data.path(), clock);
            FAIL() << "a file that is not a database was opened";
        } catch (const DatabaseError &error) {
            EXPECT_EQ(error.file(), data.filePath("FileNameDB.db"));
            EXPECT_EQ(error.failure().kind, Failure::Kind::ReadWrite);
            EXPECT_FALSE(error.failure().detail.isEmpty());
            EXPECT_EQ(error.code() & 0xff, SQLITE_NOTADB);
        }
    }
    EXPECT_EQ(openDescriptors(), before); // a failed open leaves nothing open
}

TEST_F(NameDatabaseTest, ReadOnlyFileIsReported)
{
    { NameDatabase create(data.path(), clock); }
    ReadOnly locked(data.filePath("FileNameDB.db"));
    if (!locked.ok())
        GTEST_SKIP() << "cannot make the file read-only here";
    EXPECT_THROW(NameDatabase(data.path(), clock), DatabaseError);
}

} // namespace
