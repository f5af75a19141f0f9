#include "app/WindowLook.h"

#include "app/ExtensionBoxes.h"

#include <QKeyEvent>

namespace pelmora {

void useLightGreenBackground(QWidget *window)
{
    QPalette background = window->palette();
    background.setColor(QPalette::Window, kLightGreen);
    window->setPalette(background);
    window->setAutoFillBackground(true);
}

namespace {

// Outside a dialog a focused button answers only the space bar; people
// press Enter too.
class EnterClicks : public QObject {
public:
    explicit EnterClicks(QPushButton *button)
        : QObject(button)
    {
        button->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter)
            return false;
        static_cast<QPushButton *>(watched)->click();
        return true;
    }
};

} // namespace

QPushButton *namedButton(const char *name, const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    new EnterClicks(button);
    return button;
}

} // namespace pelmora
