// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rename/NamingInputs.h"
#include "widgets/WindowLook.h"

#include <QLineEdit>
#include <QObject>

#include <array>

namespace pelmora {

// Focus changes that come from switching windows or popups are not the
// user's moves between controls.
bool isUserFocusChange(QEvent *event);

// The twenty extension boxes "Txt_Ext" (property "index" 0 to 19). The
// filled boxes are kept together from box 0: a box cannot be entered while a
// lower one is empty, and a box left empty takes the text of the highest
// filled box.
class ExtensionBoxes : public QObject {
    Q_OBJECT
public:
    explicit ExtensionBoxes(QWidget *parent);

    QLineEdit *box(int index) const { return boxes_[index]; }
    std::array<QString, kExtensionBoxCount> texts() const;

    void clear();
    // Moves the filled boxes down over the empty ones before them, in their
    // order: a box typed past an empty one (reached by Tab) is used, as shown.
    void closeGaps();
    // Fills boxes from 0 with the preset's texts (after a clear).
    void setTexts(const std::array<QString, kExtensionBoxCount> &texts);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Gives the focus to the lowest empty box before this one; false when
    // there is none and this box keeps it.
    bool handFocusOn(int index);
    void loseFocus(int index);
    void setColour(int index, const QColor &colour);

    std::array<QLineEdit *, kExtensionBoxCount> boxes_{};
};

} // namespace pelmora
