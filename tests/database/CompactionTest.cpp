// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/Compaction.h"
#include "database/NameDatabase.h"
#include "text/Messages.h"
#include "TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

class Compaction : public ::testing::Test {
protected:
    void SetUp() override
    {
        NameDatabase db(data.path(), clock);
        LogRow row;
        row.originalFileName = QString(200, u'x');
        for (int i = 0; i < 500; ++i)
            db.appendLog(row);
        db.empty(Table::FileNameLog); // leaves free pages behind
        row.originalFileName = "kept.jpg";
        db.appendLog(row);
    }
    QByteArray bytes() const { return readFile(NameDatabase::fileIn(data.path())); }
    QTemporaryDir data;
    FixedClock clock{at("2026-01-02 12:34:05")};
};

TEST_F(Compaction, ShrinksTheFileAndKeepsItsRows)
{
    const qint64 before = QFileInfo(NameDatabase::fileIn(data.path())).size();
    EXPECT_EQ(compactDatabase(data.path()), std::nullopt);
    EXPECT_LT(QFileInfo(NameDatabase::fileIn(data.path())).size(), before);
    EXPECT_FALSE(QFile::exists(backupFileIn(data.path())));
    EXPECT_FALSE(QFile::exists(NameDatabase::fileIn(data.path()) + "-wal"));
    NameDatabase again(data.path(), clock);
    const auto rows = again.logRowsNewestFirst();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].originalFileName, "kept.jpg");
    EXPECT_GT(again.appendLog(LogRow{}), rows[0].id); // IDs go on growing
}

// Any open connection refuses it, this process's or another's; a copy left
// by an earlier failure is reported and left alone. The file is unchanged.
TEST_F(Compaction, RefusedWhileInUseOrWithALeftoverCopy)
{
    {
        NameDatabase open(data.path(), clock);
        const QByteArray held = bytes();
        const auto error = compactDatabase(data.path());
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->databaseCode, SQLITE_BUSY);
        EXPECT_EQ(error->kind, Failure::Kind::InUse);
        EXPECT_EQ(text::compactionError(*error), "エラー 5 ： database is locked");
        EXPECT_EQ(bytes(), held);
    }

    // Another process in the middle of reading.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t reader = ::fork();
    if (reader == 0) {
        sqlite3 *db = nullptr;
        sqlite3_open(QFile::encodeName(NameDatabase::fileIn(data.path())).constData(), &db);
        sqlite3_exec(db, "BEGIN; SELECT COUNT(*) FROM FileNameLog;", nullptr, nullptr, nullptr);
        (void)!::write(ready[1], "r", 1);
        ::pause();
        ::_exit(0);
    }
    char signal;
    ASSERT_EQ(::read(ready[0], &signal, 1), 1);
    const auto busy = compactDatabase(data.path());
    ::kill(reader, SIGKILL);
    ::waitpid(reader, nullptr, 0);
    ASSERT_TRUE(busy.has_value());
    EXPECT_EQ(busy->kind, Failure::Kind::InUse);

    writeFile(data.path(), "FileNameDB_Backup.db", "an earlier copy");
    const QByteArray before = bytes();
    const auto leftover = compactDatabase(data.path());
    ASSERT_TRUE(leftover.has_value());
    EXPECT_EQ(leftover->kind, Failure::Kind::LeftoverCopy);
    EXPECT_EQ(text::compactionError(*leftover), "エラー 1 ： output file already exists\r\r"
                                                "以前の最適化で作られたファイルが残っています：\r"
                                                + backupFileIn(data.path())
                                                + "\r\rこのファイルは自動では削除しません。中身が不要であることを"
                                                  "確かめてから削除するか別の場所へ移し、もう一度最適化を実施して下さい。");
    EXPECT_EQ(bytes(), before);
    QFile copy(backupFileIn(data.path()));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), "an earlier copy");

    // A link to nowhere of that name is a leftover too: nothing is written where it points.
    QFile::remove(backupFileIn(data.path()));
    ASSERT_TRUE(QFile::link(data.filePath("elsewhere.db"), backupFileIn(data.path())));
    ASSERT_TRUE(compactDatabase(data.path()).has_value());
    EXPECT_EQ(bytes(), before);
    EXPECT_FALSE(QFileInfo(NameDatabase::fileIn(data.path())).isSymLink());
    EXPECT_TRUE(QFileInfo(backupFileIn(data.path())).isSymLink());
    EXPECT_FALSE(QFile::exists(data.filePath("elsewhere.db")));
}

// A compaction that fails on its own takes away what it wrote, so the next
// one is not blocked by a useless copy.
TEST_F(Compaction, AFailureLeavesNoCopyBehind)
{
    QFile file(NameDatabase::fileIn(data.path()));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.size() > 16384);
    file.seek(8192);
    file.write(QByteArray(8192, '\xFF'));
    file.close();
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto error = compactDatabase(data.path());
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->databaseCode, SQLITE_CORRUPT);
        EXPECT_FALSE(QFile::exists(backupFileIn(data.path())));
    }
}

} // namespace
