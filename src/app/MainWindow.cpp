#include "app/MainWindow.h"

#include "app/ExtensionBoxes.h"
#include "app/FolderLists.h"
#include "platform/MessageBoxes.h"
#include "rename/Messages.h"
#include "rename/NameDatabase.h"
#include "rename/Progress.h"
#include "rename/Recovery.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <functional>
#include <optional>
#include <utility>

namespace pelmora {

namespace {

const QString kShotDate = QStringLiteral("ファイル名変換(撮影日時)");
const QString kNewNumber = QStringLiteral("ファイル名変換(新規付番)");
const QString kKeepExisting = QStringLiteral("ファイル名変換(既存温存)");
const QString kNewAndExisting = QStringLiteral("ファイル名変換(新規+既存)");
const QString kReplaceText = QStringLiteral("ファイル名文字列置換");
const QString kCompact = QStringLiteral("データベース最適化");
const QString kClearLog = QStringLiteral("DBログ削除(初期化)");
const QString kAttributes = QStringLiteral("属性表示");
const QString kAppendText = QStringLiteral("Text追記");
const QString kShowLog = QStringLiteral("LOGの表示");
const QString kNumbering = QStringLiteral("フォルダ附番");
const QString kRegisterDrive = QStringLiteral("Driveボタン登録");
const QString kEnd = QStringLiteral("終了");

// The start folder: the root of the system drive.
const QString kStartFolder = QDir::rootPath();

// Swallows the user's input while an operation runs, so that nothing typed
// or clicked meanwhile starts anything or reaches the closing box later.
class InputBlocker final : public QObject {
public:
    InputBlocker() { qApp->installEventFilter(this); }
    ~InputBlocker() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Close:
            return true;
        default:
            return false;
        }
    }
};

// Repaints the window while an operation runs on the UI thread; the user's
// input is blocked from show() to hide().
class WindowProgress final : public ProgressSink {
public:
    explicit WindowProgress(QProgressBar *bar)
        : bar_(bar)
    {
    }
    void show() override
    {
        blocker_.emplace();
        bar_->show();
        repaint();
    }
    void setValue(int percent) override
    {
        if (percent == bar_->value())
            return;
        bar_->setValue(percent);
        repaint();
    }
    void hide() override
    {
        bar_->hide();
        repaint(); // input still waiting is swallowed too
        blocker_.reset();
    }

private:
    static void repaint() { QCoreApplication::processEvents(); }
    QProgressBar *bar_;
    std::optional<InputBlocker> blocker_;
};

