#include "app/FolderLists.h"
#include "app/MainWindow.h"
#include "TestSupport.h"

#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

class RenameFromWindow : public ::testing::Test {
protected:
    void open(const QString &dataFolder)
    {
        window = std::make_unique<MainWindow>(AppServices{dataFolder, &messages, &clock, [] {}});
        window->show();
        for (const char *name : {"IMG_1.jpg", "IMG_2.JPG", "clip.mov"})
            setModified(writeFile(photos.path(), name), at("2021-03-05 09:00:00"));
        ASSERT_TRUE(window->chooseFolder(photos.path()));
    }

    QTemporaryDir data;
    QTemporaryDir photos;
    ScriptedMessageBoxes messages;
    FixedClock clock{at("2026-01-02 12:34:05")};
    std::unique_ptr<MainWindow> window;
};

TEST_F(RenameFromWindow, YesRenamesReportsAndRereadsTheFileList)
{
    open(data.path());
    messages.answers = {Answer::Yes};
    window->dispatch("ファイル名変換(撮影日時)");
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].title, "完了");
    EXPECT_EQ(messages.shown[1].icon, Icon::None);
    EXPECT_EQ(messages.shown[1].text, "2件のファイル名を変更しました\r (1件は拡張子が合致しないため変更除外しました)");
    auto *fileList = window->findChild<FileList *>("File1");
    QStringList listed;
    for (int i = 0; i < fileList->count(); ++i)
        listed << fileList->item(i)->text();
    EXPECT_EQ(listed, QStringList({"210305-001.jpg", "210305-002.JPG", "clip.mov"}));
    EXPECT_TRUE(window->findChild<QWidget *>("ProgressBar1")->isHidden());
}

TEST_F(RenameFromWindow, UnusableDatabaseRenamesNothingAndNamesTheFile)
{
    open(data.filePath("no-such-folder"));
    messages.answers = {Answer::Yes};
    window->dispatch("ファイル名変換(新規付番)");
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].icon, Icon::Critical);
    EXPECT_TRUE(messages.shown[1].text.contains(data.filePath("no-such-folder/FileNameDB.db")));
    EXPECT_EQ(filesIn(photos.path()), QStringList({"IMG_1.jpg", "IMG_2.JPG", "clip.mov"}));
}

TEST_F(RenameFromWindow, NonWholeStartNumberStopsBeforeRenaming)
{
    open(data.path());
    window->findChild<QLineEdit *>("Text3")->setText("2.5");
    messages.answers = {Answer::Yes};
    window->dispatch("ファイル名変換(撮影日時)");
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].title, "数値以外の入力");
    EXPECT_EQ(filesIn(photos.path()), QStringList({"IMG_1.jpg", "IMG_2.JPG", "clip.mov"}));
}

} // namespace
