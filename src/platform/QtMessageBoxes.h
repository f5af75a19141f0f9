#pragma once

#include "platform/MessageBoxes.h"

class QWidget;

namespace pelmora {

// Message boxes as QMessageBox; the carriage returns of a text become
// visible line breaks here and nowhere else.
class QtMessageBoxes final : public MessageBoxes {
public:
    Answer show(const QString &text, Buttons buttons, Icon icon, const QString &title) override;
};

} // namespace pelmora
