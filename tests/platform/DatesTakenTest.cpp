// SPDX-License-Identifier: GPL-3.0-or-later
// Dates a photographer expects: a movie on the day it was filmed where it was
// filmed, pictures dated by whatever date they carry, bursts in order.
#include "platform/AvchdDate.h"
#include "platform/IsolatedReader.h"
#include "platform/PropertyReader.h"
#include "rename/RenameOperations.h"
#include "rename/RenameSession.h"
#include "text/Messages.h"
#include "database/NameDatabase.h"
#include "TestSupport.h"

#include <exiv2/exiv2.hpp>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <ctime>
#include <sys/stat.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// A copy of the generated clip whose movie header says when it was made
// (seconds since 1904, UTC, as the format keeps it).
QString clipMadeAt(const QString &folder, const QString &name, const QDateTime &utc)
{
    const QString path = copyMedia("generated/gen_clip_9s.mov", folder, name);
    QByteArray bytes = readFile(path);
    const qsizetype mvhd = bytes.indexOf("mvhd");
    EXPECT_GT(mvhd, 0);
    EXPECT_EQ(bytes[mvhd + 4], '\0'); // version 0: 32-bit times
    const quint32 seconds = utc.isValid()
        ? quint32(QDateTime(QDate(1904, 1, 1), QTime(0, 0), QTimeZone::utc()).secsTo(utc))
        : 0;
    for (int i = 0; i < 4; ++i)
        bytes[mvhd + 8 + i] = char(seconds >> (24 - 8 * i));
    writeBytes(path, bytes);
    return path;
}

// The rename by date taken over a folder, with a database of its own.
OperationOutcome renameByDateTaken(const QString &folder, std::array<QString, kExtensionBoxCount> extensions,
                                   NamingOption option = NamingOption::Option1)
{
    QTemporaryDir data;
    FixedClock clock{at("2026-01-02 12:34:05")};
    NameDatabase database(data.path(), clock);
    NamingInputs inputs;
    inputs.folder = folder;
    inputs.extensions = std::move(extensions);
    inputs.option = option;
    return RenameSession(clock).run(Operation::ShotDate, inputs, database);
}

class TimeZone {
public:
    explicit TimeZone(const char *zone) { set(zone); }
    ~TimeZone() { set("UTC"); }

private:
    static void set(const char *zone)
    {
        qputenv("TZ", zone);
        ::tzset();
    }
};

TEST(DatesTaken, MoviesGoByTheirRecordingDateInLocalTime)
{
    QTemporaryDir folder;
    const QDateTime eightInTokyo(QDate(2021, 7, 4), QTime(23, 0), QTimeZone::utc());
    const QString tokyo = clipMadeAt(folder.path(), "tokyo.mov", eightInTokyo);
    const QString unset = clipMadeAt(folder.path(), "unset.mov", QDateTime());
    QString apple = copyMedia("metadata-extractor-images/with-gps.mov", folder.path(), "apple.mov");
    QByteArray bytes = readFile(apple);
    const qsizetype where = bytes.indexOf("2019-07-24T11:25:40+0300");
    ASSERT_GT(where, 0);
    bytes.replace(where, 24, "2019-07-25T01:25:40+0900");
    writeBytes(apple, bytes);

    TimeZone japan("Asia/Tokyo");
    PropertyReader reader;
    const Metadata made = reader.read(tokyo);
    EXPECT_EQ(made.dateTaken, QDateTime(QDate(2021, 7, 5), QTime(8, 0)));
    EXPECT_EQ(made.dateOrigin, (DateOrigin{DateOrigin::Field::MovieUtc, "QuickTime", "+09:00"}));
    const Metadata written = reader.read(apple);
    EXPECT_EQ(written.dateTaken, QDateTime(QDate(2019, 7, 25), QTime(1, 25, 40))); // as written, whatever the zone
    EXPECT_EQ(written.dateOrigin, (DateOrigin{DateOrigin::Field::MovieLocal, "QuickTime", "+09:00"}));
    EXPECT_FALSE(reader.read(unset).dateTaken.isValid()); // a zero time is no date: the file time is used

    // Damaged at the end: a copy cut short (in its movie box, or with the
    // movie box first and cut in the media data), or bytes after the last box.
    const QByteArray clip = readFile(mediaFile("generated/gen_clip_65s.mp4"));
    ASSERT_EQ(clip.mid(44, 4), "mdat"); // after the file type and a free box
    const qsizetype movie = qsizetype(qFromBigEndian<quint32>(clip.constData() + 40)) + 40;
    const std::pair<const char *, QByteArray> damaged[] = {
        {"cut.mp4", clip.chopped(1)},
        {"moov-first-cut.mp4", clip.left(32) + clip.mid(movie) + clip.mid(40, movie - 41)},
        {"padded.mp4", clip + "ABCDEFGH"},
        {"free-past-end.mp4", clip + QByteArray::fromHex("00001000") + "free"},
    };
    const QDateTime recorded = reader.read(mediaFile("generated/gen_clip_65s.mp4")).dateTaken;
    ASSERT_EQ(recorded, QDateTime(QDate(2021, 7, 4), QTime(19, 15, 30))); // 10:15:30 UTC in Tokyo
    for (const auto &[name, bytes] : damaged) {
        writeBytes(folder.filePath(name), bytes);
        EXPECT_EQ(reader.read(folder.filePath(name)).dateTaken, recorded) << name;
        QFile::remove(folder.filePath(name));
    }

    setModified(unset, QDateTime(QDate(2022, 1, 2), QTime(3, 4, 5)));
    renameByDateTaken(folder.path(), {"mov"});
    EXPECT_EQ(filesIn(folder.path()), QStringList({"190725-001.mov", "210705-001.mov", "220102-001.mov"}));
}

