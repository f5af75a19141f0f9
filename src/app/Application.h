// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "widgets/AppServices.h"

#include <QString>

#include <memory>

namespace pelmora {

class MainWindow;
class NameDatabase;
class NumberingWindow;

// The program as a whole: owns the database connection the windows share,
// the main window, and what happens at start-up.
class Application {
public:
    explicit Application(AppServices services);
    ~Application();
    Application(const Application &) = delete;
    Application &operator=(const Application &) = delete;

    const AppServices &services() const { return services_; }

    // Shows a main window with its start values, then offers to give the
    // files of runs that were cut short their former names back.
    void start();
    // A fresh main window in place of the current one (also after the
    // numbering window); the old window's connection is closed with it.
    void showMain();
    MainWindow *mainWindow() const { return main_.get(); }
    // The numbering window in place of the main window; its "終了" brings a
    // fresh main window back.
    void showNumbering();
    NumberingWindow *numberingWindow() const { return numbering_.get(); }

    // Opened at the first operation and held until closed; a failure is
    // shown in a box naming the file and the cause, and gives nullptr.
    NameDatabase *database();
    void closeDatabase();

    // Asks, run by run, whether to restore the files of runs cut short; runs
    // that left nothing under a temporary name are closed without asking.
    // With a folder, only the runs of that folder.
    void offerRecovery(const QString &folder = QString());

private:
    AppServices services_;
    std::unique_ptr<NameDatabase> database_;
    std::unique_ptr<MainWindow> main_;
    std::unique_ptr<NumberingWindow> numbering_;
};

} // namespace pelmora
