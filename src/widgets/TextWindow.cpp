// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/TextWindow.h"

#include "text/Messages.h"
#include "ui_TextWindow.h"
#include "widgets/WindowLook.h"

namespace pelmora {

TextWindow::TextWindow(const QString &text, QWidget *parent)
    : QDialog(parent)
{
    Ui::TextWindow ui;
    ui.setupUi(this);
    setWindowTitle(text::kAttributesTitle);
    ui.Text1->setPlainText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    fitIntoScreen(this);
}

} // namespace pelmora
