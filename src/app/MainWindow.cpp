// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"

#include "app/Application.h"
#include "app/ExtensionBoxes.h"
#include "settings/FavouriteFolder.h"
#include "text/AttributeText.h"
#include "widgets/TextWindow.h"
#include "database/Compaction.h"
#include "app/CameraClockWindow.h"
#include "dates/CameraSurvey.h"
#include "maintenance/LogView.h"
#include "maintenance/Maintenance.h"
#include "platform/IsolatedReader.h"
#include "platform/MessageBoxes.h"
#include "text/Messages.h"
#include "database/NameDatabase.h"
#include "rename/Progress.h"
#include "rename/Recovery.h"
#include "rename/RenameSession.h"
#include "widgets/BusyScope.h"
#include "widgets/FolderLists.h"
#include "ui_MainWindow.h"
#include "widgets/WindowLook.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QCheckBox>
#include <QSettings>
#include <QTimeEdit>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <functional>
#include <optional>
#include <utility>

namespace pelmora {

namespace {

const QString kShotDate = text::operationName(Operation::ShotDate);
const QString kNewNumber = text::operationName(Operation::NewNumber);
const QString kKeepExisting = text::operationName(Operation::KeepExisting);
const QString kNewAndExisting = text::operationName(Operation::NewAndExisting);
const QString kReplaceText = text::operationName(Operation::ReplaceText);
const QString kAppendText = text::operationName(Operation::AppendText);
const QString kUndo = text::operationName(Operation::Undo);
using text::kAttributesEntry, text::kClearLogEntry, text::kCompactEntry, text::kEndEntry, text::kNumberingEntry,
    text::kRegisterDriveEntry, text::kShowLogEntry;

// The start folder: the root of the system drive.
const QString kStartFolder = QDir::rootPath();

// Where the companions check box and the hour a day starts are kept for the next start.
const QString kCompanionsKey = QStringLiteral("MainWindow/companions");
const QString kDayStartKey = QStringLiteral("MainWindow/dayStart");
const QString kMovieZoneKey = QStringLiteral("MainWindow/movieZone");

} // namespace

QStringList operationListEntries()
{
    return {kShotDate, kNewNumber, kKeepExisting, kNewAndExisting, kReplaceText, kCompactEntry, kAttributesEntry,
            kAppendText, kShowLogEntry, kNumberingEntry, kRegisterDriveEntry, kUndo, kEndEntry};
}

MainWindow::MainWindow(Application &app, QWidget *parent)
    : QWidget(parent)
    , app_(app)
    , services_(app.services())
{
    buildControls();
    startUp();
    fitIntoScreen(this);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildControls()
{
    Ui::MainWindow ui;
    ui.setupUi(this);
    useLightGreenBackground(this);
    Cmb_Fnc = ui.Cmb_Fnc;
    Cmd_Fnc = ui.Cmd_Fnc;
    Extention_Picture = ui.Extention_Picture;
    Extention_Movie = ui.Extention_Movie;
    Extention_Clear = ui.Extention_Clear;
    Cmd_Log = ui.Cmd_Log;
    Cmd_Zokusei = ui.Cmd_Zokusei;
    Cmd_Saitekika = ui.Cmd_Saitekika;
    Command1 = ui.Command1;
    Cmd_DriveChange = ui.Cmd_DriveChange;
    Cmd_End = ui.Cmd_End;
    Drive1 = ui.Drive1;
    Dir1 = ui.Dir1;
    File1 = ui.File1;
    Label1 = ui.Label1;
    Cmd_Stop = ui.Cmd_Stop;
    Chk_Companions = ui.Chk_Companions;
    // Kept in DATA from one start to the next.
    const QString settings = settingsFile();
    Chk_Companions->setChecked(QSettings(settings, QSettings::IniFormat).value(kCompanionsKey, true).toBool());
    connect(Chk_Companions, &QCheckBox::toggled, this, [settings](bool on) {
        QSettings(settings, QSettings::IniFormat).setValue(kCompanionsKey, on);
    });
    Time_DayStart = ui.Time_DayStart;
    Time_DayStart->setTime(QSettings(settings, QSettings::IniFormat).value(kDayStartKey, QTime(0, 0)).toTime());
    connect(Time_DayStart, &QTimeEdit::timeChanged, this, [settings](QTime start) {
        QSettings(settings, QSettings::IniFormat).setValue(kDayStartKey, start);
    });
    Cmd_CameraClocks = ui.Cmd_CameraClocks;
    Label2 = ui.Label2;
    Text1 = ui.Text1;
    Text2 = ui.Text2;
    Text3 = ui.Text3;
    Option1 = ui.Option1;
    Option2 = ui.Option2;
    Option3 = ui.Option3;
    Option4 = ui.Option4;
    ProgressBar1 = ui.ProgressBar1;
    for (QPushButton *button : findChildren<QPushButton *>())
        clickOnEnter(button);
    buildHelpMenu();

    // The twenty boxes share one name, so they are made here, and reached
    // by Tab between the file list and the Pre Text.
    extensionBoxes_ = new ExtensionBoxes(this);
    extensionBoxes_->setTexts(pictureExtensions());
    QWidget *previous = File1;
    for (int i = 0; i < kExtensionBoxCount; ++i) {
        ui.extensionGrid->addWidget(extensionBoxes_->box(i), i / 10, i % 10);
        setTabOrder(previous, extensionBoxes_->box(i));
        previous = extensionBoxes_->box(i);
    }
    setTabOrder(previous, Text1);

    Text3->setText(QStringLiteral("1"));
    // Wide enough for a typical text ("-Mov", "_Tokyo") and a long number.
    for (QLineEdit *text : {Text1, Text2})
        text->setMinimumWidth(text->fontMetrics().horizontalAdvance(QStringLiteral("_Tokyo-Mov")) + 16);
    Text3->setMinimumWidth(Text3->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16);
    Text3->installEventFilter(this);
    Option1->setChecked(true);

    ProgressBar1->setRange(0, 100);
    // Its place is kept while it is hidden, so that nothing moves when a run shows it.
    for (QWidget *shownInARun : {static_cast<QWidget *>(ProgressBar1), static_cast<QWidget *>(Cmd_Stop)}) {
        QSizePolicy keepPlace = shownInARun->sizePolicy();
        keepPlace.setRetainSizeWhenHidden(true);
        shownInARun->setSizePolicy(keepPlace);
        shownInARun->hide();
    }

    connect(Cmd_Fnc, &QPushButton::clicked, this, [this] { dispatch(Cmb_Fnc->currentText()); });
    connect(Cmd_Log, &QPushButton::clicked, this, [this] { runShortcut(kShowLogEntry); });
    connect(Cmd_Zokusei, &QPushButton::clicked, this, [this] { runShortcut(kAttributesEntry); });
    connect(Cmd_Saitekika, &QPushButton::clicked, this, [this] { runShortcut(kCompactEntry); });
    connect(Cmd_End, &QPushButton::clicked, this, [this] { services_.endProgram(); });
    connect(Cmd_DriveChange, &QPushButton::clicked, this, &MainWindow::driveChange);
    connect(Cmd_CameraClocks, &QPushButton::clicked, this, &MainWindow::showCameraClocks);
    connect(Extention_Clear, &QPushButton::clicked, this, &MainWindow::clearInputs);
    connect(Extention_Picture, &QPushButton::clicked, this,
            [this] { applyPreset(pictureExtensions(), QString()); });
    connect(Extention_Movie, &QPushButton::clicked, this,
            [this] { applyPreset(movieExtensions(), QStringLiteral("-Mov")); });
    connect(Dir1, &FolderList::pathChanged, this, &MainWindow::folderChanged);
    connect(Drive1, &DriveList::driveChosen, this, [this](const QString &root) { Dir1->setPath(root); });
}

// What the program is and under which licence, where desktop programs keep
// it: a Help menu above the window's controls, not the operation list.
void MainWindow::buildHelpMenu()
{
    auto *menuBar = new QMenuBar(this);
    QMenu *help = menuBar->addMenu(text::kHelpMenu);
    QAction *about = help->addAction(text::kAboutEntry);
    about->setObjectName(QStringLiteral("Mnu_About"));
    connect(about, &QAction::triggered, this, [this] {
        services_.messages->show(text::aboutText(), Buttons::Ok, Icon::Information, text::kAboutTitle);
    });
    connect(help->addAction(text::kAboutQtEntry), &QAction::triggered, qApp, &QApplication::aboutQt);
    layout()->setMenuBar(menuBar);
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
    // The folder with a separator after it; the root already ends in one.
    Label1->setText(QDir::toNativeSeparators(path.endsWith(u'/') ? path : path + u'/'));
    File1->setFolder(path);
    Label2->setText(QStringLiteral("Files:") + QString::number(File1->entryCount()));
}

void MainWindow::refreshFileList()
{
    File1->reread();
    Label2->setText(QStringLiteral("Files:") + QString::number(File1->entryCount()));
}

bool MainWindow::chooseFolder(const QString &folder)
{
    return Dir1->setPath(folder);
}

QString MainWindow::settingsFile() const
{
    return services_.dataFolder + QStringLiteral("/Pelmora.ini");
}

QVariant MainWindow::settingsValue(const QString &key) const
{
    return QSettings(settingsFile(), QSettings::IniFormat).value(key);
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
    inputs.companions = Chk_Companions->isChecked();
    inputs.dayStart = Time_DayStart->time();
    // A zone that no longer reads (a zone name this system lacks) asks for the photos' zone alone.
    if (!chooseMovieZone(settingsValue(kMovieZoneKey).toString(), inputs.corrections))
        chooseMovieZone(QStringLiteral("photos"), inputs.corrections);
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
    // What the boxes show when an operation starts is what it runs with.
    extensionBoxes_->closeGaps();
    const std::pair<QString, std::function<void()>> table[] = {
        {kShotDate, [this] { Fnc_ShotDateConfirm(); }},
        {kNewNumber, [this] { Fnc_RenameNewNumber(); }},
        {kKeepExisting, [this] { Fnc_RenameKeepExisting(); }},
        {kNewAndExisting, [this] { Fnc_RenameNewAndExisting(); }},
        {kReplaceText, [this] { Fnc_ReplaceText(); }},
        {kCompactEntry, [this] { Fnc_CompactDatabase(); }},
        {kClearLogEntry, [this] { Fnc_ClearLog(); }},
        {kAttributesEntry, [this] { Fnc_ShowAttributes(); }},
        {kAppendText, [this] { Fnc_AppendText(); }},
        {kShowLogEntry, [this] { showLogView(); }},
        {kNumberingEntry, [this] { openNumbering(); }},
        {kRegisterDriveEntry, [this] { Fnc_RegisterDrive(); }},
        {kUndo, [this] { Fnc_Undo(); }},
        {kEndEntry, [this] { services_.endProgram(); }},
    };
    for (const auto &[text, action] : table) {
        if (text == operationText) {
            action();
            return;
        }
    }
    services_.messages->show(text::kNoSuchOperation, Buttons::Ok, Icon::None);
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
    if (const std::optional<Failure> error = compactDatabase(services_.dataFolder))
        showCompactionError(*error);
}

void MainWindow::showCompactionError(const Failure &error)
{
    MessageBoxes &messages = *services_.messages;
    messages.show(text::compactionError(error), Buttons::Ok, Icon::Exclamation,
                  text::compactionErrorTitle(objectName()));
    if (error.kind == Failure::Kind::InUse)
        messages.show(text::kAccessRestricted, Buttons::Ok, Icon::Information, text::kAccessRestrictedTitle);
}

void MainWindow::Fnc_ClearLog()
{
    app_.closeDatabase();
    const ClearLogOutcome outcome = clearLog(services_.dataFolder, *services_.clock);
    if (!outcome.cleared) {
        services_.messages->show(text::kLogNotCleared, Buttons::Ok, Icon::None);
        return;
    }
    if (outcome.compaction)
        showCompactionError(*outcome.compaction);
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
        attributes = attributeText(readAttributes(*file, IsolatedPropertyReader().read(*file), NameDatabase::clockOffsetsIn(services_.dataFolder, *services_.clock)));
    }
    TextWindow window(attributes, this);
    showModal(window);
}

void MainWindow::Fnc_RegisterDrive()
{
    const QString folder = Dir1->path();
    if (!confirm(text::registerQuestion(folder), text::kConfirmTitle, {}))
        return;
    if (const std::optional<Failure> failure = favourite::store(services_.dataFolder, folder)) {
        services_.messages->show(text::registerFailed(*failure), Buttons::Ok, Icon::Critical,
                                 text::kRegisterErrorTitle);
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
        services_.messages->show(text::databaseUnreadable(error.failure()), Buttons::Ok, Icon::Critical,
                                 text::kDatabaseErrorTitle);
    }
}

void MainWindow::showCameraClocks()
{
    try {
        NameDatabase database(services_.dataFolder, *services_.clock);
        std::vector<CameraSummary> cameras;
        {
            BusyScope busy(this);
            IsolatedPropertyReader reader;
            cameras = camerasOf(Dir1->path(), reader, database.clockOffsets());
        }
        CameraClockWindow window(Dir1->path(), std::move(cameras), settingsValue(kMovieZoneKey).toString(),
                                 *services_.messages, this);
        showModal(window);
        if (window.result() != QDialog::Accepted)
            return;
        database.setClockOffsets(window.changedOffsets());
        QSettings(settingsFile(), QSettings::IniFormat).setValue(kMovieZoneKey, window.movieZone());
    } catch (const DatabaseError &error) {
        services_.messages->show(text::databaseUnavailable(error.failure()), Buttons::Ok, Icon::Critical,
                                 text::kDatabaseErrorTitle);
    }
}

void MainWindow::openNumbering()
{
    app_.showNumbering();
}

} // namespace pelmora
