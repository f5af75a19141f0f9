#include "app/MainWindow.h"

#include "app/Application.h"
#include "app/ExtensionBoxes.h"
#include "app/FavouriteFolder.h"
#include "attributes/AttributeText.h"
#include "attributes/TextWindow.h"
#include "maintenance/Compaction.h"
#include "maintenance/LogView.h"
#include "platform/IsolatedReader.h"
#include "platform/MessageBoxes.h"
#include "text/Messages.h"
#include "rename/NameDatabase.h"
#include "rename/Progress.h"
#include "rename/Recovery.h"
#include "widgets/BusyScope.h"
#include "widgets/FolderLists.h"
#include "widgets/WindowLook.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
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

const QString kShotDate = rulesOf(Operation::ShotDate).listText;
const QString kNewNumber = rulesOf(Operation::NewNumber).listText;
const QString kKeepExisting = rulesOf(Operation::KeepExisting).listText;
const QString kNewAndExisting = rulesOf(Operation::NewAndExisting).listText;
const QString kReplaceText = rulesOf(Operation::ReplaceText).listText;
const QString kAppendText = rulesOf(Operation::AppendText).listText;
const QString kUndo = rulesOf(Operation::Undo).listText;
const QString kCompact = QStringLiteral("データベース最適化");
const QString kClearLog = QStringLiteral("DBログ削除(初期化)");
const QString kAttributes = QStringLiteral("属性表示");
const QString kShowLog = QStringLiteral("LOGの表示");
const QString kNumbering = QStringLiteral("フォルダ附番");
const QString kRegisterDrive = QStringLiteral("Driveボタン登録");
const QString kEnd = QStringLiteral("終了");

// The start folder: the root of the system drive.
const QString kStartFolder = QDir::rootPath();

// The progress bar of a run; each new value is painted at once.
class WindowProgress final : public ProgressSink {
public:
    explicit WindowProgress(QProgressBar *bar)
        : bar_(bar)
    {
    }
    void show() override
    {
        bar_->show();
        QCoreApplication::processEvents();
    }
    void setValue(int percent) override
    {
        if (percent == bar_->value())
            return;
        bar_->setValue(percent);
        QCoreApplication::processEvents();
    }
    void hide() override { bar_->hide(); }
    void working() override { QCoreApplication::processEvents(); }

private:
    QProgressBar *bar_;
};

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
    return {kShotDate, kNewNumber, kKeepExisting, kNewAndExisting, kReplaceText, kCompact, kAttributes,
            kAppendText, kShowLog, kNumbering, kRegisterDrive, kUndo, kEnd};
}

