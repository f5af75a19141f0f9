// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/MessageBoxes.h"
#include "rename/NamingInputs.h"
#include "rename/Operations.h"
#include "rename/Plan.h"
#include "widgets/AppServices.h"

#include <QVariant>
#include <QWidget>

#include <memory>

class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimeEdit;

namespace pelmora {

class Application;
class DriveList;
class ExtensionBoxes;
class FileList;
class FolderList;
class NameDatabase;
struct Failure;
class RenameSession;

// The hub: folder and naming inputs, the operation list and its dispatch.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(Application &app, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Runs the operation named by the text, as the run button does.
    void dispatch(const QString &operationText);
    // The naming inputs as the controls hold them now.
    NamingInputs readInputs() const;
    // Reads the folder's files again, after anything changed names.
    void refreshFileList();
    // Points the folder list at a folder (false when it does not exist).
    bool chooseFolder(const QString &folder);

    ExtensionBoxes *extensionBoxes() const { return extensionBoxes_; }

    // The operations of the list.
    void Fnc_ShotDateConfirm();
    void Fnc_RenameNewNumber();
    void Fnc_RenameKeepExisting();
    void Fnc_RenameNewAndExisting();
    void Fnc_ReplaceText();
    void Fnc_AppendText();
    void Fnc_Undo();
    void Fnc_CompactDatabase();
    void Fnc_ClearLog();
    void Fnc_ShowAttributes();
    void Fnc_RegisterDrive();
    void showLogView();
    // DATA/Pelmora.ini, where the window's choices are kept from one start to the next.
    QString settingsFile() const;
    QVariant settingsValue(const QString &key) const;
    // The cameras of the folder and their clocks; the zone of movies.
    void showCameraClocks();
    void openNumbering();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildHelpMenu();
    void startUp();
    void folderChanged(const QString &path);
    void clearInputs();
    void applyPreset(const std::array<QString, kExtensionBoxCount> &extensions, const QString &preText);
    void runShortcut(const QString &operationText);
    // Goes to the folder stored by "Driveボタン登録".
    void driveChange();
    void showModal(QDialog &dialog);
    void checkStartNumber();

    // Checks, plans, asks with the plan as details, applies and reports.
    void runRename(Operation operation, const QString &title);
    void applyAndReport(RenameSession &session);
    void showCompactionError(const Failure &error);
    // Anything but Yes is answered with "実施していません".
    bool confirm(const QString &question, const QString &title, const DetailTable &details,
                 Buttons buttons = Buttons::YesNoCancel);
    // Shows why an operation cannot go on; false when nothing stops it.
    bool showRefusal(const OperationOutcome &outcome);
    static QString confirmationTitle(Operation operation);

    Application &app_;
    const AppServices &services_;

    QComboBox *Cmb_Fnc = nullptr;
    QPushButton *Cmd_Fnc = nullptr;
    QPushButton *Extention_Picture = nullptr;
    QPushButton *Extention_Movie = nullptr;
    QPushButton *Extention_Clear = nullptr;
    QPushButton *Cmd_Log = nullptr;
    QPushButton *Cmd_Zokusei = nullptr;
    QPushButton *Cmd_Saitekika = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Cmd_DriveChange = nullptr;
    QPushButton *Cmd_End = nullptr;
    QPushButton *Cmd_Stop = nullptr; // shown while a run can be stopped
    QCheckBox *Chk_Companions = nullptr;
    QTimeEdit *Time_DayStart = nullptr;
    QPushButton *Cmd_CameraClocks = nullptr;
    DriveList *Drive1 = nullptr;
    FolderList *Dir1 = nullptr;
    FileList *File1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    ExtensionBoxes *extensionBoxes_ = nullptr;
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLineEdit *Text3 = nullptr;
    QRadioButton *Option1 = nullptr;
    QRadioButton *Option2 = nullptr;
    QRadioButton *Option3 = nullptr;
    QRadioButton *Option4 = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    bool checkingStartNumber_ = false;
};

// The entries of the operation list, in their order.
QStringList operationListEntries();

} // namespace pelmora
