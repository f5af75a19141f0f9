// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/WindowLook.h"

#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>


#include <QKeyEvent>

#include <utility>

namespace pelmora {

void useLightGreenBackground(QWidget *window)
{
    QPalette background = window->palette();
    background.setColor(QPalette::Window, kLightGreen);
    window->setPalette(background);
    window->setAutoFillBackground(true);
}

void fitIntoScreen(QWidget *window)
{
    const QScreen *screen = window->screen();
    if (!screen)
        return;
    // Room for a title bar and borders, which are not known before the
    // window is shown.
    const QSize room = screen->availableGeometry().size() - QSize(16, 48);
    QLayout *layout = window->layout();
    const QSize needed = window->minimumSizeHint();
    if (layout && (needed.width() > room.width() || needed.height() > room.height())) {
        auto *content = new QWidget;
        content->setObjectName(QStringLiteral("content"));
        content->setLayout(layout); // takes the window's controls with it
        auto *scroll = new QScrollArea;
        scroll->setObjectName(QStringLiteral("scroll"));
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        scroll->setWidget(content);
        // The window's own background shows through.
        scroll->viewport()->setAutoFillBackground(false);
        content->setAutoFillBackground(false);
        auto *outer = new QVBoxLayout(window);
        outer->setContentsMargins(0, 0, 0, 0);
        outer->addWidget(scroll);
    }
    window->resize(window->size().boundedTo(room));
}

namespace {

// Outside a dialog a focused button answers only the space bar; people
// press Enter too. Like the space bar it clicks when the key comes up, and
// a held key's repeats are ignored, so holding Enter on Go cannot also answer
// the question Go asks.
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
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            return false;
        if (key->isAutoRepeat())
            return true;
        if (event->type() == QEvent::KeyPress)
            pressed_ = true;
        else if (std::exchange(pressed_, false))
            static_cast<QPushButton *>(watched)->click();
        return true;
    }

private:
    bool pressed_ = false;
};

} // namespace

void clickOnEnter(QPushButton *button)
{
    new EnterClicks(button);
}

} // namespace pelmora
