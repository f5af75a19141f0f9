// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PropertyReader.h"

#include "platform/AvchdDate.h"
#include "platform/BoxCheck.h"
#include "platform/Clock.h"
#include "platform/ExifScan.h"
#include "platform/FileSystem.h"

#include <exiv2/exiv2.hpp>
#include <MediaInfo/MediaInfo.h>

#include <QFile>
#include <QFileInfo>
#include <QDataStream>
#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <mutex>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {

namespace {

// Exiv2 image types that are movie containers: their length comes from
// MediaInfoLib, and Exiv2's movie parsers are not trusted with odd files.
// (Their headers do not compile on their own: riff 20, mkv 21, qtime 22, asf 24.)
bool isMovieType(int type)
{
    return type == 20 || type == 21 || type == 22 || type == 24;
}

void initialiseExiv2Once()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::enableBMFF(true);
    });
}

QString exifText(const Exiv2::ExifData &exif, const char *key)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it == exif.end())
        return {};
    return QString::fromStdString(it->toString());
}

QString trimmedModel(QString text)
{
    // Cameras pad the model with NULs or blanks.
    while (!text.isEmpty() && (text.back() == QChar(u'\0') || text.back().isSpace()))
        text.chop(1);
    return text;
}

// ISO BMFF holds still pictures (HEIC, AVIF, Canon's CR3) and movies alike:
// the major brand of the file type box tells them apart.
bool isStillBmff(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(12);
    if (head.size() < 12 || head.mid(4, 4) != "ftyp")
        return false;
    static const QByteArrayList stills = {"heic", "heix", "heim", "heis", "mif1", "msf1", "avif", "avis", "crx "};
    return stills.contains(head.mid(8, 4));
}

// "2008-03-15T09:52:01-04:00" as the wall-clock time written, its offset left
// as it is: the photographer's local time.
QDateTime parseWallClock(const QString &text)
{
    QString value = text.trimmed().left(19);
    value.replace(u'T', u' ');
    QDateTime date = QDateTime::fromString(value, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!date.isValid())
        date = QDateTime::fromString(value.left(16), QStringLiteral("yyyy-MM-dd HH:mm"));
    return date.isValid() && date.date().year() >= 1 ? date : QDateTime();
}

QString xmpText(const Exiv2::XmpData &xmp, const char *key)
{
    const auto it = xmp.findKey(Exiv2::XmpKey(key));
    return it == xmp.end() ? QString() : QString::fromStdString(it->toString());
}

QString iptcText(const Exiv2::IptcData &iptc, const char *key)
{
    const auto it = iptc.findKey(Exiv2::IptcKey(key));
    return it == iptc.end() ? QString() : QString::fromStdString(it->toString());
}

// The offset from UTC written beside the date taken ("+02:00"), else the
// one beside the file's date: the zone the camera was set to. Read on many
// threads at once: no shared QRegularExpression, which is not made for it.
QString photoZone(const QString &original, const QString &modified)
{
    const auto digit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    for (const QString &text : {original, modified}) {
        const QString offset = text.trimmed();
        if (offset.size() == 6 && (offset[0] == u'+' || offset[0] == u'-') && digit(offset[1]) && digit(offset[2])
            && offset[3] == u':' && digit(offset[4]) && digit(offset[5]))
            return offset;
    }
    return {};
}

// EXIF DateTimeOriginal, then CreateDate (DateTimeDigitized), with the
// sub-seconds of the original for bursts; false when neither holds a date.
bool takeExifDate(const QString &original, const QString &digitized, const QString &subSecondText,
                  Metadata &result)
{
    const std::pair<const QString &, DateOrigin::Field> exifDates[] = {
        {original, DateOrigin::Field::ExifOriginal},
        {digitized, DateOrigin::Field::ExifDigitized},
    };
    for (const auto &[text, field] : exifDates) {
        result.dateTaken = parseExifDateTime(text);
        if (result.dateTaken.isValid()) {
            result.dateOrigin = {field, {}, {}};
            const QString subSeconds = subSecondText.trimmed();
            bool ok = false;
            const double fraction = (QStringLiteral("0.") + subSeconds).toDouble(&ok);
            if (ok && !subSeconds.isEmpty() && subSeconds.size() <= 9)
                result.subSecond = fraction;
            return true;
        }
    }
    return false;
}