QPushButton *button(const char *name, const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

QLineEdit *lineEdit(const char *name, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

QRadioButton *option(const char *name, const QString &caption, QWidget *parent)
{
    auto *radio = new QRadioButton(caption, parent);
    radio->setObjectName(QLatin1String(name));
    return radio;
}

QVBoxLayout *captioned(const QString &caption, QWidget *field)
{
    auto *column = new QVBoxLayout;
    column->setSpacing(2);
    column->addWidget(new QLabel(caption, field->parentWidget()));
    column->addWidget(field);
    return column;
}

} // namespace

QStringList operationListEntries()
{
    return {kShotDate, kNewNumber, kKeepExisting, kNewAndExisting, kReplaceText, kCompact,
            kAttributes, kAppendText, kShowLog, kNumbering, kRegisterDrive, kEnd};
}

MainWindow::MainWindow(AppServices services, QWidget *parent)
    : QWidget(parent)
    , services_(std::move(services))
{
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(QStringLiteral("Pelmora from Quillet"));
    QPalette background = palette();
    background.setColor(QPalette::Window, kLightGreen);
    setPalette(background);
    setAutoFillBackground(true);
    buildControls();
    buildLayout();
    startUp();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildControls()
{
    Cmb_Fnc = new QComboBox(this);
    Cmb_Fnc->setObjectName(QStringLiteral("Cmb_Fnc"));
    Cmb_Fnc->setEditable(false);
    Cmd_Fnc = button("Cmd_Fnc", QStringLiteral("Go"), this);
    Extention_Picture = button("Extention_Picture", QStringLiteral("Picture"), this);
    Extention_Movie = button("Extention_Movie", QStringLiteral("Movie"), this);
    Extention_Clear = button("Extention_Clear", QStringLiteral("Clear"), this);
    Cmd_Log = button("Cmd_Log", QStringLiteral("LOG"), this);
    Cmd_Zokusei = button("Cmd_Zokusei", QStringLiteral("属性"), this);
    Cmd_Saitekika = button("Cmd_Saitekika", QStringLiteral("最適化"), this);
    Command1 = button("Command1", QString(), this);
    Cmd_DriveChange = button("Cmd_DriveChange", QStringLiteral("Drive"), this);
    Cmd_End = button("Cmd_End", QStringLiteral("終了"), this);

    Drive1 = new DriveList(this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Dir1 = new FolderList(this);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    File1 = new FileList(this);
    File1->setObjectName(QStringLiteral("File1"));
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));

    extensionBoxes_ = new ExtensionBoxes(this);
    extensionBoxes_->setTexts(pictureExtensions());
    Text1 = lineEdit("Text1", this);
    Text2 = lineEdit("Text2", this);
    Text3 = lineEdit("Text3", this);
    Text3->setText(QStringLiteral("1"));
    Text3->installEventFilter(this);
    Option1 = option("Option1", QStringLiteral("YYMMDD + Text"), this);
    Option2 = option("Option2", QStringLiteral("YYYYMMDD + Text"), this);
    Option3 = option("Option3", QStringLiteral("YYMMDD + OrgText"), this);
    Option4 = option("Option4", QStringLiteral("YYMMDD + Text + Long"), this);
    Option1->setChecked(true);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->hide();

    connect(Cmd_Fnc, &QPushButton::clicked, this, [this] { dispatch(Cmb_Fnc->currentText()); });
    connect(Cmd_Log, &QPushButton::clicked, this, [this] { runShortcut(kShowLog); });
    connect(Cmd_Zokusei, &QPushButton::clicked, this, [this] { runShortcut(kAttributes); });
    connect(Cmd_Saitekika, &QPushButton::clicked, this, [this] { runShortcut(kCompact); });
    connect(Cmd_End, &QPushButton::clicked, this, [this] { services_.endProgram(); });
    connect(Extention_Clear, &QPushButton::clicked, this, &MainWindow::clearInputs);
    connect(Extention_Picture, &QPushButton::clicked, this,
            [this] { applyPreset(pictureExtensions(), QString()); });
    connect(Extention_Movie, &QPushButton::clicked, this,
            [this] { applyPreset(movieExtensions(), QStringLiteral("-Mov")); });
    connect(Dir1, &FolderList::pathChanged, this, &MainWindow::folderChanged);
    connect(Drive1, &DriveList::driveChosen, this, [this](const QString &root) { Dir1->setPath(root); });
}

void MainWindow::buildLayout()
{
    auto *topRow = new QHBoxLayout;
    topRow->addWidget(Cmb_Fnc, 1);
    topRow->addWidget(Cmd_Fnc);

    auto *presetRow = new QHBoxLayout;
    for (QPushButton *b : {Extention_Picture, Extention_Movie, Extention_Clear})
        presetRow->addWidget(b);
    presetRow->addStretch();

    auto *shortcutRow = new QHBoxLayout;
    for (QPushButton *b : {Cmd_Log, Cmd_Zokusei, Cmd_Saitekika, Command1, Cmd_DriveChange, Cmd_End})
        shortcutRow->addWidget(b);

    auto *extensionGrid = new QGridLayout;
    extensionGrid->setSpacing(2);
    for (int i = 0; i < kExtensionBoxCount; ++i)
        extensionGrid->addWidget(extensionBoxes_->box(i), i / 10, i % 10);

    auto *options = new QGridLayout;
    options->addWidget(Option1, 0, 0);
    options->addWidget(Option2, 1, 0);
    options->addWidget(Option3, 0, 1);
    options->addWidget(Option4, 1, 1);

    auto *textsRow = new QHBoxLayout;
    textsRow->addLayout(captioned(QStringLiteral("Pre Text"), Text1));
    textsRow->addLayout(captioned(QStringLiteral("Post Text"), Text2));
    textsRow->addLayout(captioned(QStringLiteral("Start Number"), Text3));
    textsRow->addLayout(options);

    auto *left = new QVBoxLayout;
    left->addLayout(topRow);
    left->addLayout(presetRow);
    left->addLayout(shortcutRow);
    left->addWidget(Drive1);
    left->addWidget(Dir1, 1);
    left->addWidget(Label2);
    left->addLayout(extensionGrid);
    left->addLayout(textsRow);
    left->addWidget(ProgressBar1);

    auto *columns = new QHBoxLayout;
    columns->addLayout(left, 3);
    columns->addWidget(File1, 2);

    auto *root = new QVBoxLayout(this);
    root->addLayout(columns, 1);
    root->addWidget(Label1);
    resize(900, 640);
}

void MainWindow::startUp()
{
    Dir1->setPath(kStartFolder);
    Drive1->showDriveOf(Dir1->path());
    Cmb_Fnc->addItems(operationListEntries());
    Cmb_Fnc->setCurrentIndex(0);
}

void MainWindow::folderChanged(const QString &path)
{
    Label1->setText(path + QDir::separator());
    File1->setFolder(path);
    Label2->setText(QStringLiteral("Files:") + QString::number(File1->entryCount()));
}

bool MainWindow::chooseFolder(const QString &folder)
{
    return Dir1->setPath(folder);
}

NamingInputs MainWindow::readInputs() const
{
    NamingInputs inputs;
    inputs.folder = Dir1->path();
    inputs.fileCount = File1->entryCount();
    inputs.extensions = extensionBoxes_->texts();
    inputs.option = Option2->isChecked()   ? NamingOption::Option2
                    : Option3->isChecked() ? NamingOption::Option3
                    : Option4->isChecked() ? NamingOption::Option4
                                           : NamingOption::Option1;
    inputs.preText = Text1->text();
    inputs.postText = Text2->text();
    inputs.startNumber = Text3->text();
    return inputs;
}

void MainWindow::clearInputs()
{
    extensionBoxes_->clear();
    Text1->clear();
    Text2->clear();
    Text3->setText(QStringLiteral("1"));
}

void MainWindow::applyPreset(const std::array<QString, kExtensionBoxCount> &extensions, const QString &preText)
{
    clearInputs();
    Text1->setText(preText);
    extensionBoxes_->setTexts(extensions);
}

void MainWindow::runShortcut(const QString &operationText)
{
    Cmb_Fnc->setCurrentText(operationText);
    Cmd_Fnc->click();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Text3 && event->type() == QEvent::FocusOut && isUserFocusChange(event))
        checkStartNumber();
    return QWidget::eventFilter(watched, event);
}

