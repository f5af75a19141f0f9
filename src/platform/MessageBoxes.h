#pragma once

#include <QString>

namespace pelmora {

enum class Buttons { Ok, YesNo, YesNoCancel };
enum class Icon { None, Information, Exclamation, Critical };
enum class Answer { Ok, Yes, No, Cancel };

// Every message box of the program goes through this one call. Texts use a
// carriage return alone as the line break; an empty title shows the
// application title. Details, when given, are offered behind a button of
// the box (one line per "\n").
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual Answer show(const QString &text, Buttons buttons, Icon icon, const QString &title = QString(),
                        const QString &details = QString()) = 0;
};

inline const QString kApplicationTitle = QStringLiteral("Pelmora");

} // namespace pelmora
