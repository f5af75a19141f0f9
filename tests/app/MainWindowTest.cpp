// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Application.h"
#include "app/ExtensionBoxes.h"
#include "app/MainWindow.h"
#include "widgets/TextWindow.h"
#include "app/CameraClockWindow.h"
#include "maintenance/LogView.h"
#include "numbering/NumberingWindow.h"
#include "widgets/QtMessageBoxes.h"
#include "widgets/FolderLists.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QTimeEdit>
#include <QComboBox>
#include <QAction>
#include <QDialog>
#include <QRegularExpression>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QDir>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QDialogButtonBox>
#include <QTableView>
#include <QTableWidget>

#include <QFileDialog>
#include <QFileSystemModel>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(data.isValid() && photos.isValid());
        AppServices services{data.path(), &messages, &clock, [this] { ++endRequests; }};
        services.showModal = [this](QDialog &dialog) {
            modalWindows << dialog.objectName();
            if (onModal)
                onModal(dialog);
        };
        app = std::make_unique<Application>(services);
        app->showMain();
        window = app->mainWindow();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }

    template <typename T> T *control(const char *name) const
    {
        T *found = window->findChild<T *>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QLineEdit *box(int i) const { return window->extensionBoxes()->box(i); }
    static QColor colourOf(QLineEdit *edit) { return edit->palette().color(QPalette::Base); }
    QStringList boxTexts() const
    {
        QStringList texts;
        for (int i = 0; i < kExtensionBoxCount; ++i)
            texts << box(i)->text();
        return texts;
    }
    void focus(QWidget *widget)
    {
        widget->setFocus(Qt::MouseFocusReason);
        QCoreApplication::processEvents();
    }
    void press(const char *buttonName) { control<QPushButton>(buttonName)->click(); }
    // Text, title and icon of the i-th box shown.
    std::tuple<QString, QString, Icon> shownBox(size_t i) const
    {
        const auto &shown = messages.shown.at(i);
        return {shown.text, shown.title, shown.icon};
    }

    QTemporaryDir data;
    QTemporaryDir photos;
    ScriptedMessageBoxes messages;
    FixedClock clock{at("2026-01-02 12:34:05")};
    int endRequests = 0;
    QStringList modalWindows;
    std::function<void(QDialog &)> onModal; // what the user does in a window shown modal
    std::unique_ptr<Application> app;
    MainWindow *window = nullptr;
};

QStringList filled(std::initializer_list<const char *> texts)
{
    QStringList all;
    for (const char *t : texts)
        all << QString::fromUtf8(t);
    while (all.size() < kExtensionBoxCount)
        all << QString();
    return all;
}

TEST_F(MainWindowTest, StartsWithTheDesignValues)
{
    EXPECT_EQ(window->windowTitle(), "Pelmora from Quillet");
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(224, 255, 224));

    auto *operations = control<QComboBox>("Cmb_Fnc");
    EXPECT_FALSE(operations->isEditable());
    QStringList entries;
    for (int i = 0; i < operations->count(); ++i)
        entries << operations->itemText(i);
    EXPECT_EQ(entries, QStringList({"ファイル名変換(撮影日時)", "ファイル名変換(新規付番)", "ファイル名変換(既存温存)",
                                    "ファイル名変換(新規+既存)", "ファイル名文字列置換", "データベース最適化", "属性表示",
                                    "Text追記", "LOGの表示", "フォルダ附番", "Driveボタン登録", "元に戻す(直前の変更)",
                                    "終了"}));
    EXPECT_EQ(operations->currentText(), "ファイル名変換(撮影日時)");

    EXPECT_EQ(control<FolderList>("Dir1")->path(), "/");
    EXPECT_EQ(control<QComboBox>("Drive1")->currentText(), "/");
    EXPECT_TRUE(control<QLabel>("Label2")->text().startsWith("Files:"));
    const std::pair<const char *, const char *> texts[] = {
        {"Label1", "/"}, {"Text1", ""},   {"Text2", ""}, {"Text3", "1"}, {"Option4", "YYMMDD + Text + Long"},
        {"Cmd_Fnc", "Go"}, {"Command1", ""}};
    for (const auto &[name, text] : texts)
        EXPECT_EQ(control<QWidget>(name)->property("text").toString(), QString::fromUtf8(text)) << name;

    EXPECT_EQ(window->findChildren<QLineEdit *>("Txt_Ext").size(), kExtensionBoxCount);
    EXPECT_EQ(boxTexts(), filled({"jpg", "jpeg", "bmp", "gif", "png"}));
    for (int i = 0; i < kExtensionBoxCount; ++i)
        EXPECT_EQ(colourOf(box(i)), i < 5 ? kWhite : kLightGreen) << i;
    EXPECT_TRUE(control<QRadioButton>("Option1")->isChecked());
    EXPECT_TRUE(control<QProgressBar>("ProgressBar1")->isHidden());

    // What the program is and its licence are in the Help menu, not among the operations.
    control<QAction>("Mnu_About")->trigger();
    ASSERT_EQ(messages.shown.size(), 1u);
    const auto [text, title, icon] = shownBox(0);
    EXPECT_EQ(title, "Pelmora について");
    EXPECT_TRUE(QRegularExpression("^Pelmora \\d+\\.\\d+\r").match(text).hasMatch()) << text.toStdString();
    EXPECT_TRUE(text.contains("GPL") && text.contains("無保証")) << text.toStdString();
}

