#pragma once

#include <QObject>

namespace pelmora {

// Swallows the user's input while an operation runs, so that nothing typed
// or clicked meanwhile starts anything or reaches the closing box later.
class InputBlocker final : public QObject {
public:
    InputBlocker();
    ~InputBlocker() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// While an operation works: the window repaints, the user's input is
// swallowed, and what was typed meanwhile never arrives afterwards.
class BusyScope {
public:
    BusyScope();
    ~BusyScope();
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    InputBlocker blocker_; // first in, last out
};

} // namespace pelmora
