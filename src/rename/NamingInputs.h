// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dates/CameraClocks.h"

#include <QString>
#include <QTime>

#include <array>
#include <optional>

namespace pelmora {

inline constexpr int kExtensionBoxCount = 20;

// Which of the four option buttons is selected.
enum class NamingOption { Option1 = 1, Option2, Option3, Option4 };

// Everything an operation reads from the main window, taken when it starts.
struct NamingInputs {
    QString folder;  // without a final separator except at a root
    int fileCount = 0; // entries of the file list: divisor of the progress only
    std::array<QString, kExtensionBoxCount> extensions;
    NamingOption option = NamingOption::Option1;
    QString preText;
    QString postText;
    QString startNumber = QStringLiteral("1");
    // RAW+JPEG pairs take one number, and sidecars follow their file.
    bool companions = true;
    // The hour a day starts: a shot before it belongs to the day before,
    // for its number and for the date in its name (a night that runs past
    // midnight stays one day). Midnight names every file as written.
    QTime dayStart = QTime(0, 0);
    // Camera clocks set right and the zone of movies, for this run only: a
    // run also goes by the offsets kept in the database, which these override.
    DateCorrections corrections;
};

// The start values of the window's extension boxes.
std::array<QString, kExtensionBoxCount> pictureExtensions();
std::array<QString, kExtensionBoxCount> movieExtensions();

// Digits with an optional sign and decimal part, blanks around allowed.
bool isNumericText(const QString &text);
// The Start Number as a whole number; empty when it is not one.
std::optional<int> wholeNumber(const QString &text);

} // namespace pelmora