// A transport stream as an AVCHD camera writes it: the camera's date block
// in the user data of the first picture, escaped as H.264 escapes "0 0 0",
// and placed across the boundary of two packets; `stride` 192 puts a time
// stamp before each packet.
QByteArray avchdStream(qsizetype stride, QByteArray zone)
{
    const QByteArray block = QByteArray::fromHex("17ee8c60f84d11d98cd60800200c9a66") + "MDPM"
        + QByteArray::fromHex("03") + QByteArray::fromHex("18") + zone + QByteArray::fromHex("202603")
        + QByteArray::fromHex("1907000000") + QByteArray::fromHex("7000000000");
    QByteArray userData = QByteArray::fromHex("0000000106052c") + block;
    userData.replace(QByteArray::fromHex("000000"), QByteArray::fromHex("00000300"));
    const QByteArray pes = QByteArray::fromHex("000001e00000800000") + QByteArray(150, '\xff') + userData;
    QByteArray stream;
    for (qsizetype at = 0, counter = 0; at < pes.size(); at += 184, ++counter) {
        if (stride == 192)
            stream += QByteArray(4, '\0');
        stream += QByteArray::fromHex(at == 0 ? "475011" : "471011") + char(0x10 | (counter & 0x0F));
        stream += pes.mid(at, 184).leftJustified(184, '\xff');
    }
    return stream;
}

