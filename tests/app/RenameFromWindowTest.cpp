// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Application.h"
#include "app/ExtensionBoxes.h"
#include "app/MainWindow.h"
#include "platform/FileSystem.h"
#include "rename/Journal.h"
#include "database/NameDatabase.h"
#include "rename/RenameOperations.h"
#include "widgets/FolderLists.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
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
        app = std::make_unique<Application>(AppServices{dataFolder, &messages, &clock, [] {}});
        app->showMain();
        window = app->mainWindow();
        for (const char *name : {"IMG_1.jpg", "IMG_2.JPG", "clip.mov"})
            setModified(writeFile(photos.path(), name), at("2021-03-05 09:00:00"));
        ASSERT_TRUE(window->chooseFolder(photos.path()));
    }
    // Enough photos of one day for a run that can be watched, in the file list too.
    void addPhotosOfOneDay(int count)
    {
        for (int i = 0; i < count; ++i)
            setModified(writeFile(photos.path(), QStringLiteral("p%1.jpg").arg(i)), at("2021-03-05 09:00:00"));
        window->findChild<FileList *>("File1")->reread();
    }

    QTemporaryDir data;
    QTemporaryDir photos;
    ScriptedMessageBoxes messages;
    FixedClock clock{at("2026-01-02 12:34:05")};
    std::unique_ptr<Application> app;
    MainWindow *window = nullptr;
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

// An extension typed past an empty box (Tab reaches it) is shown in the
// lowest empty box once Go is pressed, and used.
TEST_F(RenameFromWindow, TheBoxesAsShownAreWhatRuns)
{
    open(data.path());
    window->extensionBoxes()->box(6)->setText("mov");
    messages.answers = {Answer::No};
    window->dispatch("ファイル名変換(新規付番)");
    EXPECT_EQ(window->extensionBoxes()->box(5)->text(), "mov");
    EXPECT_TRUE(window->extensionBoxes()->box(6)->text().isEmpty());
    EXPECT_TRUE(messages.shown.at(0).detailLines().contains("clip.mov → 210305-003.mov"))
        << messages.shown.at(0).detailLines().toStdString();
}

// A Pre Text no name can hold is refused at Go, naming the character and
// the box, which takes the focus; nothing is planned or renamed.
TEST_F(RenameFromWindow, ATextNoNameCanHoldIsRefusedAtGo)
{
    open(data.path());
    window->findChild<QLineEdit *>("Text1")->setText("2021/03");
    window->dispatch("ファイル名変換(撮影日時)");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "使えない文字");
    EXPECT_EQ(messages.shown[0].text, "Pre Textに、ファイル名に使えない文字「/」があります。");
    EXPECT_EQ(QApplication::focusWidget(), window->findChild<QLineEdit *>("Text1"));
    EXPECT_EQ(filesIn(photos.path()), QStringList({"IMG_1.jpg", "IMG_2.JPG", "clip.mov"}));
}

TEST_F(RenameFromWindow, ConfirmationOffersThePlanAndUndoTakesItBack)
{
    open(data.path());
    messages.answers = {Answer::Yes};
    window->dispatch("ファイル名変換(新規付番)");
    EXPECT_EQ(messages.shown.at(0).detailLines(),
              "IMG_1.jpg → 210305-001.jpg\t2021/03/05 09:00:00\nIMG_2.JPG → 210305-002.JPG\t2021/03/05 09:00:00\n"
              "clip.mov\t対象外：拡張子");

    messages.shown.clear();
    messages.answers = {Answer::Yes};
    window->dispatch("元に戻す(直前の変更)");
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].title, "実施確認【元に戻す(直前の変更)】");
    EXPECT_EQ(messages.shown[0].buttons, Buttons::YesNo);
    EXPECT_EQ(messages.shown[0].text, "直前の変更を元に戻しますか？\r\rファイル名変換(新規付番)（2026/01/02 12:34:05）\r"
                                      "全 2 件\r\rフォルダ名\r" + photos.path());
    EXPECT_EQ(messages.shown[0].detailLines(), "210305-002.JPG → IMG_2.JPG\t2021/03/05 09:00:00\tファイル更新日時\n"
                                               "210305-001.jpg → IMG_1.jpg\t2021/03/05 09:00:00\tファイル更新日時");
    EXPECT_EQ(messages.shown[1].text, "2件のファイル名を元に戻しました");
    EXPECT_EQ(filesIn(photos.path()), QStringList({"IMG_1.jpg", "IMG_2.JPG", "clip.mov"}));
}

