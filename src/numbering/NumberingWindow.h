// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "widgets/AppServices.h"

#include <QWidget>

#include <functional>

class QLineEdit;
class QPushButton;

namespace pelmora {

class DriveList;
class FolderList;
class NameDatabase;

// "File Numbering": gives every file and folder below the chosen folder its
// identifier, writes them to a workbook on the desktop, and leads back to
// the main window.
class NumberingWindow : public QWidget {
    Q_OBJECT
public:
    struct Links {
        std::function<NameDatabase *()> database; // the program's connection; nullptr when unusable
        std::function<void()> backToMain;
    };
    NumberingWindow(const AppServices &services, Links links, QWidget *parent = nullptr);

    bool chooseFolder(const QString &folder);
    void RunNumbering();
    void exportWorkbook();
    QString chooseSaveFile(const QString &suggested);

private:
    void setStatus(const QString &text);

    const AppServices &services_;
    Links links_;
    DriveList *Drive1 = nullptr;
    FolderList *Dir1 = nullptr;
    QLineEdit *Txt_Msg = nullptr;
    QPushButton *Cmd_Numbering = nullptr;
    QPushButton *Cmd_Excel = nullptr;
    QPushButton *Cmd_End = nullptr;
};

} // namespace pelmora
