#include "platform/PropertyReader.h"

#include "platform/FileSystem.h"

#include <exiv2/exiv2.hpp>
#include <MediaInfo/MediaInfo.h>

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

#include <cmath>
#include <map>
#include <mutex>

namespace pelmora {

namespace {

constexpr QChar kMark(0x200E);

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

struct PictureMetadata {
    bool isPicture = false; // a still picture: no playing length to look for
    QDateTime dateTaken;
    QString cameraModel;
};

// The picture's metadata, read; nullptr for what is no still picture Exiv2
// knows (movies go to MediaInfoLib). Throws on a damaged file.
Exiv2::Image::AutoPtr openPicture(const QString &path, bool &isPicture)
{
    const std::string file = QFile::encodeName(path).toStdString();
    const int type = Exiv2::ImageFactory::getType(file);
    if (type == Exiv2::ImageType::none || isMovieType(type))
        return {};
    auto image = Exiv2::ImageFactory::open(file);
    if (!image.get())
        return image;
    // ISO BMFF holds HEIC pictures and MP4 movies alike.
    isPicture = type != Exiv2::ImageType::bmff;
    image->readMetadata();
    return image;
}

PictureMetadata readPicture(const QString &path)
{
    PictureMetadata result;
    try {
        const auto image = openPicture(path, result.isPicture);
        if (!image.get())
            return result;
        const Exiv2::ExifData &exif = image->exifData();
        result.dateTaken = parseExifDateTime(exifText(exif, "Exif.Photo.DateTimeOriginal"));
        result.cameraModel = trimmedModel(exifText(exif, "Exif.Image.Model"));
    } catch (...) {
        // Corrupt or truncated: whatever was read so far stands.
    }
    return result;
}

// The value as Exiv2 prints it for people ("1/160 s", "F7.1"); empty when absent.
QString printed(const Exiv2::ExifData &exif, const char *key)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it == exif.end())
        return {};
    return QString::fromStdString(it->print(&exif)).trimmed();
}

} // namespace

QString dateColumnText(const QDateTime &value)
{
    if (!value.isValid())
        return {};
    const QDate d = value.date();
    const QTime t = value.time();
    return QStringLiteral("%1%2/%1%3/%1%4 %1%1%5")
        .arg(kMark)
        .arg(d.year(), 4, 10, QChar(u'0'))
        .arg(d.month(), 2, 10, QChar(u'0'))
        .arg(d.day(), 2, 10, QChar(u'0'))
        .arg(t.toString(QStringLiteral("HH:mm:ss")));
}