TEST_F(MainWindowTest, FocusJumpsToTheLowestEmptyBox)
{
    focus(box(9));
    EXPECT_TRUE(box(5)->hasFocus());
    EXPECT_EQ(colourOf(box(5)), kYellow);
    EXPECT_EQ(colourOf(box(9)), kLightGreen);
    // The box that handed its focus on looks like any other empty box: no cursor.
    const QSize common = box(9)->size().boundedTo(box(8)->size());
    EXPECT_EQ(box(9)->grab(QRect(QPoint(), common)).toImage(), box(8)->grab(QRect(QPoint(), common)).toImage());

    focus(box(0));
    EXPECT_TRUE(box(0)->hasFocus());
    EXPECT_EQ(colourOf(box(0)), kYellow);
    focus(control<QLineEdit>("Text1"));
    EXPECT_EQ(colourOf(box(0)), kWhite);
}

TEST_F(MainWindowTest, EmptiedBoxTakesTheHighestFilledBox)
{
    focus(box(1));
    box(1)->clear();
    focus(control<QLineEdit>("Text1"));
    EXPECT_EQ(boxTexts(), filled({"jpg", "png", "bmp", "gif"}));
    EXPECT_EQ(colourOf(box(1)), kWhite);
    EXPECT_EQ(colourOf(box(4)), kLightGreen);

    // The last filled box emptied: nothing moves.
    focus(box(3));
    box(3)->clear();
    focus(control<QLineEdit>("Text1"));
    EXPECT_EQ(boxTexts(), filled({"jpg", "png", "bmp"}));
    EXPECT_EQ(colourOf(box(3)), kLightGreen);

    // A blank is text: it stays, white, and reaches the operations.
    focus(box(3));
    box(3)->setText(" ");
    focus(control<QLineEdit>("Text1"));
    EXPECT_EQ(colourOf(box(3)), kWhite);
    EXPECT_EQ(window->readInputs().extensions[3], " ");
}

TEST_F(MainWindowTest, PresetsAndClear)
{
    control<QRadioButton>("Option3")->setChecked(true);
    control<QLineEdit>("Text2")->setText("B");
    control<QLineEdit>("Text3")->setText("9");

    press("Extention_Picture");
    press("Extention_Movie");
    EXPECT_EQ(boxTexts(), filled({"mp4", "mov", "mts", "avi", "wmv", "mpeg"}));
    EXPECT_EQ(colourOf(box(5)), kWhite);
    EXPECT_EQ(colourOf(box(6)), kLightGreen);
    NamingInputs inputs = window->readInputs();
    EXPECT_EQ(inputs.preText, "-Mov");
    EXPECT_EQ(inputs.postText, "");
    EXPECT_EQ(inputs.startNumber, "1");

    press("Extention_Picture");
    EXPECT_EQ(boxTexts(), filled({"jpg", "jpeg", "bmp", "gif", "png"}));
    EXPECT_EQ(colourOf(box(5)), kLightGreen);
    EXPECT_EQ(window->readInputs().preText, "");

    press("Extention_Clear");
    EXPECT_EQ(boxTexts(), filled({}));
    EXPECT_EQ(colourOf(box(0)), kLightGreen);
    EXPECT_EQ(window->readInputs().option, NamingOption::Option3);
}

