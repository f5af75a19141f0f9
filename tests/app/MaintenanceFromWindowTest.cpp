// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Application.h"
#include "settings/FavouriteFolder.h"
#include "app/MainWindow.h"
#include "database/Compaction.h"
#include "database/NameDatabase.h"
#include "text/Messages.h"
#include "widgets/FolderLists.h"
#include "TestSupport.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStorageInfo>
#include <QTableView>
#include <QScrollBar>
#include <QHeaderView>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

class MaintenanceFromWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        AppServices services{data.path(), &messages, &clock, [] {}};
        services.showModal = [this](QDialog &dialog) {
            shown.push_back(&dialog);
            if (whileShown)
                whileShown(dialog);
        };
        app = std::make_unique<Application>(services);
        app->showMain();
        window = app->mainWindow();
        for (const char *name : {"IMG_1.jpg", "IMG_2.jpg", "IMG_3.jpg"})
            setModified(writeFile(photos.path(), name), at("2021-03-05 09:00:00"));
        ASSERT_TRUE(window->chooseFolder(photos.path()));
    }
    void renameAll()
    {
        messages.answers = {Answer::Yes};
        window->dispatch("ファイル名変換(新規付番)");
        messages.shown.clear();
    }
    QStringList boxTexts() const
    {
        QStringList texts;
        for (const auto &box : messages.shown)
            texts << box.text;
        return texts;
    }

    QTemporaryDir data;
    QTemporaryDir photos;
    ScriptedMessageBoxes messages;
    FixedClock clock{at("2026-01-02 12:34:05")};
    std::vector<QDialog *> shown;
    std::function<void(QDialog &)> whileShown;
    std::unique_ptr<Application> app;
    MainWindow *window = nullptr;
};

TEST_F(MaintenanceFromWindow, LogWindowShowsTheLogNewestFirstAndHoldsTheDatabase)
{
    renameAll();
    std::vector<QStringList> rows;
    QStringList headings;
    std::optional<Failure> meanwhile;
    whileShown = [&](QDialog &dialog) {
        EXPECT_EQ(dialog.objectName(), "LogView");
        EXPECT_EQ(dialog.windowTitle(), "Form1");
        for (int i = 1; i <= 5; ++i) {
            auto *button = dialog.findChild<QPushButton *>(QStringLiteral("Command%1").arg(i));
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->text(), "");
            button->click(); // does nothing
        }
        auto *view = dialog.findChild<QTableView *>("DataGrid1");
        // The columns fill the window's width, the last one stretched.
        dialog.show();
        QCoreApplication::processEvents();
        EXPECT_EQ(view->horizontalHeader()->length(), view->viewport()->width());
        const QAbstractItemModel *grid = view->model();
        for (int c = 0; c < grid->columnCount(); ++c)
            headings << grid->headerData(c, Qt::Horizontal).toString();
        for (int r = 0; r < grid->rowCount(); ++r)
            rows.push_back({grid->index(r, 0).data().toString(), grid->index(r, 1).data().toString(),
                            grid->index(r, 2).data().toString(), grid->index(r, 6).data().toString()});
        meanwhile = compactDatabase(data.path());
    };
    app->closeDatabase(); // only the log window holds it now
    window->findChild<QPushButton *>("Cmd_Log")->click();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(headings, QStringList({"ID", "OriginalFileName", "MakeItDate", "Extension", "Camera", "NewFileName",
                                     "Update"}));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], QStringList({"3", "IMG_3.jpg", "2021/03/05 09:00:00", "2026/01/02 12:34:05"}));
    EXPECT_EQ(rows[2][1], "IMG_1.jpg");
    ASSERT_TRUE(meanwhile.has_value());
    EXPECT_EQ(meanwhile->kind, Failure::Kind::InUse);
    EXPECT_EQ(compactDatabase(data.path()), std::nullopt); // closed again
    EXPECT_TRUE(messages.shown.empty());

    // An unusable database is reported, and the program goes on.
    QFile::remove(NameDatabase::fileIn(data.path()));
    writeFile(data.path(), "FileNameDB.db", QByteArray(4096, 'z'));
    window->dispatch("LOGの表示");
    EXPECT_EQ(shown.size(), 1u);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].icon, Icon::Critical);
    EXPECT_TRUE(messages.shown[0].text.contains(NameDatabase::fileIn(data.path())));
}

// The window's own connection, open after any rename or a declined one,
// never stands in the way; another holder does, and is named in the boxes.
TEST_F(MaintenanceFromWindow, CompactionRightAfterStartAfterARenameAndWhileAnotherHoldsIt)
{
    { NameDatabase create(data.path(), clock); }
    window->dispatch("データベース最適化");
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(QFile::exists(backupFileIn(data.path())));

    messages.answers = {Answer::No}; // キャンセル at the rename question
    window->dispatch("ファイル名変換(新規付番)");
    messages.shown.clear();
    window->findChild<QPushButton *>("Cmd_Saitekika")->click();
    EXPECT_EQ(boxTexts(), QStringList());

    renameAll();
    window->findChild<QPushButton *>("Cmd_Saitekika")->click();
    EXPECT_EQ(boxTexts(), QStringList());
    EXPECT_EQ(app->database()->count(Table::FileNameLog), 3); // opened again by the next operation

    app->closeDatabase();
    NameDatabase other(data.path(), clock);
    const QByteArray before = readFile(NameDatabase::fileIn(data.path()));
    window->findChild<QPushButton *>("Cmd_Saitekika")->click();
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text, "エラー 5 ： database is locked");
    EXPECT_EQ(messages.shown[0].title, "動作警告   [Main]");
    EXPECT_EQ(messages.shown[0].icon, Icon::Exclamation);
    EXPECT_EQ(messages.shown[1].text, text::kAccessRestricted);
    EXPECT_EQ(messages.shown[1].title, "アクセス制限");
    EXPECT_EQ(messages.shown[1].icon, Icon::Information);
    EXPECT_EQ(readFile(NameDatabase::fileIn(data.path())), before);
}

