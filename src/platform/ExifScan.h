// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace pelmora {

// The few EXIF fields a rename reads, as their raw texts (cut at the first
// NUL, as Exiv2 gives them); empty when the tag is absent.
struct ExifDateFields {
    QByteArray dateTimeOriginal;
    QByteArray dateTimeDigitized;
    QByteArray subSecTimeOriginal;
    QByteArray model;
    QByteArray make;
    QByteArray bodySerialNumber;
    QByteArray offsetTimeOriginal;
    QByteArray offsetTime;
};

// Where the TIFF data of the Exif segment of a JPEG lies, from the start of
// the file (`head` is that start): its offset and length. Nothing when the
// file is no JPEG or no Exif segment comes before the picture data within
// `head`. The segment itself may run past `head`.
struct ByteRange {
    qsizetype offset = 0;
    qsizetype length = 0;
};
std::optional<ByteRange> findJpegExif(QByteArrayView head);

// Reads those fields straight from the TIFF data of an Exif segment, without
// building Exiv2's tree of every tag and maker note, which costs ten times
// more than the rest of a rename. Anything out of the ordinary (a directory
// Exiv2 would refuse, a tag of another type than text, a value outside the
// data) gives nothing, and the file is read with Exiv2 instead.
std::optional<ExifDateFields> scanExifDates(QByteArrayView tiff);

} // namespace pelmora