TEST_F(MainWindowTest, StartNumberIsCheckedWhenLeft)
{
    auto *startNumber = control<QLineEdit>("Text3");
    auto *other = control<QLineEdit>("Text1");
    for (const char *number : {"12", " 7 ", "-3", "1.5"}) {
        focus(startNumber);
        startNumber->setText(QString::fromLatin1(number));
        focus(other);
    }
    EXPECT_TRUE(messages.shown.empty());

    for (const char *wrong : {"", "1a"}) {
        messages.shown.clear();
        focus(startNumber);
        startNumber->setText(QString::fromLatin1(wrong));
        focus(other);
        ASSERT_EQ(messages.shown.size(), 1u) << wrong;
        EXPECT_EQ(shownBox(0), std::tuple(QString("Start Number欄には数字以外は入力できません。\r\r現在の入力値：") + wrong,
                                          QString("数値以外の入力"), Icon::Critical));
        EXPECT_EQ(messages.shown[0].buttons, Buttons::Ok);
        EXPECT_TRUE(startNumber->hasFocus());
        EXPECT_EQ(startNumber->text(), QString::fromLatin1(wrong));
    }
}

TEST_F(MainWindowTest, FolderChoiceUpdatesLabelsAndFileList)
{
    for (const char *name : {"a.jpg", "b.txt", ".hidden.jpg"})
        writeFile(photos.path(), name);
    QDir(photos.path()).mkdir("sub");
    // A Shift JIS name is listed and counted, its bytes shown.
    const QByteArray shiftJis = QFile::encodeName(photos.path()) + "/\x93\xfa.jpg";
    ::close(::open(shiftJis.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    ASSERT_TRUE(window->chooseFolder(photos.path()));
    EXPECT_EQ(control<QLabel>("Label1")->text(), photos.path() + "/");
    EXPECT_EQ(control<QLabel>("Label2")->text(), "Files:3");
    EXPECT_EQ(control<FileList>("File1")->entryCount(), 3);
    EXPECT_EQ(control<FileList>("File1")->item(0)->text(), "\\x93\\xfa.jpg");
    ::unlink(shiftJis.constData());

    EXPECT_FALSE(window->chooseFolder(photos.path() + "/missing"));
    EXPECT_EQ(control<FolderList>("Dir1")->path(), photos.path());

    ASSERT_TRUE(window->chooseFolder(photos.filePath("sub")));
    EXPECT_EQ(control<QLabel>("Label2")->text(), "Files:0");
}

TEST_F(MainWindowTest, RenameConfirmationShowsCountAndFolder)
{
    for (const char *name : {"a.jpg", "b.txt", "c.doc"})
        writeFile(photos.path(), name);
    ASSERT_TRUE(window->chooseFolder(photos.path()));
    const QString question = "フォルダ内のファイル名を変更しますか？\r\r全 3 件\r\rフォルダ名\r" + photos.path();

    for (Answer answer : {Answer::No, Answer::Cancel}) {
        messages.shown.clear();
        messages.answers = {answer};
        window->dispatch("ファイル名変換(新規付番)");
        ASSERT_EQ(messages.shown.size(), 2u);
        EXPECT_EQ(shownBox(0), std::tuple(question, QString("実施確認【ファイル名変換(新規付番)】"), Icon::Information));
        EXPECT_EQ(messages.shown[0].buttons, Buttons::YesNoCancel);
        EXPECT_EQ(shownBox(1), std::tuple(QString("実施していません"), QString("未実施"), Icon::None));
    }

    messages.shown.clear();
    messages.answers = {Answer::No};
    window->dispatch("ファイル名変換(撮影日時)");
    EXPECT_EQ(messages.shown.at(0).title, "実施確認");
    EXPECT_EQ(messages.shown.at(0).text, question);
    EXPECT_EQ(filesIn(photos.path()), QStringList({"a.jpg", "b.txt", "c.doc"}));
}

TEST_F(MainWindowTest, DispatchesEveryOperationText)
{
    ASSERT_TRUE(window->chooseFolder(photos.path())); // empty folder
    const QStringList renames = {"ファイル名変換(撮影日時)", "ファイル名変換(新規付番)", "ファイル名変換(既存温存)",
                                 "ファイル名変換(新規+既存)", "ファイル名文字列置換", "Text追記"};
    for (const QString &operation : renames) {
        messages.shown.clear();
        window->dispatch(operation);
        ASSERT_EQ(messages.shown.size(), 1u) << operation.toStdString();
        EXPECT_EQ(shownBox(0), std::tuple(QString("フォルダを選択してください"), QString("フォルダ未選択"), Icon::Critical));
    }

    messages.shown.clear();
    window->dispatch("DBログ削除(初期化)");
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_TRUE(messages.shown.back().text.startsWith("データベースのログデータを削除しました。"));
    messages.shown.clear();
    EXPECT_EQ(endRequests, 0);
    window->dispatch("ファイル名変換");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(shownBox(0), std::tuple(QString("その操作は存在しません。"), QString(), Icon::None)); // the application title

    window->dispatch("元に戻す(直前の変更)"); // nothing renamed yet
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text, "元に戻せる変更はありません。");

    window->dispatch("終了");
    EXPECT_EQ(endRequests, 1);
    press("Cmd_End");
    EXPECT_EQ(endRequests, 2);
}

TEST_F(MainWindowTest, ShortcutButtonsSetTheOperationText)
{
    writeFile(photos.path(), "a.jpg");
    ASSERT_TRUE(window->chooseFolder(photos.path()));
    const std::pair<const char *, const char *> shortcuts[] = {
        {"Cmd_Log", "LOGの表示"}, {"Cmd_Zokusei", "属性表示"}, {"Cmd_Saitekika", "データベース最適化"}};
    for (const auto &[button, text] : shortcuts) {
        press(button);
        EXPECT_EQ(control<QComboBox>("Cmb_Fnc")->currentText(), QString::fromUtf8(text));
    }
    EXPECT_EQ(modalWindows, QStringList({"LogView", "Frm_TextBox"}));
    EXPECT_TRUE(messages.shown.empty());
}

// Enter on a focused button presses it; typing a folder's first letters in
// the folder list selects it, and Enter opens it.
TEST_F(MainWindowTest, WorksFromTheKeyboard)
{
    for (const char *folder : {"alpha", "beta", "bravo", "charlie"})
        QDir(photos.path()).mkdir(folder);
    ASSERT_TRUE(window->chooseFolder(photos.path()));
    auto *folders = control<FolderList>("Dir1");
    folders->setFocus();
    QTest::keyClicks(folders, "br");
    ASSERT_NE(folders->currentItem(), nullptr);
    EXPECT_EQ(folders->currentItem()->text(), "bravo");
    QTest::keyClick(folders, Qt::Key_Return);
    EXPECT_EQ(folders->path(), photos.filePath("bravo"));

    control<QComboBox>("Cmb_Fnc")->setCurrentText("終了");
    auto *go = control<QPushButton>("Cmd_Fnc");
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        go->setFocus();
        QTest::keyClick(go, key);
    }
    EXPECT_EQ(endRequests, 2);
    // A held Enter presses once: its repeats would otherwise answer the box Go opens.
    const auto send = [go](QEvent::Type type, bool repeat) {
        QKeyEvent key(type, Qt::Key_Return, Qt::NoModifier, QString(), repeat);
        QApplication::sendEvent(go, &key);
    };
    send(QEvent::KeyPress, false);
    for (int i = 0; i < 3; ++i) {
        send(QEvent::KeyRelease, true);
        send(QEvent::KeyPress, true);
    }
    send(QEvent::KeyRelease, false);
    EXPECT_EQ(endRequests, 3);

}

