#include "platform/PropertyReader.h"

#include "platform/FileSystem.h"

#include <exiv2/exiv2.hpp>
#include <MediaInfo/MediaInfo.h>

#include <QFile>

#include <cmath>
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

PictureMetadata readPicture(const QString &path)
{
    PictureMetadata result;
    try {
        const std::string file = QFile::encodeName(path).toStdString();
        const int type = Exiv2::ImageFactory::getType(file);
        if (type == Exiv2::ImageType::none || isMovieType(type))
            return result;
        auto image = Exiv2::ImageFactory::open(file);
        if (!image.get())
            return result;
        // ISO BMFF holds HEIC pictures and MP4 movies alike.
        result.isPicture = type != Exiv2::ImageType::bmff;
        image->readMetadata();
        const Exiv2::ExifData &exif = image->exifData();
        result.dateTaken = parseExifDateTime(exifText(exif, "Exif.Photo.DateTimeOriginal"));
        result.cameraModel = trimmedModel(exifText(exif, "Exif.Image.Model"));
    } catch (...) {
        // Corrupt or truncated: whatever was read so far stands.
    }
    return result;
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
        if (info.Open(path.toStdWString()) == 0)
            return {};
        const std::wstring duration = info.Get(MediaInfoLib::Stream_General, 0, L"Duration");
        info.Close();
        if (duration.empty())
            return {};
        bool ok = false;
        const double milliseconds = QString::fromStdWString(duration).toDouble(&ok);
        return ok ? lengthColumnText(milliseconds) : QString();
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