// The AVCHD date kept in the video stream, read as the camera's wall-clock
// time; damaged streams give no date and do not stop the reader.
TEST(DatesTaken, AvchdClipsGoByTheDateInTheirVideoStream)
{
    QTemporaryDir folder;
    PropertyReader reader;
    const Metadata camera = reader.read(mediaFile("exiftool-t-images/M2TS.mts"));
    EXPECT_EQ(camera.dateTaken, QDateTime(QDate(2008, 12, 31), QTime(23, 16, 24)));
    EXPECT_EQ(camera.dateOrigin, (DateOrigin{DateOrigin::Field::AvchdRecorded, "AVCHD", "+01:00"}));

    const struct {
        qsizetype stride;
        const char *zone;
        const char *offset;
    } layouts[] = {{188, "12", "+09:00"}, {192, "12", "+09:00"}, {188, "2b", "-05:30"}};
    for (const auto &layout : layouts) {
        const QByteArray stream = avchdStream(layout.stride, QByteArray::fromHex(layout.zone));
        QString offset;
        EXPECT_EQ(avchdRecordingDate(stream, &offset), QDateTime(QDate(2026, 3, 7), QTime(0, 0))) << layout.stride;
        EXPECT_EQ(offset, layout.offset);
        for (qsizetype cut = 0; cut < stream.size(); cut += 7)
            avchdRecordingDate(stream.left(cut)); // no crash, whatever it reads
        QByteArray damaged = stream;
        damaged.replace("MDPM\x03", "MDPM\xff"); // more entries than there are
        EXPECT_EQ(avchdRecordingDate(damaged), QDateTime(QDate(2026, 3, 7), QTime(0, 0)));
        damaged.replace(QByteArray::fromHex("18") + QByteArray::fromHex(layout.zone) + QByteArray::fromHex("2026"),
                        QByteArray::fromHex("18") + QByteArray::fromHex(layout.zone) + QByteArray::fromHex("2a26"));
        EXPECT_FALSE(avchdRecordingDate(damaged).isValid()); // not a decimal digit
    }
    writeBytes(folder.filePath("clip.mts"), avchdStream(192, QByteArray::fromHex("12")));
    renameByDateTaken(folder.path(), {"mts"});
    EXPECT_EQ(filesIn(folder.path()), QStringList({"260307-001.mts"}));
}

TEST(DatesTaken, PicturesFallBackToXmpThenIptcAndBurstsKeepTheirOrder)
{
    Exiv2::XmpParser::initialize();
    QTemporaryDir folder;
    const auto edit = [](const QString &path, const std::function<void(Exiv2::Image &)> &change) {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        change(*image);
        image->writeMetadata();
    };
    // Three shots of one second, listed in another order than they were taken.
    const std::pair<const char *, const char *> burst[] = {{"a.jpg", "50"}, {"b.jpg", "10"}, {"c.jpg", "30"}};
    for (const auto &[name, subSeconds] : burst) {
        edit(copyMedia("ianare-exif-samples/Canon_40D.jpg", folder.path(), name), [&](Exiv2::Image &image) {
            image.exifData()["Exif.Photo.SubSecTimeOriginal"] = subSeconds;
        });
    }
    const QString xmpOnly = copyMedia("ianare-exif-samples/Canon_40D.jpg", folder.path(), "x.jpg");
    edit(xmpOnly, [](Exiv2::Image &image) {
        for (const char *key : {"Exif.Photo.DateTimeOriginal", "Exif.Photo.DateTimeDigitized"})
            image.exifData().erase(image.exifData().findKey(Exiv2::ExifKey(key)));
        image.xmpData()["Xmp.exif.DateTimeOriginal"] = "2015-06-01T10:20:30+09:00";
    });
    // News and scanning workflows: the date only in IPTC, its time with an offset.
    const QString iptcOnly = copyMedia("metadata-extractor-images/beach.jpg", folder.path(), "i.jpg");
    edit(iptcOnly, [](Exiv2::Image &image) {
        image.iptcData()["Iptc.Application2.DateCreated"] = "2019-03-12";
        image.iptcData()["Iptc.Application2.TimeCreated"] = "14:05:33+09:00";
    });
    // A time no reader can take leaves the day.
    const QString badTime = copyMedia("metadata-extractor-images/beach.jpg", folder.path(), "j.jpg");
    edit(badTime, [](Exiv2::Image &image) {
        image.iptcData()["Iptc.Application2.DateCreated"] = "2019-03-13";
        Exiv2::StringValue time("1405");
        image.iptcData().add(Exiv2::IptcKey("Iptc.Application2.TimeCreated"), &time);
    });
    // Text whose bytes 4 to 7 are letters is no movie: a sidecar is read for its XMP date.
    const QString sidecar = writeFile(folder.path(), "s.xmp", R"(<?xpacket begin="" id="W5M0MpCehiHzreSzNTczkc9d"?>
<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">
<rdf:Description rdf:about="" xmlns:exif="http://ns.adobe.com/exif/1.0/"
 exif:DateTimeOriginal="2017-08-09T07:08:09"/></rdf:RDF></x:xmpmeta><?xpacket end="w"?>)");
    // A stray byte before the original date spoils it (as Exiv2 reads it): CreateDate is used.
    const QString stray = copyMedia("ianare-exif-samples/Canon_40D.jpg", folder.path(), "n.jpg");
    edit(stray, [](Exiv2::Image &image) {
        image.exifData()["Exif.Photo.DateTimeOriginal"] = std::string("\xA0" "2020:01:01 10:00:00");
        image.exifData()["Exif.Photo.DateTimeDigitized"] = "2019:05:05 05:05:05";
    });
    // A still picture in the movie family of containers gets no length.
    QString cr3 = copyMedia("metadata-extractor-images/IMG_2927.HEIC", folder.path(), "raw.cr3");
    QByteArray bytes = readFile(cr3);
    bytes.replace(8, 4, "crx ");
    writeBytes(cr3, bytes);

    PropertyReader reader;
    const Metadata xmp = reader.read(xmpOnly);
    EXPECT_EQ(xmp.dateTaken, QDateTime(QDate(2015, 6, 1), QTime(10, 20, 30)));
    EXPECT_EQ(xmp.dateOrigin.field, DateOrigin::Field::XmpOriginal);
    EXPECT_EQ(reader.read(cr3).length, "");
    const Metadata iptc = reader.read(iptcOnly);
    EXPECT_EQ(iptc.dateTaken, QDateTime(QDate(2019, 3, 12), QTime(14, 5, 33))); // wall clock as written
    EXPECT_EQ(iptc.dateOrigin.field, DateOrigin::Field::IptcCreated);
    EXPECT_EQ(reader.read(badTime).dateTaken, QDateTime(QDate(2019, 3, 13), QTime(0, 0)));
    EXPECT_EQ(reader.read(sidecar).dateTaken, QDateTime(QDate(2017, 8, 9), QTime(7, 8, 9)));
    EXPECT_EQ(reader.read(stray).dateOrigin.field, DateOrigin::Field::ExifDigitized);

    renameByDateTaken(folder.path(), {"jpg"}, NamingOption::Option3); // the former name shows the order
    EXPECT_EQ(filesIn(folder.path()), QStringList({"080530-001(b).jpg", "080530-002(c).jpg", "080530-003(a).jpg",
                                                   "150601-001(x).jpg", "190312-001(i).jpg", "190313-001(j).jpg", "190505-001(n).jpg", "raw.cr3",
                                                   "s.xmp"}));
}

} // namespace

