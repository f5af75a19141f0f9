#include "widgets/BusyScope.h"

#include <QCoreApplication>
#include <QEvent>

namespace pelmora {

InputBlocker::InputBlocker()
{
    qApp->installEventFilter(this);
}

InputBlocker::~InputBlocker()
{
    qApp->removeEventFilter(this);
}

bool InputBlocker::eventFilter(QObject *, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}

BusyScope::BusyScope()
{
    QCoreApplication::processEvents();
}

BusyScope::~BusyScope()
{
    QCoreApplication::processEvents();
}

} // namespace pelmora
