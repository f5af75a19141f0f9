// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Failure.h"

#include <QString>

#include <optional>

namespace pelmora::favourite {

// "DriveFileName.txt" in the DATA folder: one line, the folder, CR LF.
QString fileIn(const QString &dataFolder);

// Replaces the file as a whole (never half-written); why, when it cannot
// be written.
std::optional<Failure> store(const QString &dataFolder, const QString &folder);

// The first line; none when the file is missing, unreadable or empty.
std::optional<QString> stored(const QString &dataFolder);

} // namespace pelmora::favourite

