// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QString>

namespace pelmora {

// The recording date an AVCHD camera writes into the H.264 stream of an
// MPEG transport stream (.mts, .m2ts): the "MDPM" block of the first
// picture's user data, as local wall-clock time, with its offset ("+09:00")
// into `offset`. `head` is the start of the file, the first picture within
// it. Invalid when there is none or it does not hold a date.
QDateTime avchdRecordingDate(QByteArrayView head, QString *offset = nullptr);

// How much of the start of a file avchdRecordingDate looks at.
inline constexpr qsizetype kAvchdHeadBytes = 512 * 1024;

} // namespace pelmora