namespace {

// Files made to hurt the libraries: one that nests its boxes 50,000 deep,
// one whose box claims 2^63 bytes, a link to a pipe. Each is read as having
// no metadata, at once, and the run goes on.
TEST(DatesTaken, HostileFilesAreReadAsHavingNothing)
{
    QTemporaryDir folder;
    QByteArray nested = QByteArray::fromHex("00000010667479706865696300000000"); // ftyp heic
    QByteArray inner;
    for (int level = 0; level < 50000; ++level) {
        const quint32 size = quint32(inner.size()) + 8;
        inner = QByteArray::fromHex(QByteArray::number(size, 16).rightJustified(8, '0')) + "iprp" + inner;
    }
    writeBytes(folder.filePath("deep.heic"), nested + inner);
    writeBytes(folder.filePath("huge.mp4"), QByteArray::fromHex("000000106674797069736f6d00000000"
                                                                "000000016d6461748000000000000000"
                                                                "00000000"));
    // Cut short is no licence: a box may not claim more than the box that
    // holds it, a box that holds others claims no more than 64 MB past the
    // end, and cut-short boxes nest no deeper than others.
    const QByteArray fileType = QByteArray::fromHex("000000106674797069736f6d00000000");
    QByteArray overrun = readFile(QDir(testdataFolder()).filePath("hostile/fuzz-oom.mov"));
    ASSERT_EQ(overrun.mid(120, 4), "trak");
    overrun.replace(116, 4, QByteArray::fromHex("7fffffff"));
    qToBigEndian(quint32(overrun.size()), overrun.data()); // the movie box itself fits
    writeBytes(folder.filePath("trak-overrun.mov"), fileType + overrun);
    QByteArray claimsAll = fileType, cutDeep = fileType;
    for (int level = 0; level < 5000; ++level)
        claimsAll += QByteArray::fromHex("ffffffff") + "moov";
    for (int level = 0; level < 30; ++level)
        cutDeep += QByteArray::fromHex(QByteArray::number(0x100000 - level * 8, 16).rightJustified(8, '0')) + "moov";
    writeBytes(folder.filePath("claims-all.mp4"), claimsAll);
    writeBytes(folder.filePath("cut-deep.mp4"), cutDeep);
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder.filePath("pipe")).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(folder.filePath("pipe"), folder.filePath("pipe.mp4")));
    copyMedia("ianare-exif-samples/Canon_40D.jpg", folder.path(), "photo.jpg");

    // What made the libraries spin, found by the fuzzer or by hand: QuickTime
    // files that start with a movie box rather than a file type box, and
    // whose boxes do not fit.
    QStringList hostile = {"deep.heic", "huge.mp4", "pipe.mp4", "trak-overrun.mov", "claims-all.mp4", "cut-deep.mp4"};
    for (const QString name : {"fuzz-spin-moov.mov", "fuzz-spin-stts.mov", "flipped-quicktime.mov"}) {
        QFile::copy(QDir(testdataFolder()).filePath("hostile/" + name), folder.filePath(name));
        hostile << name;
    }

    PropertyReader reader;
    for (const QString &name : hostile) {
        const Metadata read = reader.read(folder.filePath(name));
        EXPECT_FALSE(read.dateTaken.isValid()) << name.toStdString();
        EXPECT_EQ(read.length, "") << name.toStdString();
    }

    const OperationOutcome outcome = renameByDateTaken(folder.path(), {"jpg", "heic", "mp4", "mov"});
    EXPECT_EQ(outcome.status, OperationOutcome::Status::Completed);
    EXPECT_FALSE(text::outcomeMessage(outcome).contains("読み取れない")) << text::outcomeMessage(outcome).toStdString(); // none cost a worker
    EXPECT_TRUE(filesIn(folder.path()).contains("080530-001.jpg"));
}

} // namespace