void MainWindow::checkStartNumber()
{
    if (checkingStartNumber_ || isNumericText(Text3->text()))
        return;
    checkingStartNumber_ = true;
    services_.messages->show(text::notNumericStartNumber(Text3->text()), Buttons::Ok, Icon::Critical,
                             text::kNotNumericTitle);
    Text3->setFocus(Qt::OtherFocusReason);
    checkingStartNumber_ = false;
}

void MainWindow::dispatch(const QString &operationText)
{
    const std::pair<QString, std::function<void()>> table[] = {
        {kShotDate, [this] { Fnc_ShotDateConfirm(); }},
        {kNewNumber, [this] { confirmThenRun(kNewNumber, &MainWindow::Fnc_RenameNewNumber); }},
        {kKeepExisting, [this] { confirmThenRun(kKeepExisting, &MainWindow::Fnc_RenameKeepExisting); }},
        {kNewAndExisting, [this] { confirmThenRun(kNewAndExisting, &MainWindow::Fnc_RenameNewAndExisting); }},
        {kReplaceText, [this] { confirmThenRun(kReplaceText, &MainWindow::Fnc_ReplaceText); }},
        {kCompact, [this] { Fnc_CompactDatabase(); }},
        {kClearLog, [this] { Fnc_ClearLog(); }},
        {kAttributes, [this] { Fnc_ShowAttributes(); }},
        {kAppendText, [this] { confirmThenRun(kAppendText, &MainWindow::Fnc_AppendText); }},
        {kShowLog, [this] { showLogView(); }},
        {kNumbering, [this] { openNumbering(); }},
        {kRegisterDrive, [this] { Fnc_RegisterDrive(); }},
        {kEnd, [this] { services_.endProgram(); }},
    };
    for (const auto &[text, action] : table) {
        if (text == operationText) {
            action();
            return;
        }
    }
    services_.messages->show(QStringLiteral("その操作は存在しません。"), Buttons::Ok, Icon::None);
}