// Tab goes down the window and Shift+Tab back up, through every control:
// the operation, the buttons row by row, the drive, folder and file lists,
// each extension box (empty ones too: only a click hands the focus on), the
// texts, the options.
TEST_F(MainWindowTest, TabAndShiftTabReachEveryControlInReadingOrder)
{
    QStringList expected{"Cmb_Fnc", "Cmd_Fnc", "Extention_Picture", "Extention_Movie", "Extention_Clear",
                         "Cmd_Log", "Cmd_Zokusei", "Cmd_Saitekika", "Command1", "Cmd_DriveChange", "Cmd_End",
                         "Drive1", "Dir1", "File1"};
    for (int i = 0; i < kExtensionBoxCount; ++i)
        expected << QStringLiteral("Txt_Ext%1").arg(i);
    expected << QStringList{"Text1", "Text2", "Text3", "Option1", "Chk_Companions"};
    const auto nameOf = [this](QWidget *widget) {
        const QVariant index = widget ? widget->property("index") : QVariant();
        return !widget ? QString() : index.isValid() ? widget->objectName() + index.toString() : widget->objectName();
    };
    for (const Qt::KeyboardModifier direction : {Qt::NoModifier, Qt::ShiftModifier}) {
        QWidget *start = control<QWidget>(direction == Qt::NoModifier ? "Cmb_Fnc" : "Chk_Companions");
        start->setFocus(Qt::OtherFocusReason);
        QStringList reached{nameOf(start)};
        for (qsizetype step = 1; step < expected.size(); ++step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, direction);
            reached << nameOf(QApplication::focusWidget());
        }
        QStringList order = expected;
        if (direction == Qt::ShiftModifier)
            std::reverse(order.begin(), order.end());
        EXPECT_EQ(reached, order) << (direction == Qt::NoModifier ? "Tab" : "Shift+Tab");
    }
}

