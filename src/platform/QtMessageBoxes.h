#pragma once

#include "platform/MessageBoxes.h"

class QTranslator;

namespace pelmora {

// Message boxes as QMessageBox; the carriage returns of a text become
// visible line breaks here and nowhere else.
class QtMessageBoxes final : public MessageBoxes {
public:
    Answer show(const QString &text, Buttons buttons, Icon icon, const QString &title,
                const QString &details) override;
};

// Loads Qt's own Japanese texts into the translator and installs it, so that
// the buttons of a box read はい, いいえ and キャンセル; false when the
// translation is not installed.
bool installJapaneseQtTexts(QTranslator &translator);

} // namespace pelmora
