// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileSystem.h"
#include "platform/PropertyReader.h"
#include "TestSupport.h"
#include "text/Messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace pelmora;
using namespace pelmora::test;

namespace {

// The quick scan as a plan makes it: from the head read beside the file's identity.
std::optional<Metadata> readJpegQuickly(const QString &path)
{
    std::optional<Metadata> found;
    const QFileInfo file(path);
    fs::identifyContents(file.absolutePath(), {file.fileName()},
                         [&](qsizetype, int fd, const struct ::stat &info, QByteArrayView head) {
                             found = pelmora::readJpegQuickly(fd, info, head);
                         });
    return found;
}

// Pictures: EXIF DateTimeOriginal, then CreateDate, then XMP, then IPTC. Movies: the
// recording date, a UTC one turned into local time (TZ=UTC here), within a
// minute of exiftool's reading (AVI writers keep two dates seconds apart).
void expectDateTaken(const CsvRow &row, const Metadata &read)
{
    QDateTime expected = parseExifDateTime(row.at("exif_DateTimeOriginal"));
    if (!expected.isValid())
        expected = parseExifDateTime(row.at("exif_CreateDate"));
    if (!expected.isValid() && read.dateOrigin.field >= DateOrigin::Field::XmpOriginal
        && read.dateOrigin.field <= DateOrigin::Field::XmpPhotoshop) {
        for (const char *column : {"exiftool_DateTimeOriginal", "exiftool_CreateDate"}) {
            if (!expected.isValid())
                expected = parseExifDateTime(row.at(column).left(19));
        }
    }
    if (!expected.isValid() && !row.at("iptc_DateCreated").isEmpty()) {
        const QString time = row.at("iptc_TimeCreated").left(8);
        expected = parseExifDateTime(row.at("iptc_DateCreated") + ' ' + (time.isEmpty() ? "00:00:00" : time));
        EXPECT_EQ(read.dateOrigin.field, DateOrigin::Field::IptcCreated);
    }
    const QString movieDate = row.at("movie_date_raw");
    if (!movieDate.isEmpty()) {
        EXPECT_FALSE(expected.isValid());
        expected = parseExifDateTime(movieDate.left(19));
        // Apple's own creation date is the local time of the place: UTC plus its offset.
        const auto offset = QRegularExpression("^([+-])(\\d\\d):(\\d\\d)$").match(read.dateOrigin.offset);
        if (read.dateOrigin.field == DateOrigin::Field::MovieLocal && offset.hasMatch())
            expected = expected.addSecs((offset.captured(1) == "-" ? -1 : 1)
                                        * (offset.captured(2).toInt() * 3600 + offset.captured(3).toInt() * 60));
        EXPECT_LE(std::abs(read.dateTaken.secsTo(expected)), 60) << text::dateOriginText(read.dateOrigin).toStdString();
        return;
    }
    EXPECT_EQ(read.dateTaken, expected) << text::dateOriginText(read.dateOrigin).toStdString();
}

TEST(PropertyReader, AgreesWithTheExiftoolOracle)
{
    const auto rows = readCsv(QDir(testdataFolder()).filePath("oracle.csv"));
    ASSERT_GT(rows.size(), 70u);
    PropertyReader reader;
    for (const CsvRow &row : rows) {
        const QString file = QDir(testdataFolder()).filePath(row.at("file"));
        SCOPED_TRACE(row.at("file").toStdString());
        const Metadata read = reader.read(file);
        expectDateTaken(row, read);
        if (!row.at("exif_OffsetTimeOriginal").isEmpty())
            EXPECT_EQ(read.zone, row.at("exif_OffsetTimeOriginal"));
        // A movie's model: a phone writes it among its metadata keys.
        EXPECT_EQ(read.cameraModel, row.at(row.at("exif_Model").isEmpty() && row.at("exiftool_Model_group") == "Keys"
                                               ? "exiftool_Model" : "exif_Model"));
        // What the quick scan of a JPEG finds, Exiv2 finds too.
        if (const std::optional<Metadata> quick = readJpegQuickly(file)) {
            EXPECT_EQ(quick->dateTaken, read.dateTaken);
            EXPECT_EQ(quick->dateOrigin, read.dateOrigin);
            EXPECT_EQ(quick->subSecond, read.subSecond);
            EXPECT_EQ(quick->cameraModel, read.cameraModel);
            EXPECT_EQ(quick->cameraMaker, read.cameraMaker);
            EXPECT_EQ(quick->cameraSerial, read.cameraSerial);
            EXPECT_EQ(quick->zone, read.zone);
        }
        EXPECT_TRUE(read.dateModified.isValid());
        if (row.at("mime_type").startsWith("video/") && !row.at("duration_s_ffprobe").isEmpty()) {
            // MediaInfoLib finds no length in a clip shorter than a second.
            const bool tooShort = row.at("length_hms_round") == "00:00:00" && read.length.isEmpty();
            EXPECT_TRUE(read.length == row.at("length_hms_floor") || read.length == row.at("length_hms_round")
                        || tooShort)
                << read.length.toStdString();
        } else if (row.at("mime_type").startsWith("image/")) {
            EXPECT_EQ(read.length, "");
        }
    }
}

// Comment segments before the Exif segment move it across the first block
// the quick scan takes, or past it: the date is found all the same. (The
// scan leaves a file with a comment first to Exiv2.)
TEST(PropertyReader, FindsTheDateWhereverTheExifSegmentLies)
{
    QTemporaryDir folder;
    const QByteArray jpeg = readFile(mediaFile("ianare-exif-samples/Canon_40D.jpg"));
    ASSERT_FALSE(jpeg.isEmpty());
    PropertyReader reader;
    for (const int padding : {0, 16000, 16370, 40000}) {
        QByteArray padded = jpeg.left(2);
        for (int left = padding; left > 0; left -= 60000) {
            const int length = std::min(left, 60000) + 2;
            padded += QByteArray("\xFF\xFE", 2) + char(length >> 8) + char(length & 0xFF) + QByteArray(length - 2, 'c');
        }
        padded += jpeg.mid(2);
        const QString file = writeFile(folder.path(), QString("padded-%1.jpg").arg(padding), padded);
        const std::optional<Metadata> quick = readJpegQuickly(file);
        EXPECT_EQ(quick.has_value(), padding == 0);
        const Metadata read = reader.read(file);
        for (const Metadata *found : {quick ? &*quick : &read, &read}) {
            EXPECT_EQ(found->dateTaken, QDateTime(QDate(2008, 5, 30), QTime(15, 56, 1))) << padding;
            EXPECT_EQ(found->dateOrigin.field, DateOrigin::Field::ExifOriginal) << padding;
            EXPECT_EQ(found->cameraModel, "Canon EOS 40D") << padding;
            EXPECT_EQ(found->dateModified, read.dateModified) << padding;
        }
    }
}

TEST(PropertyReader, BrokenFilesGiveEmptyTexts)
{
    QTemporaryDir folder;
    const QByteArray jpeg = readFile(mediaFile("ianare-exif-samples/Canon_40D.jpg"));
    ASSERT_FALSE(jpeg.isEmpty());
    writeFile(folder.path(), "truncated.jpg", jpeg.left(300));
    writeFile(folder.path(), "empty.mp4", QByteArray());
    writeFile(folder.path(), "noise.mov", QByteArray(5000, '\xff'));
    writeFile(folder.path(), "header-only.jpg", jpeg.left(2));

    PropertyReader reader;
    for (const char *name : {"truncated.jpg", "empty.mp4", "noise.mov", "header-only.jpg"}) {
        const Metadata read = reader.read(folder.filePath(name));
        EXPECT_FALSE(read.dateTaken.isValid()) << name;
        EXPECT_EQ(read.length, "") << name;
        EXPECT_TRUE(read.dateModified.isValid()) << name;
    }
    EXPECT_FALSE(reader.read(folder.filePath("missing.jpg")).dateModified.isValid());
}

} // namespace
