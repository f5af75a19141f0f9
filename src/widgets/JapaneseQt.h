// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QTranslator>

#include <memory>
#include <optional>

namespace pelmora {

// Qt's own windows in Japanese: the buttons of a box (はい, いいえ), and the
// save-as dialog with its types, sizes and dates. Made before the
// QApplication, as Qt reads the system's locale once, when it starts;
// installed after it.
class JapaneseQt {
public:
    JapaneseQt();
    // Loads Qt's Japanese texts and the few its translation lacks, and gives
    // the environment back as it was, so that the programs started from here
    // (the workbook's opener) keep the user's own settings. False when Qt's
    // translation is not installed.
    bool install();

private:
    struct Variable {
        const char *name;
        std::optional<QByteArray> value;
    };
    std::vector<Variable> changed_;
    std::unique_ptr<QTranslator> qtbase_;
    std::unique_ptr<QTranslator> missing_;
};

} // namespace pelmora
