#include "attributes/TextWindow.h"

#include "attributes/AttributeText.h"
#include "text/Messages.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace pelmora {

TextWindow::TextWindow(const QString &text, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Frm_TextBox"));
    setWindowTitle(text::kAttributesTitle);
    setModal(true);
    auto *box = new QPlainTextEdit(this);
    box->setObjectName(QStringLiteral("Text1"));
    box->setReadOnly(true);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setPlainText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(box);
    resize(520, 600);
}

} // namespace pelmora
