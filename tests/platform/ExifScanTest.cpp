#include "platform/ExifScan.h"
#include "TestSupport.h"

#include <exiv2/exiv2.hpp>

#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

#include <cstring>

using namespace pelmora;
using namespace pelmora::test;

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Exiv2's reading of the same bytes; nothing when it refuses them.
std::optional<ExifDateFields> exiv2Fields(const QByteArray &jpeg)
{
    try {
        auto image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte *>(jpeg.constData()), long(jpeg.size()));
        image->readMetadata();
        const Exiv2::ExifData &exif = image->exifData();
        const auto text = [&exif](const char *key) {
            const auto it = exif.findKey(Exiv2::ExifKey(key));
            return it == exif.end() ? QByteArray() : QByteArray::fromStdString(it->toString());
        };
        return ExifDateFields{text("Exif.Photo.DateTimeOriginal"), text("Exif.Photo.DateTimeDigitized"),
                              text("Exif.Photo.SubSecTimeOriginal"), text("Exif.Image.Model")};
    } catch (...) {
        return std::nullopt;
    }
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
}

// Every JPEG of the test media, and each with bytes of its Exif segment
// changed one at a time: whenever the quick scan answers, Exiv2 reads the
// same four fields from the same bytes.
TEST(ExifScan, AgreesWithExiv2OnEveryJpegAndItsDamagedCopies)
{
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    int answered = 0;
    QDirIterator files(testdataFolder() + "/media", {"*.jpg", "*.JPG", "*.jpeg"}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        SCOPED_TRACE(path.toStdString());
        const QByteArray jpeg = fileBytes(path);
        const auto ours = scanned(jpeg);
        if (!ours)
            continue;
        ++answered;
        const auto exiv2 = exiv2Fields(jpeg);
        ASSERT_TRUE(exiv2.has_value());
        expectSame(*ours, *exiv2);

        const auto range = findJpegExif(jpeg);
        for (qsizetype step = 0; step < 300; ++step) {
            QByteArray damaged = jpeg;
            const qsizetype at = range->offset + (step * 7919) % std::min<qsizetype>(range->length, 600);
            damaged[at] = char(damaged[at] ^ (1 << (step % 8)));
            const auto damagedOurs = scanned(damaged);
            const auto damagedExiv2 = exiv2Fields(damaged);
            if (damagedOurs && damagedExiv2) {
                SCOPED_TRACE(at);
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
        {"no TIFF header", QByteArray("XX*\0\x08\0\0\0", 8) + tiffWith(1, 26, 2, 20, 44).mid(8)},
        {"too short", QByteArray("II*\0", 4)},
    };
    for (const auto &c : cases)
        EXPECT_FALSE(scanExifDates(c.data).has_value()) << c.what;
}

} // namespace
