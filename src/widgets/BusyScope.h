// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <vector>

class QWidget;

namespace pelmora {

// Swallows the user's input while an operation runs, so that nothing typed
// or clicked meanwhile starts anything or reaches the closing box later;
// only a click on the stop button, and Escape, which presses it, get through.
class InputBlocker final : public QObject {
public:
    explicit InputBlocker(QWidget *stopButton = nullptr);
    ~InputBlocker() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *stopButton_;
};

// While an operation works: the window repaints, its controls are shown
// disabled and the user's input is swallowed, and what was typed meanwhile
// never arrives afterwards. With a stop button, that button is shown and
// stays usable.
class BusyScope {
public:
    BusyScope(QWidget *window = nullptr, QWidget *stopButton = nullptr);
    ~BusyScope();
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    InputBlocker blocker_; // first in, last out
    std::vector<QPointer<QWidget>> disabled_;
    QPointer<QWidget> stopButton_;
};

} // namespace pelmora
