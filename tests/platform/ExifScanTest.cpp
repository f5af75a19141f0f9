// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ExifScan.h"
#include "TestSupport.h"

#include <exiv2/exiv2.hpp>

#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace pelmora;
using namespace pelmora::test;

namespace {

// Exiv2's reading of the same bytes, keeping what it read before damage
// further on, as the program does; nothing when it cannot open them.
std::optional<ExifDateFields> exiv2Fields(const QByteArray &jpeg)
{
    Exiv2::Image::AutoPtr image;
    try {
        image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte *>(jpeg.constData()), long(jpeg.size()));
    } catch (...) {
        return std::nullopt;
    }
    try {
        image->readMetadata();
    } catch (...) {
    }
    const Exiv2::ExifData &exif = image->exifData();
    const auto text = [&exif](const char *key) {
        const auto it = exif.findKey(Exiv2::ExifKey(key));
        return it == exif.end() ? QByteArray() : QByteArray::fromStdString(it->toString());
    };
    return ExifDateFields{text("Exif.Photo.DateTimeOriginal"),    text("Exif.Photo.DateTimeDigitized"),
                          text("Exif.Photo.SubSecTimeOriginal"),  text("Exif.Image.Model"),
                          text("Exif.Image.Make"),                text("Exif.Photo.BodySerialNumber"),
                          text("Exif.Photo.OffsetTimeOriginal"),  text("Exif.Photo.OffsetTime")};
}

std::optional<ExifDateFields> scanned(const QByteArray &jpeg)
{
    const auto range = findJpegExif(jpeg);
    if (!range || range->offset + range->length > jpeg.size())
        return std::nullopt;
    return scanExifDates(QByteArrayView(jpeg).sliced(range->offset, range->length));
}

void expectSame(const ExifDateFields &ours, const ExifDateFields &exiv2)
{
    EXPECT_EQ(ours.dateTimeOriginal, exiv2.dateTimeOriginal);
    EXPECT_EQ(ours.dateTimeDigitized, exiv2.dateTimeDigitized);
    EXPECT_EQ(ours.subSecTimeOriginal, exiv2.subSecTimeOriginal);
    EXPECT_EQ(ours.model, exiv2.model);
    EXPECT_EQ(ours.make, exiv2.make);
    EXPECT_EQ(ours.bodySerialNumber, exiv2.bodySerialNumber);
    EXPECT_EQ(ours.offsetTimeOriginal, exiv2.offsetTimeOriginal);
    EXPECT_EQ(ours.offsetTime, exiv2.offsetTime);
}

// The file with one bit of its Exif segment changed, cut short after it, or
// with a segment Exiv2 may refuse put before it.
std::vector<QByteArray> damagedCopies(const QByteArray &jpeg, ByteRange exif)
{
    std::vector<QByteArray> copies;
    for (qsizetype step = 0; step < 300; ++step) {
        QByteArray damaged = jpeg;
        const qsizetype at = exif.offset + (step * 7919) % std::min<qsizetype>(exif.length, 600);
        damaged[at] = char(damaged[at] ^ (1 << (step % 8)));
        copies.push_back(damaged);
    }
    for (const qsizetype past : {0, 1, 100, 1000})
        copies.push_back(jpeg.left(exif.offset + exif.length + past));
    const QByteArray segments[] = {QByteArray::fromHex("fffe0002"), QByteArray::fromHex("ffc00004ffff"),
                                   QByteArray::fromHex("ffe2000a4943435f50524f"), QByteArray::fromHex("ffed00040000")};
    for (const QByteArray &segment : segments)
        copies.push_back(jpeg.left(2) + segment + jpeg.mid(2));
    return copies;
}

// Every JPEG of the test media, and its damaged copies: whenever the quick
// scan answers, Exiv2 reads the same four fields from the same bytes.
TEST(ExifScan, AgreesWithExiv2OnEveryJpegAndItsDamagedCopies)
{
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    int answered = 0;
    QDirIterator files(testdataFolder() + "/media", {"*.jpg", "*.JPG", "*.jpeg"}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        SCOPED_TRACE(path.toStdString());
        const QByteArray jpeg = readFile(path);
        const auto ours = scanned(jpeg);
        if (!ours)
            continue;
        ++answered;
        ASSERT_TRUE(exiv2Fields(jpeg).has_value());
        expectSame(*ours, *exiv2Fields(jpeg));
        int copy = 0;
        for (const QByteArray &damaged : damagedCopies(jpeg, *findJpegExif(jpeg))) {
            SCOPED_TRACE(copy++);
            if (const auto damagedOurs = scanned(damaged)) {
                const auto damagedExiv2 = exiv2Fields(damaged);
                ASSERT_TRUE(damagedExiv2.has_value());
                expectSame(*damagedOurs, *damagedExiv2);
            }
        }
    }
    EXPECT_GT(answered, 20);
}

// Hand-made Exif data: a little-endian TIFF whose first directory holds the
// model and points at an Exif directory holding the date.
QByteArray tiffWith(quint16 entryCount, quint32 exifOffset, quint16 dateType, quint32 dateCount, quint32 dateOffset)
{
    QByteArray data("II*\0\x08\0\0\0", 8);
    const auto u16 = [&data](quint16 v) { data.append(char(v & 0xFF)).append(char(v >> 8)); };
    const auto u32 = [&](quint32 v) { u16(quint16(v & 0xFFFF)); u16(quint16(v >> 16)); };
    u16(entryCount);
    u16(0x8769), u16(4), u32(1), u32(exifOffset);
    u32(0);
    // Exif directory at 26: one date entry, its value at 44.
    u16(1);
    u16(0x9003), u16(dateType), u32(dateCount), u32(dateOffset);
    u32(0);
    data.append("2011:09:16 12:34:05", 20);
    return data;
}

TEST(ExifScan, RefusesWhatDoesNotAddUp)
{
    ASSERT_EQ(scanExifDates(tiffWith(1, 26, 2, 20, 44))->dateTimeOriginal, "2011:09:16 12:34:05");
    const struct {
        const char *what;
        QByteArray data;
    } cases[] = {
        {"more entries than a reader takes", tiffWith(300, 26, 2, 20, 44)},
        {"entries past the end", tiffWith(40, 26, 2, 20, 44)},
        {"Exif directory past the end", tiffWith(1, 0xFFFFFFF0, 2, 20, 44)},
        {"date not text", tiffWith(1, 26, 7, 20, 44)},
        {"date past the end", tiffWith(1, 26, 2, 20, 60)},
        {"date length wraps", tiffWith(1, 26, 2, 0xFFFFFFFF, 44)},
        {"date at offset 0, the header", tiffWith(1, 26, 2, 20, 0)},
        {"Exif directory is the first directory", tiffWith(1, 8, 2, 20, 44)},
        {"no TIFF header", QByteArray("XX*\0\x08\0\0\0", 8) + tiffWith(1, 26, 2, 20, 44).mid(8)},
        {"too short", QByteArray("II*\0", 4)},
    };
    for (const auto &c : cases)
        EXPECT_FALSE(scanExifDates(c.data).has_value()) << c.what;
}

} // namespace
