// SPDX-License-Identifier: GPL-3.0-or-later
#include "numbering/FolderNumbering.h"
#include "database/NameDatabase.h"
#include "text/Messages.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

class FolderNumberingTest : public ::testing::Test {
protected:
    void SetUp() override { database = std::make_unique<NameDatabase>(data.path(), clock); }
    QStringList fileRows()
    {
        QStringList rows;
        for (const FileRow &row : numberedFiles(*database))
            rows << QStringList{row.fileId, row.fileName, row.makeItDate.toString("yyyy-MM-dd HH:mm:ss"), row.extension,
                                row.folderName, row.folderId}
                        .join(u'|');
        return rows;
    }
    QStringList folderRows()
    {
        QStringList rows;
        for (const FolderRow &row : numberedFolders(*database))
            rows << row.folderId + u'|' + row.folderName;
        return rows;
    }

    QTemporaryDir data;
    QTemporaryDir tree;
    FixedClock clock{at("2026-01-02 12:34:05")};
    std::unique_ptr<NameDatabase> database;
};

// Depth first and pre-order, names in order: a folder's files come before
// its subfolders, hidden files are left out, hidden folders are not, and a
// link back up the tree is not followed.
TEST_F(FolderNumberingTest, IdentifiersFollowTheTreeInNameOrder)
{
    const QString root = tree.filePath("2021");
    for (const char *folder : {"2021/Trip", "2021/.cache", "2021/A"})
        ASSERT_TRUE(QDir(tree.path()).mkpath(folder));
    for (const char *file : {"2021/b.jpg", "2021/a.jpg", "2021/.hidden.jpg", "2021/noext", "2021/Trip/c.jpg",
                             "2021/.cache/d.jpg"})
        setModified(writeFile(tree.path(), file), at("2021-03-05 09:10:00"));
    ASSERT_TRUE(QFile::link(root, root + "/Trip/loop"));
    // A name that is no text cannot be stored: it is counted, not lost silently.
    ::close(::open((QFile::encodeName(root) + "/Trip/bad\xfe.jpg").constData(), O_CREAT | O_WRONLY, 0644));

    const NumberingResult result = FolderNumbering(*database).run(root);
    EXPECT_EQ(text::numberingDone(result.files, result.folders, result.unreadable, result.unnamed), "ファイル5件とフォルダ4件のナンバリングを実行しました。\r"
                                           " (1件のファイルまたはフォルダは名前を読めないため、番号付けしていません)");
    EXPECT_EQ(folderRows(), QStringList({"FLD0001|2021/", "FLD0002|2021/.cache", "FLD0003|2021/A", "FLD0004|2021/Trip"}));
    EXPECT_EQ(fileRows(), QStringList({
                              "FLE000001|a.jpg|2021-03-05 09:10:00|jpg|2021/|FLD0001",
                              "FLE000002|b.jpg|2021-03-05 09:10:00|jpg|2021/|FLD0001",
                              "FLE000003|noext|2021-03-05 09:10:00||2021/|FLD0001",
                              "FLE000004|d.jpg|2021-03-05 09:10:00|jpg|2021/.cache|FLD0002",
                              "FLE000005|c.jpg|2021-03-05 09:10:00|jpg|2021/Trip|FLD0004",
                          }));

    // A second run replaces every row and starts again from 1.
    const QString empty = tree.filePath("2021/A");
    const NumberingResult nothing = FolderNumbering(*database).run(empty);
    EXPECT_EQ(text::numberingDone(nothing.files, nothing.folders, nothing.unreadable, nothing.unnamed),
              "ファイル0件とフォルダ1件のナンバリングを実行しました。");
    EXPECT_EQ(folderRows(), QStringList({"FLD0001|A/"}));
    EXPECT_TRUE(fileRows().isEmpty());
}

// Identifiers never stop growing, and sort by their number.
TEST_F(FolderNumberingTest, IdentifiersWidenPastTheirDigits)
{
    EXPECT_EQ(folderIdentifier(32768), "FLD32768");
    EXPECT_EQ(fileIdentifier(1000000), "FLE1000000");
    Statement add(*database, "INSERT INTO FolderNum (FolderName, FolderID) VALUES (?, ?)");
    for (qint64 n : {32768, 10000, 9999, 1})
        add.bind(QString::number(n)).bind(folderIdentifier(n)).run();
    EXPECT_EQ(folderRows(), QStringList({"FLD0001|1", "FLD9999|9999", "FLD10000|10000", "FLD32768|32768"}));
}

} // namespace