// No window opens larger than the screen's available area, nor needs more:
// run here on the test screen, and again at twice the scale on a 1600 x 1000
// screen (see tests/CMakeLists.txt).
TEST_F(MainWindowTest, WindowsFitTheScreen)
{
    const QSize area = window->screen()->availableGeometry().size();
    LogView log(data.path(), clock);
    NumberingWindow numbering(app->services(), {});
    TextWindow attributes(QString(500, u'x').repeated(4), nullptr);
    CameraClockWindow clocks(QString(300, u'x'), std::vector<CameraSummary>(40), QString(), messages);
    for (QWidget *shown : std::initializer_list<QWidget *>{window, &log, &numbering, &attributes, &clocks}) {
        shown->show();
        QCoreApplication::processEvents();
        EXPECT_LE(shown->frameGeometry().width(), area.width()) << shown->objectName().toStdString();
        EXPECT_LE(shown->frameGeometry().height(), area.height()) << shown->objectName().toStdString();
        EXPECT_LE(shown->minimumSizeHint().width(), area.width()) << shown->objectName().toStdString();
        EXPECT_LE(shown->minimumSizeHint().height(), area.height()) << shown->objectName().toStdString();
        if (shown != window)
            shown->hide();
    }
}

// "関連ファイルも一緒に変更" is on at first, and its state is kept in DATA for
// the next start.
TEST_F(MainWindowTest, CompanionsAndTheHourADayStartsAreKeptForTheNextStart)
{
    auto *companions = control<QCheckBox>("Chk_Companions");
    EXPECT_EQ(companions->text(), "関連ファイルも一緒に変更");
    EXPECT_TRUE(companions->isChecked());
    companions->click();
    auto *dayStart = control<QTimeEdit>("Time_DayStart");
    EXPECT_EQ(dayStart->time(), QTime(0, 0)); // names as without it
    dayStart->setTime(QTime(4, 0));
    app->showMain(); // a new main window reads DATA again
    QCoreApplication::processEvents();
    EXPECT_FALSE(app->mainWindow()->findChild<QCheckBox *>("Chk_Companions")->isChecked());
    EXPECT_EQ(app->mainWindow()->findChild<QTimeEdit *>("Time_DayStart")->time(), QTime(4, 0));
}

