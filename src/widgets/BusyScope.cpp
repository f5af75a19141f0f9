// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/BusyScope.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QWidget>

namespace pelmora {

InputBlocker::InputBlocker(QWidget *stopButton)
    : stopButton_(stopButton)
{
    qApp->installEventFilter(this);
}

InputBlocker::~InputBlocker()
{
    qApp->removeEventFilter(this);
}

bool InputBlocker::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        // A click reaches the window first, which hands it to the widget
        // under the mouse: it is stopped there, unless that is the stop button.
        return !watched->isWindowType() && watched != stopButton_;
    case QEvent::KeyPress:
        if (auto *button = qobject_cast<QAbstractButton *>(stopButton_);
            button && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape && button->isVisible()) {
            button->click();
        }
        return true;
    case QEvent::Wheel:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}

BusyScope::BusyScope(QWidget *window, QWidget *stopButton)
    : blocker_(stopButton)
    , stopButton_(stopButton)
{
    if (window) {
        // The controls the window holds, shown disabled: the stop button and
        // what holds it stay as they are.
        for (QWidget *control : window->findChildren<QWidget *>()) {
            const bool holdsStop = stopButton && (control == stopButton || control->isAncestorOf(stopButton));
            if (!holdsStop && control->isEnabled() && control->focusPolicy() != Qt::NoFocus) {
                control->setEnabled(false);
                disabled_.emplace_back(control);
            }
        }
    }
    if (stopButton)
        stopButton->show();
    QCoreApplication::processEvents();
}

BusyScope::~BusyScope()
{
    if (stopButton_)
        stopButton_->hide();
    for (const QPointer<QWidget> &control : disabled_) {
        if (control)
            control->setEnabled(true);
    }
    QCoreApplication::processEvents();
}

} // namespace pelmora
