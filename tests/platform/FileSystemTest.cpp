#include "platform/FileSystem.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

TEST(FileSystem, ListsPlainVisibleFilesByName)
{
    QTemporaryDir folder;
    for (const char *name : {"b.jpg", "a.JPG", ".hidden.jpg", "noext", "日本語.jpg"})
        writeFile(folder.path(), name);
    QDir(folder.path()).mkdir("sub.jpg");
    EXPECT_EQ(fs::listPlainFiles(folder.path()), QStringList({"a.JPG", "b.jpg", "noext", "日本語.jpg"}));
}

TEST(FileSystem, ExtensionAndBaseName)
{
    EXPECT_EQ(fs::extensionOf("a.b.JPG"), "JPG");
    EXPECT_EQ(fs::extensionOf("noext"), "");
    EXPECT_EQ(fs::extensionOf("trailing."), "");
    EXPECT_EQ(fs::baseNameOf("a.b.jpg"), "a.b");
    EXPECT_EQ(fs::baseNameOf("noext"), "noext");
}

TEST(FileSystem, RenameNeverReplaces)
{
    QTemporaryDir folder;
    writeFile(folder.path(), "a.jpg", "first");
    writeFile(folder.path(), ".b.jpg", "second");
    EXPECT_EQ(fs::renameNoReplace(folder.path(), "a.jpg", ".b.jpg"), fs::RenameStatus::TargetExists);
    QFile b(folder.filePath(".b.jpg"));
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    EXPECT_EQ(b.readAll(), "second");
    EXPECT_TRUE(QFile::exists(folder.filePath("a.jpg")));

    EXPECT_EQ(fs::renameNoReplace(folder.path(), "gone.jpg", "c.jpg"), fs::RenameStatus::SourceMissing);
    EXPECT_EQ(fs::renameNoReplace(folder.path(), "a.jpg", "../a.jpg"), fs::RenameStatus::UnsafeName);
    EXPECT_EQ(fs::renameNoReplace(folder.path(), "a.jpg", ".."), fs::RenameStatus::UnsafeName);
    EXPECT_EQ(fs::renameNoReplace(folder.path(), "a.jpg", "c.jpg"), fs::RenameStatus::Renamed);
    EXPECT_EQ(fs::listPlainFiles(folder.path()), QStringList({"c.jpg"}));
}

TEST(FileSystem, LastModifiedIsLocalToTheSecond)
{
    QTemporaryDir folder;
    const QString path = writeFile(folder.path(), "a.jpg");
    setModified(path, at("2021-03-05 09:10:11").addMSecs(700));
    EXPECT_EQ(fs::lastModified(path), at("2021-03-05 09:10:11"));
    EXPECT_FALSE(fs::lastModified(folder.filePath("missing")).isValid());
}

} // namespace