namespace {

// A movie with a few bytes flipped drives MediaInfoLib to gigabytes: the
// worker that reads it dies at its memory limit, the file is dated by its
// file time and named in the closing message, and the next file is read by a
// new worker.
TEST(DatesTaken, AFileThatKillsTheReaderCostsOnlyTheWorker)
{
    QTemporaryDir folder;
    // Noise before a damaged QuickTime file: no box to check, and MediaInfoLib hangs on it.
    QFile::copy(QDir(testdataFolder()).filePath("hostile/noise-then-quicktime.mov"), folder.filePath("a.mov"));
    copyMedia("generated/gen_clip_9s.mov", folder.path(), "b.mov");
    setModified(folder.filePath("a.mov"), at("2022-02-02 10:00:00"));

    IsolatedPropertyReader reader;
    EXPECT_FALSE(reader.read(folder.filePath("a.mov")).dateTaken.isValid());
    EXPECT_EQ(reader.unreadable(), QStringList({"a.mov"}));
    EXPECT_EQ(reader.read(folder.filePath("b.mov")).length, "00:00:09");
    // What the fuzzer found: each ends, with no date.
    // A box of a name no file starts with is left to the libraries, and to the worker's limits.
    for (const char *found : {"fuzz-oom.mov", "fuzz-leak.mpg", "fuzz-oom.3gp", "unknown-first-box.mov"})
        EXPECT_FALSE(reader.read(QDir(testdataFolder()).filePath(QStringLiteral("hostile/") + found)).dateTaken.isValid());

    const OperationOutcome outcome = renameByDateTaken(folder.path(), {"mov"});
    EXPECT_EQ(std::tuple(outcome.renamed, outcome.failed), std::tuple(2, 0));
    EXPECT_EQ(outcome.plan.unreadable, QStringList{"a.mov"}); // dated by its file time
    EXPECT_EQ(filesIn(folder.path()), QStringList({"210705-001.mov", "220202-001.mov"}));
}

} // namespace