bool MainWindow::confirmRename(const QString &title)
{
    MessageBoxes &messages = *services_.messages;
    if (File1->entryCount() == 0) {
        messages.show(QStringLiteral("フォルダを選択してください"), Buttons::Ok, Icon::Critical,
                      QStringLiteral("フォルダ未選択"));
        return false;
    }
    const QString question = QStringLiteral("フォルダ内のファイル名を変更しますか？\r\r全 ")
        + QString::number(File1->entryCount()) + QStringLiteral(" 件\r\rフォルダ名\r") + Dir1->path();
    if (messages.show(question, Buttons::YesNoCancel, Icon::Information, title) == Answer::Yes)
        return true;
    messages.show(QStringLiteral("実施していません"), Buttons::Ok, Icon::None, QStringLiteral("未実施"));
    return false;
}

void MainWindow::confirmThenRun(const QString &operationText, void (MainWindow::*routine)())
{
    if (!confirmRename(QStringLiteral("実施確認【") + operationText + QStringLiteral("】")))
        return;
    (this->*routine)();
    File1->reread();
}

void MainWindow::Fnc_ShotDateConfirm()
{
    if (!confirmRename(QStringLiteral("実施確認")))
        return;
    Fnc_RenameShotDate();
    File1->reread();
}

NameDatabase *MainWindow::database()
{
    // Held open from the first operation until the window closes.
    if (!database_) {
        try {
            database_ = std::make_unique<NameDatabase>(services_.dataFolder, *services_.clock);
        } catch (const DatabaseError &error) {
            services_.messages->show(text::databaseUnavailable(error), Buttons::Ok, Icon::Critical,
                                     text::kDatabaseErrorTitle);
        }
    }
    return database_.get();
}

void MainWindow::offerRecovery()
{
    // A short-lived connection: the window holds none until its first operation.
    try {
        NameDatabase db(services_.dataFolder, *services_.clock);
        const StrandedFiles stranded = findStrandedFiles(db);
        if (stranded.files.empty())
            return;
        MessageBoxes &messages = *services_.messages;
        if (messages.show(text::strandedQuestion(stranded), Buttons::YesNo, Icon::Exclamation,
                          text::kStrandedTitle) != Answer::Yes)
            return;
        messages.show(text::restoreSummary(restoreFormerNames(stranded)), Buttons::Ok, Icon::None, text::kDone);
    } catch (const DatabaseError &) {
        // Start-up goes on without it; the first operation reports the database.
    }
}

void MainWindow::runRename(Operation operation)
{
    const NamingInputs inputs = readInputs();
    const OperationOutcome refusal = RenameOperations::check(operation, inputs);
    using Status = OperationOutcome::Status;
    if (refusal.status == Status::StartNumberInvalid) {
        services_.messages->show(refusal.message, Buttons::Ok, Icon::Critical, text::kNotNumericTitle);
        Text3->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (refusal.status == Status::FolderMissing) {
        services_.messages->show(refusal.message, Buttons::Ok, Icon::Critical, text::kFolderErrorTitle);
        return;
    }
    NameDatabase *db = database();
    if (!db)
        return;
    WindowProgress progress(ProgressBar1);
    RenameOperations operations(*services_.clock, &progress);
    const OperationOutcome outcome = operations.run(operation, inputs, *db);
    if (outcome.status == Status::DatabaseUnavailable) {
        database_.reset();
        services_.messages->show(outcome.message, Buttons::Ok, Icon::Critical, text::kDatabaseErrorTitle);
        return;
    }
    services_.messages->show(outcome.message, Buttons::Ok, Icon::None, text::kDone);
}

void MainWindow::Fnc_RenameShotDate() { runRename(Operation::ShotDate); }
void MainWindow::Fnc_RenameNewNumber() { runRename(Operation::NewNumber); }
void MainWindow::Fnc_RenameKeepExisting() { runRename(Operation::KeepExisting); }
void MainWindow::Fnc_RenameNewAndExisting() { runRename(Operation::NewAndExisting); }
void MainWindow::Fnc_ReplaceText() { runRename(Operation::ReplaceText); }
void MainWindow::Fnc_AppendText() { runRename(Operation::AppendText); }

// Operations that arrive with their own windows and files later.
void MainWindow::Fnc_CompactDatabase() {}
void MainWindow::Fnc_ClearLog() {}
void MainWindow::Fnc_ShowAttributes() {}
void MainWindow::Fnc_RegisterDrive() {}
void MainWindow::showLogView() {}
void MainWindow::openNumbering() {}

} // namespace pelmora