TEST_F(MainWindowTest, TextBoxesFitTypicalTexts)
{
    for (const char *name : {"Text1", "Text2"}) {
        auto *text = control<QLineEdit>(name);
        for (const char *typical : {"-Mov", "_Tokyo", "_Tokyo-Mov"})
            EXPECT_GE(text->width(), text->fontMetrics().horizontalAdvance(typical) + 12) << name << typical;
    }
}

} // namespace

// The box is wide enough for its title, whatever the length of its text.
TEST(QtMessageBoxesTest, AreWideEnoughForTheirTitles)
{
    QtMessageBoxes boxes;
    for (const char *title : {"実施確認【ファイル名変換(新規付番)】", "実施確認【ファイル名変換(撮影日時)】", "動作警告   [Main]"}) {
        int width = 0;
        int titleWidth = 0;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            width = box->width();
            titleWidth = box->fontMetrics().horizontalAdvance(box->windowTitle());
            box->done(QMessageBox::No);
        });
        boxes.show("はい", Buttons::YesNo, Icon::Exclamation, QString::fromUtf8(title), {});
        EXPECT_GE(width, titleWidth + 100) << title;
    }
}

// Details are a table: hidden until asked for, then at least fifteen rows
// high with marked rows coloured; the size the user gives it is kept, in
// the settings file for the next start too. Escape answers No.
TEST(QtMessageBoxesTest, DetailsAreATableThatKeepsItsSize)
{
    QTemporaryDir dir;
    DetailTable details{{"変更前", "変更後"}, {}};
    for (int i = 0; i < 2000; ++i)
        details.rows.push_back({{QString::number(i), "x"}, i == 3});
    QSize given;
    for (const Answer expected : {Answer::Yes, Answer::No}) {
        QtMessageBoxes boxes(dir.filePath("Pelmora.ini")); // a new start each round
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            auto *table = box->findChild<QTableView *>("detailsTable");
            ASSERT_TRUE(table && table->isHidden());
            box->findChild<QPushButton *>("detailsButton")->click();
            EXPECT_TRUE(table->isVisible());
            const QAbstractItemModel *model = table->model();
            EXPECT_EQ(model->rowCount(), 2000);
            EXPECT_GE(table->viewport()->height(), 15 * table->rowHeight(0));
            EXPECT_NE(model->index(3, 1).data(Qt::BackgroundRole), model->index(2, 1).data(Qt::BackgroundRole));
            // Ctrl+End goes to the last row with the names still in view.
            table->setCurrentIndex(model->index(0, 0));
            QTest::keyClick(table, Qt::Key_End, Qt::ControlModifier);
            EXPECT_EQ(table->currentIndex().row(), 1999);
            EXPECT_EQ(table->horizontalScrollBar()->value(), 0);
            EXPECT_EQ(table->currentIndex().column(), 0);
            if (expected == Answer::Yes) {
                box->resize(box->size() + QSize(40, 30));
                given = box->size();
                box->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Yes)->click();
            } else {
                EXPECT_EQ(box->size(), given);
                QTest::keyClick(box, Qt::Key_Escape);
            }
        });
        EXPECT_EQ(boxes.show("質問", Buttons::YesNo, Icon::Information, "実施確認", details), expected);
    }
}