MainWindow::MainWindow(Application &app, QWidget *parent)
    : QWidget(parent)
    , app_(app)
    , services_(app.services())
{
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(QStringLiteral("Pelmora from Quillet"));
    useLightGreenBackground(this);
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
    Cmd_Fnc = namedButton("Cmd_Fnc", QStringLiteral("Go"), this);
    Extention_Picture = namedButton("Extention_Picture", QStringLiteral("Picture"), this);
    Extention_Movie = namedButton("Extention_Movie", QStringLiteral("Movie"), this);
    Extention_Clear = namedButton("Extention_Clear", QStringLiteral("Clear"), this);
    Cmd_Log = namedButton("Cmd_Log", QStringLiteral("LOG"), this);
    Cmd_Zokusei = namedButton("Cmd_Zokusei", QStringLiteral("属性"), this);
    Cmd_Saitekika = namedButton("Cmd_Saitekika", QStringLiteral("最適化"), this);
    Command1 = namedButton("Command1", QString(), this);
    Cmd_DriveChange = namedButton("Cmd_DriveChange", QStringLiteral("Drive"), this);
    Cmd_End = namedButton("Cmd_End", QStringLiteral("終了"), this);

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
    // Wide enough for a typical text ("-Mov", "_Tokyo") and a long number.
    for (QLineEdit *text : {Text1, Text2})
        text->setMinimumWidth(text->fontMetrics().horizontalAdvance(QStringLiteral("_Tokyo-Mov")) + 16);
    Text3->setMinimumWidth(Text3->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16);
    Text3->installEventFilter(this);
    Option1 = option("Option1", QStringLiteral("YYMMDD + Text"), this);
    Option2 = option("Option2", QStringLiteral("YYYYMMDD + Text"), this);
    Option3 = option("Option3", QStringLiteral("YYMMDD + OrgText"), this);
    Option4 = option("Option4", QStringLiteral("YYMMDD + Text + Long"), this);
    Option1->setChecked(true);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    // Its place is kept while it is hidden, so that nothing moves when a run shows it.
    QSizePolicy keepPlace = ProgressBar1->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    ProgressBar1->setSizePolicy(keepPlace);
    ProgressBar1->hide();

    connect(Cmd_Fnc, &QPushButton::clicked, this, [this] { dispatch(Cmb_Fnc->currentText()); });
    connect(Cmd_Log, &QPushButton::clicked, this, [this] { runShortcut(kShowLog); });
    connect(Cmd_Zokusei, &QPushButton::clicked, this, [this] { runShortcut(kAttributes); });
    connect(Cmd_Saitekika, &QPushButton::clicked, this, [this] { runShortcut(kCompact); });
    connect(Cmd_End, &QPushButton::clicked, this, [this] { services_.endProgram(); });
    connect(Cmd_DriveChange, &QPushButton::clicked, this, &MainWindow::driveChange);
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
    textsRow->addLayout(captioned(QStringLiteral("Pre Text"), Text1), 2);
    textsRow->addLayout(captioned(QStringLiteral("Post Text"), Text2), 2);
    textsRow->addLayout(captioned(QStringLiteral("Start Number"), Text3), 1);
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
    // Wide enough for a typical text ("-Mov", "_Tokyo") and a long number.
    for (QLineEdit *text : {Text1, Text2})
        text->setMinimumWidth(text->fontMetrics().horizontalAdvance(QStringLiteral("_Tokyo-Mov")) + 16);
    Text3->setMinimumWidth(Text3->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16);
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
        {kNewNumber, [this] { Fnc_RenameNewNumber(); }},
        {kKeepExisting, [this] { Fnc_RenameKeepExisting(); }},
        {kNewAndExisting, [this] { Fnc_RenameNewAndExisting(); }},
        {kReplaceText, [this] { Fnc_ReplaceText(); }},
        {kCompact, [this] { Fnc_CompactDatabase(); }},
        {kClearLog, [this] { Fnc_ClearLog(); }},
        {kAttributes, [this] { Fnc_ShowAttributes(); }},
        {kAppendText, [this] { Fnc_AppendText(); }},
        {kShowLog, [this] { showLogView(); }},
        {kNumbering, [this] { openNumbering(); }},
        {kRegisterDrive, [this] { Fnc_RegisterDrive(); }},
        {kUndo, [this] { Fnc_Undo(); }},
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

bool MainWindow::confirm(const QString &question, const QString &title, const QString &details, Buttons buttons)
{
    MessageBoxes &messages = *services_.messages;
    if (messages.show(question, buttons, Icon::Information, title, details) == Answer::Yes)
        return true;
    messages.show(QStringLiteral("実施していません"), Buttons::Ok, Icon::None, QStringLiteral("未実施"));
    return false;
}

bool MainWindow::showRefusal(const OperationOutcome &outcome)
{
    using Status = OperationOutcome::Status;
    MessageBoxes &messages = *services_.messages;
    switch (outcome.status) {
    case Status::Completed:
        return false;
    case Status::StartNumberInvalid:
        messages.show(text::outcomeMessage(outcome), Buttons::Ok, Icon::Critical, text::kNotNumericTitle);
        Text3->setFocus(Qt::OtherFocusReason);
        return true;
    case Status::UnfinishedRun:
        // The files of the run cut short are offered back first.
        messages.show(text::outcomeMessage(outcome), Buttons::Ok, Icon::Exclamation, text::kStrandedTitle);
        app_.offerRecovery(outcome.folder);
        return true;
    case Status::DatabaseUnavailable:
        app_.closeDatabase();
        messages.show(text::outcomeMessage(outcome), Buttons::Ok, Icon::Critical, text::kDatabaseErrorTitle);
        return true;
    case Status::NothingToUndo:
        messages.show(text::outcomeMessage(outcome), Buttons::Ok, Icon::Information, text::kUndoTitle);
        return true;
    case Status::FolderMissing:
    case Status::FolderReadOnly:
    case Status::FolderBusy:
    case Status::StrayTemporaryNames:
    case Status::Stopped:
        break;
    }
    messages.show(text::outcomeMessage(outcome), Buttons::Ok, Icon::Critical, text::kFolderErrorTitle);
    return true;
}

void MainWindow::applyAndReport(RenamePlan plan, NameDatabase &database)
{
    OperationOutcome outcome;
    {
        BusyScope busy;
        WindowProgress progress(ProgressBar1);
        outcome = RenameOperations(*services_.clock, &progress).apply(std::move(plan), database);
    }
    using Status = OperationOutcome::Status;
    if (outcome.status == Status::Completed || outcome.status == Status::Stopped)
        services_.messages->show(text::outcomeMessage(outcome), Buttons::Ok, Icon::None, text::kDone,
                                 text::failureDetails(outcome.plan));
    else
        showRefusal(outcome);
    File1->reread();
}

void MainWindow::runRename(Operation operation, const QString &title)
{
    if (File1->entryCount() == 0) {
        services_.messages->show(QStringLiteral("フォルダを選択してください"), Buttons::Ok, Icon::Critical,
                                 QStringLiteral("フォルダ未選択"));
        return;
    }
    const NamingInputs inputs = readInputs();
    if (showRefusal(RenameOperations::check(operation, inputs)))
        return;
    NameDatabase *db = app_.database();
    if (!db || showRefusal(RenameOperations::checkFolder(inputs.folder, *db)))
        return;
    RenamePlan plan;
    {
        BusyScope busy;
        WindowProgress repaint(ProgressBar1);
        plan = RenameOperations(*services_.clock, &repaint).plan(operation, inputs);
    }
    const QString question = QStringLiteral("フォルダ内のファイル名を変更しますか？\r\r全 ")
        + QString::number(File1->entryCount()) + QStringLiteral(" 件\r\rフォルダ名\r") + Dir1->path();
    if (confirm(question, title, text::planPreview(plan)))
        applyAndReport(std::move(plan), *db);
}

QString MainWindow::confirmationTitle(Operation operation)
{
    return QStringLiteral("実施確認【") + rulesOf(operation).listText + QStringLiteral("】");
}

void MainWindow::Fnc_ShotDateConfirm() { runRename(Operation::ShotDate, QStringLiteral("実施確認")); }
void MainWindow::Fnc_RenameNewNumber() { runRename(Operation::NewNumber, confirmationTitle(Operation::NewNumber)); }
void MainWindow::Fnc_RenameKeepExisting()
{
    runRename(Operation::KeepExisting, confirmationTitle(Operation::KeepExisting));
}
void MainWindow::Fnc_RenameNewAndExisting()
{
    runRename(Operation::NewAndExisting, confirmationTitle(Operation::NewAndExisting));
}
void MainWindow::Fnc_ReplaceText() { runRename(Operation::ReplaceText, confirmationTitle(Operation::ReplaceText)); }
void MainWindow::Fnc_AppendText() { runRename(Operation::AppendText, confirmationTitle(Operation::AppendText)); }

void MainWindow::Fnc_Undo()
{
    NameDatabase *db = app_.database();
    if (!db)
        return;
    OperationOutcome prepared = RenameOperations(*services_.clock).prepareUndo(*db);
    if (showRefusal(prepared))
        return;
    RenamePlan &plan = prepared.plan;
    if (showRefusal(RenameOperations::checkFolder(plan.folder, *db)))
        return;
    const QString question = QStringLiteral("直前の変更を元に戻しますか？\r\r全 ") + QString::number(plan.files.size())
        + QStringLiteral(" 件\r\rフォルダ名\r") + plan.folder;
    if (confirm(question, confirmationTitle(Operation::Undo), text::planPreview(plan), Buttons::YesNo))
        applyAndReport(std::move(plan), *db);
}

void MainWindow::showModal(QDialog &dialog)
{
    if (services_.showModal)
        services_.showModal(dialog);
    else
        dialog.exec();
}

void MainWindow::Fnc_CompactDatabase()
{
    // The window's own connection would make the compaction fail, and the
    // user has no other way to close it: the next operation opens it again.
    app_.closeDatabase();
    const std::optional<CompactionError> error = compactDatabase(services_.dataFolder);
    if (!error)
        return;
    MessageBoxes &messages = *services_.messages;
    messages.show(text::compactionError(*error), Buttons::Ok, Icon::Exclamation,
                  text::compactionErrorTitle(objectName()));
    if (error->inUse)
        messages.show(text::kAccessRestricted, Buttons::Ok, Icon::Information, text::kAccessRestrictedTitle);
}

void MainWindow::Fnc_ClearLog()
{
    NameDatabase *db = app_.database();
    bool cleared = false;
    try {
        if (db) {
            db->empty(Table::FileNameLog);
            cleared = db->count(Table::FileNameLog) == 0;
        }
    } catch (const DatabaseError &) {
        // Reported below as a log that could not be cleared.
    }
    if (!cleared) {
        services_.messages->show(text::kLogNotCleared, Buttons::Ok, Icon::None);
        return;
    }
    Fnc_CompactDatabase();
    services_.messages->show(text::kLogCleared, Buttons::Ok, Icon::None);
}

void MainWindow::Fnc_ShowAttributes()
{
    const std::optional<QString> file = firstFileOf(Dir1->path());
    if (!file) {
        services_.messages->show(text::noFileToShow(Dir1->path()), Buttons::Ok, Icon::Information,
                                 text::kAttributesTitle);
        return;
    }
    QString attributes;
    {
        BusyScope busy;
        IsolatedPropertyReader reader;
        attributes = attributeText(*file, reader);
    }
    TextWindow window(attributes, this);
    showModal(window);
}

void MainWindow::Fnc_RegisterDrive()
{
    const QString folder = Dir1->path();
    if (!confirm(text::registerQuestion(folder), QStringLiteral("実施確認"), QString()))
        return;
    if (const std::optional<QString> cause = favourite::store(services_.dataFolder, folder)) {
        services_.messages->show(text::registerFailed(favourite::fileIn(services_.dataFolder), *cause), Buttons::Ok,
                                 Icon::Critical, QStringLiteral("登録エラー"));
        return;
    }
    services_.messages->show(text::kRegistered, Buttons::Ok, Icon::None);
}

void MainWindow::driveChange()
{
    // A missing or empty file changes nothing. For a folder that is gone,
    // its drive is chosen, as the user would choose it in the drive list.
    const std::optional<QString> folder = favourite::stored(services_.dataFolder);
    if (!folder)
        return;
    if (QFileInfo(*folder).isDir() && Dir1->setPath(*folder))
        Drive1->showDriveOf(Dir1->path());
    else if (const std::optional<QString> root = Drive1->showDriveThatHeld(*folder))
        Dir1->setPath(*root);
}

void MainWindow::showLogView()
{
    try {
        LogView view(services_.dataFolder, *services_.clock, this);
        showModal(view);
    } catch (const DatabaseError &error) {
        services_.messages->show(text::databaseUnreadable(error), Buttons::Ok, Icon::Critical,
                                 text::kDatabaseErrorTitle);
    }
}

void MainWindow::openNumbering()
{
    app_.showNumbering();
}

} // namespace pelmora