QDateTime parseExifDateTime(const QString &text)
{
    QDateTime value = QDateTime::fromString(text.trimmed().left(19), QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    if (!value.isValid() || value.date().year() < 1)
        return {};
    return value;
}

QString lengthColumnText(double milliseconds)
{
    if (!(milliseconds >= 0))
        return {};
    const qint64 total = std::llround(milliseconds / 1000.0);
    return QStringLiteral("%1:%2:%3")
        .arg(total / 3600, 2, 10, QChar(u'0'))
        .arg(total / 60 % 60, 2, 10, QChar(u'0'))
        .arg(total % 60, 2, 10, QChar(u'0'));
}

struct PropertyReader::Media {
    MediaInfoLib::MediaInfo info;

    QString length(const QString &path)
    {
        std::map<int, QString> columns;
        read(path, columns);
        return columns[column::Length];
    }

    // Length, frame size and frame rate of a movie.
    void read(const QString &path, std::map<int, QString> &columns)
    {
        if (info.Open(path.toStdWString()) == 0)
            return;
        const auto get = [this](MediaInfoLib::stream_t stream, const wchar_t *field) {
            return QString::fromStdWString(info.Get(stream, 0, field));
        };
        bool ok = false;
        const double milliseconds = get(MediaInfoLib::Stream_General, L"Duration").toDouble(&ok);
        if (ok)
            columns[column::Length] = lengthColumnText(milliseconds);
        const QString width = get(MediaInfoLib::Stream_Video, L"Width");
        const QString height = get(MediaInfoLib::Stream_Video, L"Height");
        if (!width.isEmpty() && !height.isEmpty())
            columns[column::FrameSize] = width + QStringLiteral(" x ") + height;
        const QString rate = get(MediaInfoLib::Stream_Video, L"FrameRate");
        if (!rate.isEmpty())
            columns[column::FrameRate] = rate + QStringLiteral(" fps");
        info.Close();
    }
};

PropertyReader::PropertyReader()
    : media_(std::make_unique<Media>())
{
    initialiseExiv2Once();
    media_->info.Option(L"ParseSpeed", L"0");
}

PropertyReader::~PropertyReader() = default;

ShotProperties PropertyReader::read(const QString &path)
{
    ShotProperties result;
    const PictureMetadata picture = readPicture(path);
    result.dateTaken = picture.dateTaken;
    result.cameraModel = picture.cameraModel;
    result.dateModified = fs::lastModified(path);
    if (!picture.isPicture)
        result.length = media_->length(path);
    return result;
}

QString PropertyReader::cameraModel(const QString &path)
{
    return readPicture(path).cameraModel;
}

std::map<int, QString> PropertyReader::columns(const QString &path)
{
    std::map<int, QString> columns;
    const QFileInfo file(path);
    if (!file.isFile())
        return columns;
    columns[column::Size] = QString::number(file.size());
    columns[column::Type] = QMimeDatabase().mimeTypeForFile(path).name();
    columns[column::DateModified] = dateColumnText(fs::lastModified(path));
    columns[column::DateCreated] = dateColumnText(file.birthTime());
    columns[column::DateAccessed] = dateColumnText(file.lastRead());
    bool isPicture = false;
    try {
        const auto image = openPicture(path, isPicture);
        if (image.get()) {
            const Exiv2::ExifData &exif = image->exifData();
            columns[column::DateTaken] =
                dateColumnText(parseExifDateTime(exifText(exif, "Exif.Photo.DateTimeOriginal")));
            columns[column::CameraModel] = trimmedModel(exifText(exif, "Exif.Image.Model"));
            columns[column::CameraMaker] = trimmedModel(exifText(exif, "Exif.Image.Make"));
            if (image->pixelWidth() > 0 && image->pixelHeight() > 0)
                columns[column::Dimensions] =
                    QStringLiteral("%1 x %2").arg(image->pixelWidth()).arg(image->pixelHeight());
            columns[column::ExposureTime] = printed(exif, "Exif.Photo.ExposureTime");
            columns[column::FNumber] = printed(exif, "Exif.Photo.FNumber");
            columns[column::Iso] = printed(exif, "Exif.Photo.ISOSpeedRatings");
            columns[column::FocalLength] = printed(exif, "Exif.Photo.FocalLength");
            const auto position = [&](const char *value, const char *reference) {
                const QString text = printed(exif, value);
                return text.isEmpty() ? text : text + u' ' + exifText(exif, reference);
            };
            columns[column::Latitude] = position("Exif.GPSInfo.GPSLatitude", "Exif.GPSInfo.GPSLatitudeRef");
            columns[column::Longitude] = position("Exif.GPSInfo.GPSLongitude", "Exif.GPSInfo.GPSLongitudeRef");
        }
    } catch (...) {
        // Corrupt or truncated: whatever was read so far stands.
    }
    if (!isPicture)
        media_->read(path, columns);
    return columns;
}

QString PropertyReader::columnText(const QString &path, int columnNumber)
{
    switch (columnNumber) {
    case column::DateModified:
        return dateColumnText(fs::lastModified(path));
    case column::DateTaken:
        return dateColumnText(readPicture(path).dateTaken);
    case column::CameraModel:
        return cameraModel(path);
    case column::Length:
        return read(path).length;
    default:
        return {};
    }
}

} // namespace pelmora