// Keep-existing shows no progress bar while it renames, yet the window
// repaints while the run is planned and runs, and what is typed meanwhile
// never arrives.
TEST_F(RenameFromWindow, WindowRepaintsAndSwallowsInputWhileKeepExistingRuns)
{
    open(data.path());
    for (int i = 0; i < 30; ++i)
        writeFile(photos.path(), QStringLiteral("p%1.jpg").arg(i));
    window->findChild<FileList *>("File1")->reread();
    auto *preText = window->findChild<QLineEdit *>("Text1");
    QCoreApplication::postEvent(preText, new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x"));
    int ticksBeforeTheQuestion = 0;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] { ticksBeforeTheQuestion += messages.shown.empty(); });
    watcher.start(0);
    messages.answers = {Answer::Yes};
    window->dispatch("ファイル名変換(既存温存)");
    watcher.stop();
    QCoreApplication::processEvents();
    EXPECT_GE(ticksBeforeTheQuestion, 1);
    EXPECT_EQ(preText->text(), "");
    EXPECT_EQ(messages.shown.back().text, "変更しました");
}

TEST_F(RenameFromWindow, UnusableDatabaseRenamesNothingAndNamesTheFile)
{
    open(data.filePath("no-such-folder"));
    messages.answers = {Answer::Yes};
    window->dispatch("ファイル名変換(新規付番)");
    ASSERT_EQ(messages.shown.size(), 1u); // before the question: nothing could be recorded
    EXPECT_EQ(messages.shown[0].icon, Icon::Critical);
    EXPECT_TRUE(messages.shown[0].text.contains(data.filePath("no-such-folder/FileNameDB.db")));
    EXPECT_EQ(filesIn(photos.path()), QStringList({"IMG_1.jpg", "IMG_2.JPG", "clip.mov"}));
}

TEST_F(RenameFromWindow, NonWholeStartNumberStopsBeforeRenaming)
{
    open(data.path());
    window->findChild<QLineEdit *>("Text3")->setText("2.5");
    messages.answers = {Answer::Yes};
    window->dispatch("ファイル名変換(撮影日時)");
    ASSERT_EQ(messages.shown.size(), 1u); // refused before the question
    EXPECT_EQ(messages.shown[0].title, "数値以外の入力");
    EXPECT_EQ(filesIn(photos.path()), QStringList({"IMG_1.jpg", "IMG_2.JPG", "clip.mov"}));
}

} // namespace