// The log is emptied and the file compacted; the closing message asks for a
// compaction afterwards all the same.
TEST_F(MaintenanceFromWindow, ClearingTheLogWithRowsAndWithout)
{
    renameAll();
    for (int run = 0; run < 2; ++run) {
        messages.shown.clear();
        window->dispatch("DBログ削除(初期化)");
        EXPECT_EQ(boxTexts(), QStringList({"データベースのログデータを削除しました。\r\r"
                                           "続けて最適化処理を実施するとファイルサイズが小さくなります。"}));
        EXPECT_EQ(messages.shown.back().title, "");
        EXPECT_EQ(app->database()->count(Table::FileNameLog), 0);
    }
}

TEST_F(MaintenanceFromWindow, AttributesOfTheFirstFile)
{
    copyMedia("ianare-exif-samples/Canon_40D.jpg", photos.path(), "A.jpg");
    QString text;
    whileShown = [&](QDialog &dialog) {
        EXPECT_EQ(dialog.objectName(), "Frm_TextBox");
        EXPECT_EQ(dialog.windowTitle(), "属性");
        auto *box = dialog.findChild<QPlainTextEdit *>("Text1");
        EXPECT_TRUE(box->isReadOnly());
        text = box->toPlainText();
    };
    window->findChild<QPushButton *>("Cmd_Zokusei")->click();
    const QStringList lines = text.split(u'\n');
    ASSERT_EQ(lines.size(), 500);
    EXPECT_EQ(lines[0], "A.jpg");
    EXPECT_EQ(lines[30], "30 : Canon EOS 40D");

    QTemporaryDir empty;
    window->chooseFolder(empty.path());
    window->dispatch("属性表示");
    EXPECT_EQ(shown.size(), 1u);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.startsWith("属性を表示するファイルがこのフォルダにありません。"));
}

TEST_F(MaintenanceFromWindow, DriveButtonRegistersAndReturnsToTheFolder)
{
    const QString file = favourite::fileIn(data.path());
    messages.answers = {Answer::Yes};
    window->dispatch("Driveボタン登録");
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text, "　現在選択されているフォルダを『Drive』ボタンに登録します。\r\r"
                                      "　選択されているフォルダは以下のとおりです。\r\r" + photos.path());
    EXPECT_EQ(messages.shown[0].title, "実施確認");
    EXPECT_EQ(messages.shown[0].buttons, Buttons::YesNoCancel);
    EXPECT_EQ(messages.shown[1].text, text::kRegistered);
    EXPECT_EQ(readFile(file), photos.path().toUtf8() + "\r\n");

    QTemporaryDir other;
    window->chooseFolder(other.path());
    messages.answers = {Answer::No};
    window->dispatch("Driveボタン登録");
    EXPECT_EQ(messages.shown.back().text, "実施していません");
    EXPECT_EQ(readFile(file), photos.path().toUtf8() + "\r\n");

    auto *folderList = window->findChild<FolderList *>("Dir1");
    auto *drive = window->findChild<QPushButton *>("Cmd_DriveChange");
    drive->click();
    EXPECT_EQ(folderList->path(), photos.path());

    // Only the first line counts; a missing file or a vanished folder changes nothing.
    writeFile(data.path(), "DriveFileName.txt", other.path().toUtf8() + "\r\n/somewhere/else\r\n");
    drive->click();
    EXPECT_EQ(folderList->path(), other.path());
    // A missing file, a pipe of that name, or a folder of a card that is out changes nothing (and never waits).
    for (const QByteArray &stored : {QByteArray(), QByteArray("fifo"), QByteArray("/media/pelmora-no-card/DCIM\r\n")}) {
        window->chooseFolder(photos.path());
        QFile::remove(file);
        if (stored == "fifo")
            ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0644), 0);
        else if (!stored.isEmpty())
            writeFile(data.path(), "DriveFileName.txt", stored);
        drive->click();
        EXPECT_EQ(folderList->path(), photos.path()) << stored.toStdString();
    }

    // A folder that is gone: its drive is chosen, and the folder list follows the drive.
    window->chooseFolder(photos.path());
    QFile::remove(file);
    writeFile(data.path(), "DriveFileName.txt", other.filePath("gone").toUtf8() + "\r\n");
    auto *driveList = window->findChild<DriveList *>("Drive1");
    const QString root = QStorageInfo(other.path()).rootPath();
    driveList->setCurrentIndex(driveList->findText(root) == 0 ? driveList->count() - 1 : 0); // another drive shown
    drive->click();
    EXPECT_EQ(folderList->path(), root);
    EXPECT_EQ(driveList->currentText(), root);
}

} // namespace