// Date taken: the EXIF dates, then the XMP ones, then the IPTC one.
void readDateTaken(const Exiv2::Image &image, Metadata &result)
{
    const Exiv2::ExifData &exif = image.exifData();
    if (takeExifDate(exifText(exif, "Exif.Photo.DateTimeOriginal"), exifText(exif, "Exif.Photo.DateTimeDigitized"),
                     exifText(exif, "Exif.Photo.SubSecTimeOriginal"), result))
        return;
    const std::pair<const char *, DateOrigin::Field> xmpDates[] = {
        {"Xmp.exif.DateTimeOriginal", DateOrigin::Field::XmpOriginal},
        {"Xmp.xmp.CreateDate", DateOrigin::Field::XmpCreated},
        {"Xmp.photoshop.DateCreated", DateOrigin::Field::XmpPhotoshop},
    };
    for (const auto &[key, field] : xmpDates) {
        result.dateTaken = parseWallClock(xmpText(image.xmpData(), key));
        if (result.dateTaken.isValid()) {
            result.dateOrigin = {field, {}, {}};
            return;
        }
    }
    // News and scanning workflows write the date only as IPTC: a day, and a
    // time with its offset (without a time: the day's start).
    const QString day = iptcText(image.iptcData(), "Iptc.Application2.DateCreated");
    if (day.isEmpty())
        return;
    // A time that cannot be read leaves the day, as no time does.
    const QString time = iptcText(image.iptcData(), "Iptc.Application2.TimeCreated");
    result.dateTaken = parseWallClock(day + u'T' + time);
    if (!result.dateTaken.isValid())
        result.dateTaken = parseWallClock(day + QStringLiteral("T00:00:00"));
    if (result.dateTaken.isValid())
        result.dateOrigin = {DateOrigin::Field::IptcCreated, {}, {}};
}

// The picture's metadata, read; nullptr for what is no still picture Exiv2
// knows (movies go to MediaInfoLib). Throws when the file cannot be opened;
// damage after its metadata leaves what was read.
Exiv2::Image::AutoPtr openPicture(const QString &path, bool &isPicture)
{
    const std::string file = QFile::encodeName(path).toStdString();
    const int type = Exiv2::ImageFactory::getType(file);
    if (type == Exiv2::ImageType::none || isMovieType(type))
        return Exiv2::Image::AutoPtr();
    auto image = Exiv2::ImageFactory::open(file);
    if (!image.get())
        return image;
    isPicture = type != Exiv2::ImageType::bmff || isStillBmff(path);
    try {
        image->readMetadata();
    } catch (const Exiv2::AnyError &) {
        // Damage after the metadata (a file cut short in its picture data):
        // what was read before it stands.
    }
    return image;
}

} // namespace

bool namedAsJpeg(const QString &path)
{
    static const QStringList kJpegExtensions = {QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("jpe"),
                                                QStringLiteral("jfif")};
    return kJpegExtensions.contains(fs::extensionOf(path), Qt::CaseInsensitive);
}

std::optional<Metadata> readJpegQuickly(int descriptor, const struct ::stat &info, QByteArrayView given)
{
    std::optional<ExifDateFields> fields;
    if (const auto exif = findJpegExif(given)) {
        const qsizetype end = exif->offset + exif->length;
        QByteArray more;
        QByteArrayView head = given;
        // The segment runs past the head given: what the file holds of the
        // rest is read.
        if (end > head.size() && qint64(head.size()) < qint64(info.st_size)) {
            more.resize(end);
            const ssize_t got = ::pread(descriptor, more.data(), size_t(end), 0);
            more.truncate(std::max<qsizetype>(got, 0));
            head = more;
        }
        if (end <= head.size())
            fields = scanExifDates(head.sliced(exif->offset, exif->length));
    }
    Metadata result;
    if (!fields
        || !takeExifDate(QString::fromUtf8(fields->dateTimeOriginal), QString::fromUtf8(fields->dateTimeDigitized),
                         QString::fromUtf8(fields->subSecTimeOriginal), result))
        return std::nullopt;
    result.cameraModel = trimmedModel(QString::fromUtf8(fields->model));
    result.cameraMaker = trimmedModel(QString::fromUtf8(fields->make));
    result.cameraSerial = trimmedModel(QString::fromUtf8(fields->bodySerialNumber));
    result.zone = photoZone(QString::fromUtf8(fields->offsetTimeOriginal), QString::fromUtf8(fields->offsetTime));
    result.dateModified = fs::lastModified(info);
    return result;
}

