// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ExtensionBoxes.h"

#include <QFocusEvent>

namespace pelmora {

bool isUserFocusChange(QEvent *event)
{
    const auto reason = static_cast<QFocusEvent *>(event)->reason();
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

// A click in an empty box hands the focus to the lowest empty box; Tab and
// Shift+Tab do not, or they could never get past the boxes.
bool isClick(QEvent *event)
{
    return static_cast<QFocusEvent *>(event)->reason() == Qt::MouseFocusReason;
}

ExtensionBoxes::ExtensionBoxes(QWidget *parent)
    : QObject(parent)
{
    for (int i = 0; i < kExtensionBoxCount; ++i) {
        auto *box = new QLineEdit(parent);
        box->setObjectName(QStringLiteral("Txt_Ext"));
        box->setProperty("index", i);
        box->setMinimumWidth(36);
        box->installEventFilter(this);
        boxes_[i] = box;
        setColour(i, kLightGreen);
    }
}

std::array<QString, kExtensionBoxCount> ExtensionBoxes::texts() const
{
    std::array<QString, kExtensionBoxCount> result;
    for (int i = 0; i < kExtensionBoxCount; ++i)
        result[i] = boxes_[i]->text();
    return result;
}

void ExtensionBoxes::clear()
{
    for (int i = 0; i < kExtensionBoxCount; ++i) {
        boxes_[i]->clear();
        setColour(i, kLightGreen);
    }
}

void ExtensionBoxes::closeGaps()
{
    std::array<QString, kExtensionBoxCount> filled;
    size_t next = 0;
    for (const QLineEdit *box : boxes_) {
        if (!box->text().isEmpty())
            filled[next++] = box->text();
    }
    if (filled != texts())
        setTexts(filled);
}

void ExtensionBoxes::setTexts(const std::array<QString, kExtensionBoxCount> &texts)
{
    for (int i = 0; i < kExtensionBoxCount; ++i) {
        boxes_[i]->setText(texts[i]);
        setColour(i, texts[i].isEmpty() ? kLightGreen : kWhite);
    }
}

bool ExtensionBoxes::eventFilter(QObject *watched, QEvent *event)
{
    if ((event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) && isUserFocusChange(event)) {
        const int index = watched->property("index").toInt();
        // A box that hands its focus on does not take it itself, so it
        // does not start a blinking cursor either.
        if (event->type() == QEvent::FocusIn && isClick(event))
            return handFocusOn(index);
        if (event->type() == QEvent::FocusIn) {
            setColour(index, kYellow);
            return false;
        }
        loseFocus(index);
    }
    return QObject::eventFilter(watched, event);
}

bool ExtensionBoxes::handFocusOn(int index)
{
    for (int j = 0; j < index; ++j) {
        if (boxes_[j]->text().isEmpty()) {
            boxes_[j]->setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    setColour(index, kYellow);
    return false;
}

void ExtensionBoxes::loseFocus(int index)
{
    if (!boxes_[index]->text().isEmpty()) {
        setColour(index, kWhite);
        return;
    }
    setColour(index, kLightGreen);
    for (int k = kExtensionBoxCount - 1; k > index; --k) {
        if (!boxes_[k]->text().isEmpty()) {
            boxes_[index]->setText(boxes_[k]->text());
            setColour(index, kWhite);
            boxes_[k]->clear();
            setColour(k, kLightGreen);
            return;
        }
    }
}

void ExtensionBoxes::setColour(int index, const QColor &colour)
{
    QPalette palette = boxes_[index]->palette();
    palette.setColor(QPalette::Base, colour);
    boxes_[index]->setPalette(palette);
}

} // namespace pelmora