// Qt's own windows speak Japanese: the buttons of a box, and the save-as
// dialog's types, sizes and dates; what runs from here keeps the user's
// environment.
TEST(JapaneseQtTest, BoxesAndTheSaveAsDialogReadJapanese)
{
    const std::pair<const char *, const char *> buttons[] = {{"&Yes", "はい"}, {"&No", "いいえ"}, {"Cancel", "キャンセル"}};
    for (const auto &[button, japanese] : buttons)
        EXPECT_TRUE(QCoreApplication::translate("QPlatformTheme", button).startsWith(QString::fromUtf8(japanese)));
    EXPECT_FALSE(qEnvironmentVariableIsSet("LC_TIME"));

    QTemporaryDir folder;
    ASSERT_TRUE(QDir(folder.path()).mkdir("sub"));
    setModified(writeFile(folder.path(), "a.xlsx", "12345"), at("2021-03-05 09:00:00"));
    QFileDialog dialog(nullptr, {}, folder.path());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto *model = dialog.findChild<QFileSystemModel *>();
    ASSERT_TRUE(model);
    const QModelIndex root = model->index(folder.path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount(root) == 2; }));
    const auto cell = [&](const char *name, int column) {
        return model->index(QDir(folder.path()).filePath(QString::fromUtf8(name))).siblingAtColumn(column).data().toString();
    };
    EXPECT_EQ(cell("sub", 2), "フォルダ");
    EXPECT_EQ(cell("a.xlsx", 1), "5 バイト");
    EXPECT_TRUE(cell("a.xlsx", 3).startsWith("2021/03/05")) << cell("a.xlsx", 3).toStdString();
}

// The window of camera clocks lists the folder's cameras; an offset that
// cannot be read is said and kept from saving; the suggestion is used on a
// click; what is saved serves the next renames, with the zone of movies.
TEST_F(MainWindowTest, CameraClocksAreSetInTheirWindowAndServeTheRenames)
{
    for (const char *file : {"Google.jpg", "GoPro.jpg"})
        copyMedia(QStringLiteral("exiftool-t-images/") + file, photos.path(), QString::fromUtf8(file));
    ASSERT_TRUE(window->chooseFolder(photos.path()));
    onModal = [this](QDialog &dialog) {
        auto *cameras = dialog.findChild<QTableWidget *>("Grd_Cameras");
        ASSERT_EQ(cameras->rowCount(), 2);
        EXPECT_EQ(cameras->item(0, 0)->text(), "Google Pixel 8 Pro");
        EXPECT_EQ(cameras->item(0, 5)->text(), "-00:01:41");
        cameras->selectRow(0);
        dialog.findChild<QPushButton *>("Cmd_UseSuggestion")->click();
        EXPECT_EQ(cameras->item(0, 4)->text(), "-00:01:41");
        cameras->item(1, 4)->setText("+0:15");
        dialog.findChild<QPushButton *>("Cmd_Save")->click();
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, "GoPro HERO6 Blackの補正「+0:15」が読めません。\r"
                                          "+00:03:20 のように、符号と時:分:秒で入力してください。");
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        cameras->item(1, 4)->setText("+00:00:15");
        dialog.findChild<QComboBox *>("Cmb_MovieZone")->setCurrentIndex(2);
        dialog.findChild<QLineEdit *>("Txt_MovieZone")->setText("Europe/Paris");
        dialog.findChild<QPushButton *>("Cmd_Save")->click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    };
    press("Cmd_CameraClocks");
    EXPECT_EQ(modalWindows, QStringList({"CameraClockWindow"}));
    EXPECT_EQ(NameDatabase(data.path(), clock).clockOffsets().all(),
              (std::vector<ClockOffset>{{"GoPro HERO6 Black", "C3221324657219", 15}, {"Google Pixel 8 Pro", "", -101}}));
    const NamingInputs inputs = window->readInputs();
    EXPECT_TRUE(inputs.corrections.moviesWhereShot);
    EXPECT_EQ(inputs.corrections.movieZone, parseZone("Europe/Paris"));

    // The confirmation's list shows the date as corrected.
    messages.answers = {Answer::No};
    window->dispatch("ファイル名変換(撮影日時)");
    ASSERT_GE(messages.shown.size(), 2u);
    EXPECT_TRUE(messages.shown[1].detailLines().contains(
        "Google.jpg → 231006-001.jpg\t2023/10/06 22:52:10\t撮影日時(EXIF)\t補正 -1分41秒：元の日時 2023/10/06 22:53:51"))
        << messages.shown[1].detailLines().toStdString();
}
