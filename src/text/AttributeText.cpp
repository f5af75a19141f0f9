// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/AttributeText.h"

#include "platform/Clock.h"
#include "text/Messages.h"

#include <map>

namespace pelmora {

namespace {

// Column numbers: those the rename operations read, and those shown besides.
namespace column {
constexpr int Size = 1; // bytes
constexpr int Type = 2; // media type, e.g. image/jpeg
constexpr int DateModified = 3;
constexpr int DateCreated = 4;
constexpr int DateAccessed = 5;
constexpr int DateTaken = 12;
constexpr int DateTakenOrigin = 13; // where the date taken came from
constexpr int Length = 27;          // HH:MM:SS
constexpr int CameraModel = 30;
constexpr int Dimensions = 31; // width x height in pixels
constexpr int CameraMaker = 32;
constexpr int ExposureTime = 33;
constexpr int FNumber = 34;
constexpr int Iso = 35;
constexpr int FocalLength = 36;
constexpr int Latitude = 37;
constexpr int Longitude = 38;
constexpr int FrameSize = 39; // of a movie
constexpr int FrameRate = 40;
constexpr int Last = 499;
} // namespace column

// Date columns: an invisible left-to-right mark before year, month and day
// and two before the time, e.g. "\u200E2011/\u200E09/\u200E16 \u200E\u200E12:34:05",
// so the characters at positions 2-6, 8-10, 12-14 and 17-24 give
// "2011/09/16 12:34:05".
QString dateColumnText(const QDateTime &value)
{
    if (!value.isValid())
        return {};
    const QDate d = value.date();
    return QStringLiteral("%1%2/%1%3/%1%4 %1%1%5")
        .arg(QChar(0x200E))
        .arg(d.year(), 4, 10, QChar(u'0'))
        .arg(d.month(), 2, 10, QChar(u'0'))
        .arg(d.day(), 2, 10, QChar(u'0'))
        .arg(value.time().toString(QStringLiteral("HH:mm:ss")));
}

// Where the date taken came from, the zone written beside it, and what
// the renames make of it with its camera's clock offset.
QString dateTakenOrigin(const FileAttributes &file)
{
    const Metadata &metadata = file.metadata;
    if (!metadata.dateTaken.isValid())
        return {};
    QString origin = text::dateOriginText(metadata.dateOrigin);
    if (zoneSeconds(metadata.zone))
        origin += QStringLiteral("　時間帯 UTC") + metadata.zone;
    if (const QDateTime corrected = wallClockPlus(metadata.dateTaken, file.clockOffset);
        file.clockOffset != 0 && corrected.isValid())
        origin += QStringLiteral("　補正 ") + text::clockOffsetText(file.clockOffset) + QStringLiteral("（")
            + fixedDateTimeText(corrected, u'/') + QStringLiteral("）");
    return origin;
}

} // namespace

QString attributeText(const FileAttributes &file)
{
    std::map<int, QString> columns;
    if (!file.size.isEmpty()) {
        const Metadata &metadata = file.metadata;
        columns = {
            {column::Size, file.size},
            {column::Type, file.type},
            {column::DateModified, dateColumnText(metadata.dateModified)},
            {column::DateCreated, dateColumnText(file.created)},
            {column::DateAccessed, dateColumnText(file.accessed)},
            {column::DateTaken, dateColumnText(metadata.dateTaken)},
            {column::DateTakenOrigin, dateTakenOrigin(file)},
            {column::Length, metadata.length},
            {column::CameraModel, metadata.cameraModel},
            {column::Dimensions, metadata.pictureSize},
            {column::CameraMaker, metadata.cameraMaker},
            {column::ExposureTime, metadata.exposureTime},
            {column::FNumber, metadata.fNumber},
            {column::Iso, metadata.iso},
            {column::FocalLength, metadata.focalLength},
            {column::Latitude, metadata.latitude},
            {column::Longitude, metadata.longitude},
            {column::FrameSize, metadata.frameSize},
            {column::FrameRate, metadata.frameRate},
        };
    }
    QString text = file.name;
    for (int n = 1; n <= column::Last; ++n) {
        const auto it = columns.find(n);
        text += QStringLiteral("\r\n") + QString::number(n) + QStringLiteral(" : ")
            + (it == columns.end() ? QString() : it->second);
    }
    return text;
}

} // namespace pelmora
