#include "app/FolderLists.h"
#include "app/MainWindow.h"
#include "platform/FileSystem.h"
#include "rename/NameDatabase.h"
#include "rename/RenameOperations.h"
#include "TestSupport.h"

#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>
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

namespace {

// A run cut short after the temporary renames: the files sit under their
// temporary names and the scratch rows say what they were.
TEST_F(RenameFromWindow, OffersToRestoreFilesOfAnInterruptedRun)
{
    open(data.path());
    {
        NameDatabase database(data.path(), clock);
        RenameOperations operations(clock);
        NamingInputs inputs = window->readInputs();
        inputs.extensions = {"jpg", "mov"};
        const RenamePlan plan = operations.plan(Operation::NewAndExisting, inputs);
        std::vector<ListRow> rows;
        for (const PlannedRename &file : plan.files) {
            rows.push_back({file.temporaryName, fs::baseNameOf(file.originalName), {}, file.extension, {}, {}, {}});
            ASSERT_EQ(fs::renameNoReplace(photos.path(), file.originalName, file.temporaryName),
                      fs::RenameStatus::Renamed);
        }
        database.addListRows(rows, ListRun{photos.path(), int(Operation::NewAndExisting)});
    }
    writeFile(photos.path(), "IMG_2.JPG", "a newcomer that took a former name");

    messages.answers = {Answer::Yes};
    window->offerRecovery();
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text, "前回の処理が途中で終わったため、3件のファイルが一時的な名前のままです。\r\rフォルダ名\r"
                                          + photos.path() + "\r\r元のファイル名に戻しますか？");
    EXPECT_EQ(messages.shown[0].buttons, Buttons::YesNo);
    EXPECT_EQ(messages.shown[1].text, "2件のファイル名を元に戻しました\r (1件は変更できませんでした)");
    EXPECT_EQ(filesIn(photos.path()), QStringList({"IMG_1.jpg", "IMG_2.JPG", "TempFileName3405_002.JPG", "clip.mov"}));

    // Once restored, nothing more is offered.
    messages.shown.clear();
    QFile::remove(photos.filePath("TempFileName3405_002.JPG"));
    window->offerRecovery();
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(RenameFromWindow, CompletedRunsLeaveNothingToRestore)
{
    open(data.path());
    messages.answers = {Answer::Yes};
    window->dispatch("ファイル名変換(新規+既存)");
    messages.shown.clear();
    window->offerRecovery();
    EXPECT_TRUE(messages.shown.empty());
}

} // namespace

namespace {

// The window keeps processing paint and timer events during a run: a timer
// sees the bar shown and moving before the closing message.
TEST_F(RenameFromWindow, ProgressBarAdvancesWhileTheRunGoesOn)
{
    open(data.path());
    for (int i = 0; i < 40; ++i)
        setModified(writeFile(photos.path(), QStringLiteral("p%1.jpg").arg(i)), at("2021-03-05 09:00:00"));
    window->findChild<FileList *>("File1")->reread();
    auto *bar = window->findChild<QProgressBar *>("ProgressBar1");
    auto *preText = window->findChild<QLineEdit *>("Text1");
    std::vector<int> seen;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (!bar->isVisible())
            return;
        seen.push_back(bar->value());
        // What the user types meanwhile is dropped, not delivered later.
        QCoreApplication::postEvent(preText, new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x"));
    });
    watcher.start(0);
    messages.answers = {Answer::Yes};
    window->dispatch("ファイル名変換(新規付番)");
    watcher.stop();
    QCoreApplication::processEvents();
    EXPECT_EQ(preText->text(), "");
    ASSERT_GE(seen.size(), 2u);
    EXPECT_LT(seen.front(), 50);
    EXPECT_GT(seen.back(), 50);
    EXPECT_TRUE(bar->isHidden());
}

} // namespace
