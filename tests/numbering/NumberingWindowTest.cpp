// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Application.h"
#include "app/MainWindow.h"
#include "numbering/NumberingExport.h"
#include "numbering/NumberingWindow.h"
#include "text/Messages.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

class NumberingWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AppServices services{data.path(), &messages, &clock, [] {}};
        services.openFile = [this](const QString &file) {
            opened << file;
            return opens;
        };
        services.chooseSaveFile = [this](const QString &suggested) {
            asked << suggested;
            return chosen;
        };
        services.desktopFolder = desktop.path();
        app = std::make_unique<Application>(services);
        app->showMain();
        app->mainWindow()->dispatch("フォルダ附番");
        QCoreApplication::processEvents(); // the main window goes
        window = app->numberingWindow();
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(app->mainWindow(), nullptr);
        ASSERT_TRUE(QDir(tree.path()).mkpath("2021/Trip"));
        for (const char *file : {"2021/a.jpg", "2021/Trip/b.jpg"})
            writeFile(tree.path(), file);
        ASSERT_TRUE(window->chooseFolder(tree.filePath("2021")));
    }
    QString status() const { return window->findChild<QLineEdit *>("Txt_Msg")->text(); }
    void press(const char *name) { window->findChild<QPushButton *>(name)->click(); }

    QTemporaryDir data, tree, desktop;
    ScriptedMessageBoxes messages;
    FixedClock clock{at("2026-01-02 12:34:05")};
    QStringList opened;
    bool opens = true; // a program opens .xlsx files
    QStringList asked; // where the user was asked to save
    QString chosen;    // what the user answered
    std::unique_ptr<Application> app;
    NumberingWindow *window = nullptr;
};

TEST_F(NumberingWindowTest, NumbersExportsAndLeadsBackToAFreshMainWindow)
{
    EXPECT_EQ(window->windowTitle(), "File Numbering  (Pelmora from Quillet)");
    EXPECT_EQ(status(), "フォルダを選択、Numberingを実行するとファイルに固有番号を付与します。");
    press("Cmd_Numbering");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "ファイル2件とフォルダ2件のナンバリングを実行しました。");
    EXPECT_EQ(messages.shown[0].title, "");
    EXPECT_EQ(status(), "ナンバリング完了です。Excelファイル出力はしていません。");

    // No: nothing written, nothing more said.
    messages.answers = {Answer::No};
    press("Cmd_Excel");
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].title, "確認");
    EXPECT_EQ(messages.shown[1].buttons, Buttons::YesNo);
    EXPECT_EQ(messages.shown[1].text, text::exportQuestion(2, 2));
    EXPECT_TRUE(messages.shown[1].text.contains("　ファイルは2件、フォルダは2件あります。\r\r"));
    EXPECT_TRUE(QDir(desktop.path()).isEmpty());

    // A template that cannot be found: said, and nothing left behind.
    messages.answers = {Answer::Yes};
    press("Cmd_Excel");
    EXPECT_EQ(messages.shown.back().icon, Icon::Critical);
    EXPECT_TRUE(messages.shown.back().text.contains(data.filePath("FileID.xlsx")));
    EXPECT_TRUE(QDir(desktop.path()).isEmpty());
    EXPECT_TRUE(opened.isEmpty());

    // A killed export's part file goes with the next export; another program's file stays.
    writeFile(desktop.path(), "251231-File_Name_ID-235959.xlsx.part-0a1b2c3d");
    writeFile(desktop.path(), "notes.xlsx.part-0a1b2c3d");
    ASSERT_TRUE(QFile::copy(PELMORA_WORKBOOK_TEMPLATE, data.filePath("FileID.xlsx")));
    QStringList statuses;
    QObject::connect(window->findChild<QLineEdit *>("Txt_Msg"), &QLineEdit::textChanged,
                     [&](const QString &text) { statuses << text; });
    messages.answers = {Answer::Yes};
    press("Cmd_Excel");
    EXPECT_EQ(statuses, QStringList({"現在1件目のファイルをExcelに転記しています。",
                                     "現在1件目のフォルダをExcelに転記しています。",
                                     "Excelファイルに出力しデスクトップに保存しました。"}));
    const QString saved = desktop.filePath("260102-File_Name_ID-123405.xlsx");
    EXPECT_EQ(messages.shown.back().text, "Excelファイルをデスクトップに出力しました。\r\rファイル名\r" + saved);
    EXPECT_EQ(status(), "Excelファイルに出力しデスクトップに保存しました。");
    EXPECT_EQ(opened, QStringList({saved}));
    EXPECT_EQ(QDir(desktop.path()).entryList(QDir::Files),
              QStringList({"260102-File_Name_ID-123405.xlsx", "notes.xlsx.part-0a1b2c3d"}));

    EXPECT_TRUE(asked.isEmpty());

    // No desktop folder: the user says where it goes (or cancels); no
    // program to open it: said, with where the workbook is.
    desktop.remove();
    messages.answers = {Answer::Yes};
    press("Cmd_Excel");
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].endsWith("/260102-File_Name_ID-123405.xlsx"));
    EXPECT_EQ(opened.size(), 1); // cancelled: nothing written, nothing said
    QTemporaryDir elsewhere;
    chosen = elsewhere.filePath("ids.xlsx");
    opens = false;
    messages.answers = {Answer::Yes};
    press("Cmd_Excel");
    EXPECT_TRUE(QFile::exists(chosen));
    EXPECT_EQ(messages.shown.back().text, "Excelファイルを出力しました。\r\rファイル名\r" + chosen
                                              + "\r\rこのファイルを開くプログラムが見つからないため、開いていません。");
    EXPECT_EQ(status(), "Excelファイルに出力し保存しました。");

    press("Cmd_End");
    QCoreApplication::processEvents();
    ASSERT_NE(app->mainWindow(), nullptr);
    EXPECT_EQ(app->numberingWindow(), nullptr);
    MainWindow *main = app->mainWindow();
    EXPECT_EQ(main->findChild<QComboBox *>("Cmb_Fnc")->currentText(), "ファイル名変換(撮影日時)");
    EXPECT_EQ(main->findChild<QLineEdit *>("Text3")->text(), "1");
    EXPECT_TRUE(main->findChild<QRadioButton *>("Option1")->isChecked());
}

} // namespace