namespace {

// The value as Exiv2 prints it for people ("1/160 s", "F7.1"); empty when absent.
QString printed(const Exiv2::ExifData &exif, const char *key)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it == exif.end())
        return {};
    return QString::fromStdString(it->print(&exif)).trimmed();
}

// GPSDateStamp and GPSTimeStamp: UTC, from the satellites; invalid when
// either is missing or out of range, or before 2000 or in the future (a
// receiver without a fix writes 1970-01-01).
QDateTime gpsTime(const Exiv2::ExifData &exif)
{
    const QDate day = QDate::fromString(exifText(exif, "Exif.GPSInfo.GPSDateStamp").trimmed(), QStringLiteral("yyyy:MM:dd"));
    const auto time = exif.findKey(Exiv2::ExifKey("Exif.GPSInfo.GPSTimeStamp"));
    if (!day.isValid() || time == exif.end() || time->count() != 3)
        return {};
    double parts[3];
    for (long i = 0; i < 3; ++i) {
        const Exiv2::Rational part = time->toRational(i);
        if (part.second <= 0 || part.first < 0)
            return {};
        parts[i] = double(part.first) / part.second;
    }
    if (parts[0] >= 24 || parts[1] >= 60 || parts[2] >= 61)
        return {};
    const qint64 seconds = std::llround(parts[0] * 3600 + parts[1] * 60 + parts[2]);
    const QDateTime utc = QDateTime(day, QTime(0, 0), QTimeZone::utc()).addSecs(seconds);
    if (day.year() < 2000 || utc > QDateTime::currentDateTimeUtc().addDays(1))
        return {};
    return utc;
}

// What Exiv2 has read of a picture.
void readPictureInto(const Exiv2::Image &image, Metadata &result)
{
    readDateTaken(image, result);
    const Exiv2::ExifData &exif = image.exifData();
    result.cameraModel = trimmedModel(exifText(exif, "Exif.Image.Model"));
    result.cameraMaker = trimmedModel(exifText(exif, "Exif.Image.Make"));
    result.cameraSerial = trimmedModel(exifText(exif, "Exif.Photo.BodySerialNumber"));
    if (result.dateOrigin.field == DateOrigin::Field::ExifOriginal
        || result.dateOrigin.field == DateOrigin::Field::ExifDigitized)
        result.zone = photoZone(exifText(exif, "Exif.Photo.OffsetTimeOriginal"), exifText(exif, "Exif.Photo.OffsetTime"));
    result.gpsTime = gpsTime(exif);
    if (image.pixelWidth() > 0 && image.pixelHeight() > 0)
        result.pictureSize = QStringLiteral("%1 x %2").arg(image.pixelWidth()).arg(image.pixelHeight());
    result.exposureTime = printed(exif, "Exif.Photo.ExposureTime");
    result.fNumber = printed(exif, "Exif.Photo.FNumber");
    result.iso = printed(exif, "Exif.Photo.ISOSpeedRatings");
    result.focalLength = printed(exif, "Exif.Photo.FocalLength");
    // "35°39'31\"N", as maps write it; Exiv2 prints "35deg 39' 31\"".
    const auto position = [&](const char *value, const char *reference) {
        QString text = printed(exif, value);
        if (text.isEmpty())
            return text;
        text.replace(QStringLiteral("deg "), QStringLiteral("°")).replace(QStringLiteral("' "), QStringLiteral("'"));
        return text + exifText(exif, reference).trimmed();
    };
    result.latitude = position("Exif.GPSInfo.GPSLatitude", "Exif.GPSInfo.GPSLatitudeRef");
    result.longitude = position("Exif.GPSInfo.GPSLongitude", "Exif.GPSInfo.GPSLongitudeRef");
}

} // namespace

