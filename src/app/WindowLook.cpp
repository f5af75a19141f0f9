#include "app/WindowLook.h"

#include "app/ExtensionBoxes.h"

namespace pelmora {

void useLightGreenBackground(QWidget *window)
{
    QPalette background = window->palette();
    background.setColor(QPalette::Window, kLightGreen);
    window->setPalette(background);
    window->setAutoFillBackground(true);
}

QPushButton *namedButton(const char *name, const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

} // namespace pelmora
