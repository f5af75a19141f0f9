// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

class QDialog;

namespace pelmora {

class Clock;
class MessageBoxes;

// What the windows are given from outside: where DATA lives, how message
// boxes and modal windows are shown, the clock, and how the program ends.
struct AppServices {
    QString dataFolder;
    MessageBoxes *messages = nullptr;
    const Clock *clock = nullptr;
    std::function<void()> endProgram;
    // Shows a window modal; empty: exec(). Tests look at the window instead.
    std::function<void(QDialog &)> showModal;
    // Opens a saved workbook with the desktop's application for it; false
    // when no application would open it.
    std::function<bool(const QString &)> openFile;
    // Where workbooks are saved; empty: the desktop folder.
    QString desktopFolder;
    // Asks where to save a workbook, offering `suggested`; empty: the user
    // cancelled. Empty function: a file dialog.
    std::function<QString(const QString &suggested)> chooseSaveFile;
};

} // namespace pelmora
