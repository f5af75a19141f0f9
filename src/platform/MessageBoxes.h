// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace pelmora {

enum class Buttons { Ok, YesNo, YesNoCancel };
enum class Icon { None, Information, Exclamation, Critical };
enum class Answer { Ok, Yes, No, Cancel };

// A table offered behind a button of a box: one heading per column, then
// the rows; a marked row stands out, and says why in one of its cells.
struct DetailTable {
    struct Row {
        QStringList cells;
        bool marked = false;
    };
    QStringList headings;
    std::vector<Row> rows;
    bool empty() const { return rows.empty(); }
};

// Every message box of the program goes through this one call. Texts use a
// carriage return alone as the line break; an empty title shows the
// application title. Details, when given, are offered behind a button of
// the box.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual Answer show(const QString &text, Buttons buttons, Icon icon, const QString &title = QString(),
                        const DetailTable &details = {}) = 0;
};

inline const QString kApplicationTitle = QStringLiteral("Pelmora");

} // namespace pelmora