namespace {

// A run cut short after its temporary renames: the files sit under their
// temporary names and the journal says what they were.
TEST_F(RenameFromWindow, OffersToRestoreFilesOfAnInterruptedRun)
{
    open(data.path());
    QString stranded; // the temporary name that cannot go back: its former name is taken
    {
        NameDatabase database(data.path(), clock);
        NamingInputs inputs = window->readInputs();
        inputs.extensions = {"jpg", "mov"};
        RenamePlan plan = RenameOperations(clock).plan(Operation::NewAndExisting, inputs);
        Transaction transaction(database);
        const qint64 run = journal::begin(database, plan);
        transaction.commit();
        for (size_t i = 0; i < plan.files.size(); ++i) {
            PlannedRename &file = plan.files[i];
            ASSERT_EQ(fs::renameNoReplace(photos.path(), file.formerName, file.temporaryName),
                      fs::RenameStatus::Renamed);
            file.state = FileState::Temporary;
            journal::record(database, run, int(i), file);
            if (file.formerName == "IMG_2.JPG")
                stranded = file.temporaryName;
        }
    }
    writeFile(photos.path(), "IMG_2.JPG", "a newcomer that took a former name");

    // A new run in that folder is refused and the files are offered back.
    messages.answers = {Answer::Ok, Answer::No};
    window->dispatch("ファイル名変換(新規付番)");
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_TRUE(messages.shown[0].text.startsWith("前回の処理が途中で終わったため、3件"));
    EXPECT_EQ(messages.shown[1].buttons, Buttons::YesNo);
    EXPECT_EQ(filesIn(photos.path()).size(), 4);

    messages.shown.clear();
    messages.answers = {Answer::Yes};
    app->offerRecovery();
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text, "前回の処理が途中で終わりました。\rファイル名変換(新規+既存)（2026/01/02 12:34:05 開始）\r\r"
                                      "3件のファイルが一時的な名前のままです。\r\rフォルダ名\r" + photos.path()
                                          + "\r\rこの処理で名前を変えた3件のファイルを\r全て元のファイル名に戻しますか？");
    EXPECT_EQ(messages.shown[0].buttons, Buttons::YesNo);
    EXPECT_EQ(messages.shown[1].text, "2件のファイル名を元に戻しました\r (1件は変更できませんでした)\r\r"
                                      "元に戻せなかったファイル（フォルダ " + photos.path() + "）：\r" + stranded);
    EXPECT_EQ(filesIn(photos.path()), QStringList({"IMG_1.jpg", "IMG_2.JPG", stranded, "clip.mov"}));
    // The window lists the names given back, and counts them.
    auto *fileList = window->findChild<FileList *>("File1");
    QStringList listed;
    for (int i = 0; i < fileList->count(); ++i)
        listed << fileList->item(i)->text();
    EXPECT_EQ(listed, filesIn(photos.path()));
    EXPECT_EQ(window->findChild<QLabel *>("Label2")->text(), "Files:4");

    // A temporary name is never final: the file left under one is offered
    // again, and the folder stays refused, until it has its name back.
    messages.shown.clear();
    messages.answers = {Answer::No};
    app->offerRecovery();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains("\r1件のファイルが一時的な名前のままです。"));
    QFile::remove(photos.filePath("IMG_2.JPG"));
    messages.shown.clear();
    messages.answers = {Answer::Yes};
    app->offerRecovery();
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text, "1件のファイル名を元に戻しました");
    messages.shown.clear();
    app->offerRecovery();
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(RenameFromWindow, CompletedRunsLeaveNothingToRestore)
{
    open(data.path());
    messages.answers = {Answer::Yes};
    window->dispatch("ファイル名変換(新規+既存)");
    messages.shown.clear();
    app->offerRecovery();
    EXPECT_TRUE(messages.shown.empty());
}

} // namespace

