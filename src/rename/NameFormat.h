// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rename/NamingInputs.h"

#include <QDateTime>
#include <QString>

namespace pelmora {

enum class DatePattern { YYMMDD, YYYYMMDD };

// Option1 gives YYMMDD, Option2 YYYYMMDD, anything else YYMMDD.
DatePattern datePatternFor(NamingOption option);
// Empty for a missing date.
QString dateText(const QDateTime &date, DatePattern pattern);
// At least three digits, zero-padded, sign in front: 7 -> 007, 1000 -> 1000, -1 -> -001.
QString number000(qint64 number);
// "TempFileName" + minute and second of now + "_" + number + "-" + the run's
// key + "." + extension: the key finds the run wherever its folder is
// mounted. Names of earlier versions have no key.
QString temporaryName(const QTime &now, int number, const QString &extension, const QString &runKey);
// A temporary name of a run: a form no camera writes.
bool isTemporaryName(const QString &name);
// The key of the run a temporary name belongs to; empty when it has none.
QString runKeyOf(const QString &temporaryName);
// A new run's key: eight hexadecimal digits, drawn at random.
QString newRunKey();
// "00:01:05" -> "(01m5s)", "01:02:03" -> "(01h02m3s)", "00:00:09" -> "(9s)";
// empty when the text is not a playing time.
QString movieLengthText(const QString &lengthColumn);
// date text + Pre Text + "-" + number + Post Text.
QString numberedName(const QString &date, const QString &preText, qint64 number, const QString &postText);

// Walks the boxes from 0 and stops at the first empty one; a box matches
// its text in upper or in lower case ("jpg" takes .jpg and .JPG, not .Jpg).
bool takesPart(const QString &extension, const std::array<QString, kExtensionBoxCount> &boxes);

} // namespace pelmora
