// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QDataStream;

#include <sys/stat.h>

namespace pelmora {

// Where a date taken came from: the field that held it and, for a movie,
// its container and the offset from UTC of the time given.
struct DateOrigin {
    enum class Field : quint8 {
        None,
        ExifOriginal,   // EXIF DateTimeOriginal
        ExifDigitized,  // EXIF CreateDate (DateTimeDigitized)
        XmpOriginal,    // exif:DateTimeOriginal
        XmpCreated,     // xmp:CreateDate
        XmpPhotoshop,   // photoshop:DateCreated
        IptcCreated,    // DateCreated with TimeCreated
        MovieLocal,     // Apple's creation date: local time, its offset written ("+09:00")
        MovieUtc,       // the container's UTC creation time, turned into this computer's time (offset of that)
        MovieRecorded,  // a recorded date without a zone
        AvchdRecorded,  // the camera clock's time in the video stream, its offset ("+01:00", "+01:00 DST")
    };
    Field field = Field::None;
    QString container; // of a movie: "QuickTime", "ASF", "Matroska", or the format's name
    QString offset;    // "+09:00"; empty when none is known
    bool operator==(const DateOrigin &) const = default;
};

// What Pelmora reads of one file: what the renames go by, and what the
// attribute display shows besides. Texts are empty when the file has none.
struct Metadata {
    QDateTime dateTaken;    // local wall-clock time; invalid when the file has none
    DateOrigin dateOrigin;  // where the date taken came from
    double subSecond = -1;  // fraction of the second taken, for bursts; -1 when unknown
    QDateTime dateModified; // invalid when the file cannot be read
    QString cameraModel;
    QString cameraMaker;
    QString cameraSerial;   // of the body, where the file names it
    QString zone;           // "+02:00": the offset from UTC written beside a photo's date; empty when none
    QString length;         // "HH:MM:SS" of a movie or sound
    // Not read by the quick scan of a JPEG, which a rename uses.
    QDateTime gpsTime;      // UTC, from the satellites; invalid when none
    QString pictureSize;    // "4000 x 3000" pixels
    QString exposureTime;   // as Exiv2 prints them: "1/160 s", "F7.1", ...
    QString fNumber;
    QString iso;
    QString focalLength;
    QString latitude;       // with its reference: "35°39'31\"N"
    QString longitude;
    QString frameSize;      // of a movie: "1920 x 1080"
    QString frameRate;      // "29.970 fps"
};
QDataStream &operator<<(QDataStream &out, const Metadata &metadata);
QDataStream &operator>>(QDataStream &in, Metadata &metadata);

// "YYYY:MM:DD HH:MM:SS" as EXIF writes it; invalid for blank or zero dates.
QDateTime parseExifDateTime(const QString &text);
// "HH:MM:SS", rounded to the nearest second.
QString lengthText(double milliseconds);

// MediaInfoLib turns a wide path back into bytes by the C library's locale:
// in the plain "C" locale a name such as 動画.mp4 would not open. Each
// program calls this once at its start, after Qt has set the locale.
void useUtf8FileNames();

// A file named as a JPEG (jpg, jpeg, jpe, jfif, any case): the only files
// the quick scan reads.
bool namedAsJpeg(const QString &path);

// The date taken, camera model and file time of a JPEG whose Exif segment
// holds a date taken, read by Pelmora's own bounded scan of at most the
// file's first 64 KB: safe in any process and on any thread. Nothing for any
// other file. From a file open already, what fstat gave of it, and its head
// as read (more is read only where the Exif segment runs past it).
std::optional<Metadata> readJpegQuickly(int fd, const struct ::stat &info, QByteArrayView head);

// What the renames go by of many files at once, in their order. `quick`
// holds what the quick scan of a JPEG found already. `tick` is called with
// the number of files done as each is, and now and then while one takes
// long; when it answers false, the reading stops there and the files not
// read yet get empty values.
using ReadTick = std::function<bool(qsizetype done)>;
class MetadataSource {
public:
    virtual ~MetadataSource() = default;
    virtual std::vector<Metadata> readAll(const QStringList &paths, std::vector<std::optional<Metadata>> quick,
                                          const ReadTick &tick = {}) = 0;
    // The files given up on, by name.
    virtual const QStringList &unreadable() const = 0;
};

// Reads pictures with Exiv2, then what is no still picture with
// MediaInfoLib. Open one per operation run; a corrupt or unreadable file
// gives empty values.
class PropertyReader {
public:
    PropertyReader();
    ~PropertyReader();
    PropertyReader(const PropertyReader &) = delete;
    PropertyReader &operator=(const PropertyReader &) = delete;

    Metadata read(const QString &path);

private:
    struct Media;
    std::unique_ptr<Media> media_;
};

} // namespace pelmora