namespace {

// The window keeps processing paint and timer events during a run: a timer
// sees the bar shown and moving before the closing message.
TEST_F(RenameFromWindow, ProgressBarAdvancesWhileTheRunGoesOn)
{
    open(data.path());
    addPhotosOfOneDay(40);
    auto *bar = window->findChild<QProgressBar *>("ProgressBar1");
    auto *preText = window->findChild<QLineEdit *>("Text1");
    const QRect fileCount = window->findChild<QWidget *>("Label2")->geometry();
    std::vector<int> seen;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (!bar->isVisible())
            return;
        seen.push_back(bar->value());
        // The bar takes a place kept for it: nothing else moves.
        EXPECT_EQ(window->findChild<QWidget *>("Label2")->geometry(), fileCount);
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

// The question marks a new name another entry holds; the closing box lists
// the file that was not renamed, what happened to it and why.
TEST_F(RenameFromWindow, FilesNotRenamedAreListedWithTheirCause)
{
    open(data.path());
    ASSERT_TRUE(QDir(photos.path()).mkdir("210305-001.jpg"));
    window->findChild<FileList *>("File1")->reread();
    messages.answers = {Answer::Yes};
    window->dispatch("ファイル名変換(新規付番)");
    ASSERT_EQ(messages.shown.size(), 2u);
    const DetailTable &plan = messages.shown[0].details;
    ASSERT_GE(plan.rows.size(), 2u);
    // The file that cannot be renamed comes last; its number goes on.
    EXPECT_EQ(plan.rows[0].cells.mid(0, 2), QStringList({"IMG_2.JPG", "210305-001.JPG"}));
    EXPECT_EQ(plan.rows[1].cells, QStringList({"IMG_1.jpg", "210305-001.jpg", "2021/03/05 09:00:00", "",
                                               "同じ名前のフォルダがあるため変更できません"}));
    EXPECT_TRUE(plan.rows[1].marked);
    EXPECT_TRUE(messages.shown[1].text.contains("(1件は変更できませんでした)"));
    EXPECT_EQ(messages.shown[1].detailLines(), "IMG_1.jpg → 210305-001.jpg\t変更できませんでした\t名前が既に存在します");
}

// 中止 (or Escape) stops the planning, which counts the files it reads, and
// stops a run between two files: the other controls are shown disabled
// meanwhile, the closing box says it was stopped and counts what was done,
// and the run can be undone.
TEST_F(RenameFromWindow, StopButtonAndEscapeStopThePlanningAndTheRun)
{
    open(data.path());
    addPhotosOfOneDay(40);
    auto *bar = window->findChild<QProgressBar *>("ProgressBar1");
    auto *stop = window->findChild<QPushButton *>("Cmd_Stop");
    for (const bool planning : {true, false}) {
        for (const bool byEscape : {false, true}) {
            SCOPED_TRACE(testing::Message() << "planning " << planning << ", escape " << byEscape);
            const QStringList before = filesIn(photos.path());
            bool stopped = false;
            QTimer watcher;
            QObject::connect(&watcher, &QTimer::timeout, [&] {
                const bool reading = bar->format().contains("ファイルを確認しています");
                if (stopped || !bar->isVisible() || reading != planning || (!planning && bar->value() < 60))
                    return;
                stopped = true;
                if (planning)
                    EXPECT_EQ(bar->maximum(), 42); // the jpg files, counted as they are read
                EXPECT_FALSE(window->findChild<QWidget *>("Text1")->isEnabled());
                EXPECT_FALSE(window->findChild<QWidget *>("Cmd_End")->isEnabled());
                EXPECT_TRUE(stop->isVisible() && stop->isEnabled());
                if (byEscape)
                    QTest::keyClick(window->findChild<QWidget *>("File1"), Qt::Key_Escape);
                else // as a user's click: to the window, at the button
                    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                                      stop->mapTo(window, stop->rect().center()));
            });
            watcher.start(0);
            messages.shown.clear();
            messages.answers = {Answer::Yes};
            window->dispatch("ファイル名変換(新規付番)");
            watcher.stop();
            ASSERT_TRUE(stopped);
            ASSERT_EQ(messages.shown.size(), planning ? 1u : 2u);
            EXPECT_EQ(messages.shown.back().title, "中止");
            EXPECT_FALSE(stop->isVisible());
            EXPECT_FALSE(bar->isVisible());
            EXPECT_TRUE(window->findChild<QWidget *>("Text1")->isEnabled());
            if (planning) {
                EXPECT_EQ(messages.shown[0].text, "中止しました。ファイル名は変更していません。");
                EXPECT_EQ(filesIn(photos.path()), before);
                continue;
            }
            const QString closing = messages.shown[1].text;
            EXPECT_TRUE(closing.contains("件のファイル名を変更しました") && closing.contains("(中止しました。"))
                << closing.toStdString();
            messages.answers = {Answer::Yes};
            window->dispatch("元に戻す(直前の変更)");
            EXPECT_EQ(filesIn(photos.path()), before);
        }
    }
}

} // namespace
