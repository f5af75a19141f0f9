// SPDX-License-Identifier: GPL-3.0-or-later
#include "numbering/NumberingWindow.h"

#include "numbering/FolderNumbering.h"
#include "numbering/NumberingExport.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "database/NameDatabase.h"
#include "text/Messages.h"
#include "ui_NumberingWindow.h"
#include "widgets/BusyScope.h"
#include "widgets/FolderLists.h"
#include "widgets/WindowLook.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>

namespace pelmora {

NumberingWindow::NumberingWindow(const AppServices &services, Links links, QWidget *parent)
    : QWidget(parent)
    , services_(services)
    , links_(std::move(links))
{
    Ui::NumberingWindow ui;
    ui.setupUi(this);
    useLightGreenBackground(this);
    Drive1 = ui.Drive1;
    Dir1 = ui.Dir1;
    Txt_Msg = ui.Txt_Msg;
    Cmd_Numbering = ui.Cmd_Numbering;
    Cmd_Excel = ui.Cmd_Excel;
    Cmd_End = ui.Cmd_End;
    for (QPushButton *button : {Cmd_Numbering, Cmd_Excel, ui.Command3, ui.Command4, Cmd_End})
        clickOnEnter(button);
    Txt_Msg->setText(text::kNumberingIdle);

    connect(Cmd_Numbering, &QPushButton::clicked, this, &NumberingWindow::RunNumbering);
    connect(Cmd_Excel, &QPushButton::clicked, this, &NumberingWindow::exportWorkbook);
    connect(Cmd_End, &QPushButton::clicked, this, [this] { links_.backToMain(); });
    connect(Drive1, &DriveList::driveChosen, this, [this](const QString &root) { Dir1->setPath(root); });
    Dir1->setPath(QDir::rootPath());
    Drive1->showDriveOf(Dir1->path());
    fitIntoScreen(this);
}

bool NumberingWindow::chooseFolder(const QString &folder)
{
    return Dir1->setPath(folder);
}

void NumberingWindow::setStatus(const QString &text)
{
    Txt_Msg->setText(text);
    QCoreApplication::processEvents();
}

void NumberingWindow::RunNumbering()
{
    NameDatabase *database = links_.database();
    if (!database)
        return;
    NumberingResult result;
    try {
        BusyScope busy;
        QElapsedTimer sinceRepaint;
        sinceRepaint.start();
        // The status line is repainted a few times a second, not once per file.
        result = FolderNumbering(*database, [&](int number) {
                     if (sinceRepaint.elapsed() >= 50) {
                         setStatus(text::numberingFile(number));
                         sinceRepaint.restart();
                     }
                 }).run(Dir1->path());
    } catch (const DatabaseError &error) {
        services_.messages->show(text::databaseUnavailable(error.failure()), Buttons::Ok, Icon::Critical,
                                 text::kDatabaseErrorTitle);
        return;
    }
    Txt_Msg->setText(text::kNumberingFinished);
    services_.messages->show(text::numberingDone(result.files, result.folders, result.unreadable, result.unnamed), Buttons::Ok, Icon::None);
}

void NumberingWindow::exportWorkbook()
{
    NameDatabase *database = links_.database();
    if (!database)
        return;
    std::vector<FileRow> files;
    std::vector<FolderRow> folders;
    try {
        files = numberedFiles(*database);
        folders = numberedFolders(*database);
    } catch (const DatabaseError &error) {
        services_.messages->show(text::databaseUnreadable(error.failure()), Buttons::Ok, Icon::Critical,
                                 text::kDatabaseErrorTitle);
        return;
    }
    if (services_.messages->show(text::exportQuestion(qsizetype(files.size()), qsizetype(folders.size())),
                                 Buttons::YesNo, Icon::None, text::kExportQuestionTitle)
        != Answer::Yes)
        return;
    const QString desktop = services_.desktopFolder.isEmpty() ? desktopFolder() : services_.desktopFolder;
    const QString name = workbook::outputName(services_.clock->now());
    // Without a desktop folder the user says where the workbook goes.
    const bool onDesktop = QFileInfo(desktop).isDir();
    const QString target = onDesktop ? QDir(desktop).filePath(name) : chooseSaveFile(QDir::home().filePath(name));
    if (target.isEmpty())
        return;
    std::optional<workbook::Error> error;
    {
        BusyScope busy;
        error = workbook::write(findWorkbookTemplate(services_.dataFolder), files, folders, target,
                                [this](workbook::Sheet sheet, qsizetype counter) {
                                    setStatus(text::exportingRow(sheet == workbook::Sheet::Folders, counter));
                                });
    }
    if (error) {
        Txt_Msg->setText(text::kNumberingIdle);
        services_.messages->show(text::exportFailed(*error), Buttons::Ok, Icon::Critical, text::kExportErrorTitle);
        return;
    }
    const bool opened = services_.openFile && services_.openFile(target);
    Txt_Msg->setText(onDesktop ? text::kExportStatus : text::kExportStatusElsewhere);
    services_.messages->show(text::exported(QDir::toNativeSeparators(target), onDesktop, opened), Buttons::Ok, Icon::None);
}

QString NumberingWindow::chooseSaveFile(const QString &suggested)
{
    if (services_.chooseSaveFile)
        return services_.chooseSaveFile(suggested);
    return QFileDialog::getSaveFileName(this, text::kSaveWorkbookTitle, suggested, QStringLiteral("Excel (*.xlsx)"));
}

} // namespace pelmora