QDateTime parseExifDateTime(const QString &text)
{
    const QString written = text.trimmed().left(19);
    QDateTime value = parseFixedDateTime(written, u':');
    if (!value.isValid()) // a form the fixed one is not: Qt's parser is kinder to it
        value = QDateTime::fromString(written, QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    if (!value.isValid() || value.date().year() < 1)
        return {};
    return value;
}

QString lengthText(double milliseconds)
{
    if (!(milliseconds >= 0))
        return {};
    const qint64 total = std::llround(milliseconds / 1000.0);
    return QStringLiteral("%1:%2:%3")
        .arg(total / 3600, 2, 10, QChar(u'0'))
        .arg(total / 60 % 60, 2, 10, QChar(u'0'))
        .arg(total % 60, 2, 10, QChar(u'0'));
}

namespace {

// A recording date from before there were digital movies, or from the
// future, is a clock that was never set: no date.
bool plausibleRecordingDate(const QDateTime &date)
{
    return date.isValid() && date.date().year() > 1970 && date <= QDateTime::currentDateTime().addDays(1);
}

// "+0900", "+09:00" or "Z" after a written time, as "+09:00"; empty when
// there is none.
QString writtenOffset(const QString &text)
{
    static const QRegularExpression offset(QStringLiteral("^\\s*([+-])(\\d\\d):?(\\d\\d)"));
    if (text.trimmed() == u"Z")
        return QStringLiteral("+00:00");
    const QRegularExpressionMatch match = offset.match(text);
    return match.hasMatch() ? match.captured(1) + match.captured(2) + u':' + match.captured(3) : QString();
}

} // namespace

struct PropertyReader::Media {
    MediaInfoLib::MediaInfo info;

    // Length, frame size and frame rate; the recording date, in local
    // wall-clock time, when the file has no date taken yet.
    void read(const QString &path, Metadata &result)
    {
        if (info.Open(path.toStdWString()) == 0)
            return;
        const auto get = [this](MediaInfoLib::stream_t stream, const wchar_t *field) {
            return QString::fromStdWString(info.Get(stream, 0, field)).trimmed();
        };
        bool ok = false;
        const double milliseconds = get(MediaInfoLib::Stream_General, L"Duration").toDouble(&ok);
        if (ok)
            result.length = lengthText(milliseconds);
        const QString width = get(MediaInfoLib::Stream_Video, L"Width");
        const QString height = get(MediaInfoLib::Stream_Video, L"Height");
        if (!width.isEmpty() && !height.isEmpty())
            result.frameSize = width + QStringLiteral(" x ") + height;
        if (result.cameraModel.isEmpty() && result.cameraMaker.isEmpty()) {
            // The user data's, else the metadata keys' (phones write only those).
            const auto either = [&](const wchar_t *userData, const wchar_t *key) {
                const QString value = get(MediaInfoLib::Stream_General, userData);
                return value.isEmpty() ? get(MediaInfoLib::Stream_General, key) : value;
            };
            result.cameraMaker = either(L"Make", L"com.apple.quicktime.make");
            result.cameraModel = either(L"Model", L"com.apple.quicktime.model");
        }
        const QString rate = get(MediaInfoLib::Stream_Video, L"FrameRate");
        if (!rate.isEmpty())
            result.frameRate = rate + QStringLiteral(" fps");
        if (result.dateTaken.isValid()) {
            info.Close();
            return;
        }
        recordingDate(get, result.dateTaken, result.dateOrigin);
        info.Close();
        if (!result.dateTaken.isValid())
            avchdDate(path, result.dateTaken, result.dateOrigin);
    }

    // AVCHD cameras keep the date in the video stream, where MediaInfoLib
    // does not look; it is the local time of the camera's clock.
    static void avchdDate(const QString &path, QDateTime &taken, DateOrigin &origin)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return;
        QString offset;
        const QDateTime recorded = avchdRecordingDate(file.read(kAvchdHeadBytes), &offset);
        if (plausibleRecordingDate(recorded)) {
            taken = recorded;
            origin = {DateOrigin::Field::AvchdRecorded, QStringLiteral("AVCHD"), offset};
        }
    }

    // Apple's creation date carries the local time and its offset: used as
    // written. The container's creation time is UTC: turned into this
    // computer's local time. A recorded date without a zone: as written.
    template <typename Get> static void recordingDate(const Get &get, QDateTime &taken, DateOrigin &origin)
    {
        const QString apple = get(MediaInfoLib::Stream_General, L"com.apple.quicktime.creationdate");
        taken = parseWallClock(apple);
        if (plausibleRecordingDate(taken)) {
            origin = {DateOrigin::Field::MovieLocal, QStringLiteral("QuickTime"), writtenOffset(apple.mid(19))};
            return;
        }
        QString encoded = get(MediaInfoLib::Stream_General, L"Encoded_Date");
        if (encoded.contains(QStringLiteral("UTC"))) {
            encoded.remove(QStringLiteral("UTC"));
            QDateTime utc = QDateTime::fromString(encoded.trimmed().left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            utc.setTimeZone(QTimeZone::utc());
            taken = utc.toLocalTime();
            if (utc.isValid() && plausibleRecordingDate(taken)) {
                const QString format = get(MediaInfoLib::Stream_General, L"Format");
                const QString container = format == u"Windows Media" ? QStringLiteral("ASF")
                    : format == u"Matroska" || format == u"WebM"     ? QStringLiteral("Matroska")
                                                                      : QStringLiteral("QuickTime");
                origin = {DateOrigin::Field::MovieUtc, container, utcOffsetText(taken.offsetFromUtc())};
                taken = QDateTime(taken.date(), taken.time()); // wall-clock, as every other date
                return;
            }
        }
        for (const wchar_t *field : {L"Recorded_Date", L"Mastered_Date"}) {
            QString recorded = get(MediaInfoLib::Stream_General, field);
            recorded.replace(u'/', u'-');
            taken = parseWallClock(recorded);
            if (plausibleRecordingDate(taken)) {
                origin = {DateOrigin::Field::MovieRecorded, get(MediaInfoLib::Stream_General, L"Format"), {}};
                return;
            }
        }
        taken = {};
    }
};

PropertyReader::PropertyReader()
    : media_(std::make_unique<Media>())
{
    initialiseExiv2Once();
    media_->info.Option(L"ParseSpeed", L"0");
}

PropertyReader::~PropertyReader() = default;

void useUtf8FileNames()
{
    if (const char *ctype = std::setlocale(LC_CTYPE, nullptr); ctype && std::strcmp(ctype, "C") == 0)
        std::setlocale(LC_CTYPE, "C.UTF-8");
}

Metadata PropertyReader::read(const QString &path)
{
    Metadata result;
    result.dateModified = fs::lastModified(path);
    if (!QFileInfo(path).isFile() || !safeToRead(path))
        return result;
    bool isPicture = false;
    try {
        const auto image = openPicture(path, isPicture);
        if (image.get())
            readPictureInto(*image, result);
    } catch (...) {
        // Corrupt or truncated: whatever was read so far stands.
    }
    if (!isPicture)
        media_->read(path, result);
    return result;
}

QDataStream &operator<<(QDataStream &out, const DateOrigin &origin)
{
    return out << quint8(origin.field) << origin.container << origin.offset;
}

QDataStream &operator>>(QDataStream &in, DateOrigin &origin)
{
    quint8 field = 0;
    in >> field >> origin.container >> origin.offset;
    origin.field = field <= quint8(DateOrigin::Field::AvchdRecorded) ? DateOrigin::Field(field) : DateOrigin::Field::None;
    return in;
}

QDataStream &operator<<(QDataStream &out, const Metadata &m)
{
    return out << m.dateTaken << m.dateOrigin << m.subSecond << m.dateModified << m.cameraModel << m.length
               << m.cameraMaker << m.cameraSerial << m.zone << m.gpsTime << m.pictureSize << m.exposureTime << m.fNumber << m.iso << m.focalLength
               << m.latitude << m.longitude << m.frameSize << m.frameRate;
}

QDataStream &operator>>(QDataStream &in, Metadata &m)
{
    return in >> m.dateTaken >> m.dateOrigin >> m.subSecond >> m.dateModified >> m.cameraModel >> m.length
        >> m.cameraMaker >> m.cameraSerial >> m.zone >> m.gpsTime >> m.pictureSize >> m.exposureTime >> m.fNumber >> m.iso >> m.focalLength >> m.latitude
        >> m.longitude >> m.frameSize >> m.frameRate;
}

} // namespace pelmora
