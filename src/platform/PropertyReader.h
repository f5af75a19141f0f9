#pragma once

#include <QDateTime>
#include <QString>

#include <map>
#include <memory>
#include <optional>

namespace pelmora {

// Detail column numbers: those the rename operations read, and those the
// attribute display shows besides.
namespace column {
inline constexpr int Size = 1;         // bytes
inline constexpr int Type = 2;         // media type, e.g. image/jpeg
inline constexpr int DateModified = 3;
inline constexpr int DateCreated = 4;
inline constexpr int DateAccessed = 5;
inline constexpr int DateTaken = 12;
inline constexpr int DateTakenOrigin = 13; // where the date taken came from
inline constexpr int Length = 27;      // HH:MM:SS
inline constexpr int CameraModel = 30;
inline constexpr int Dimensions = 31;  // width x height in pixels
inline constexpr int CameraMaker = 32;
inline constexpr int ExposureTime = 33;
inline constexpr int FNumber = 34;
inline constexpr int Iso = 35;
inline constexpr int FocalLength = 36;
inline constexpr int Latitude = 37;
inline constexpr int Longitude = 38;
inline constexpr int FrameSize = 39;   // of a movie
inline constexpr int FrameRate = 40;
inline constexpr int Last = 499;
} // namespace column

// What the rename operations read for one file.
struct ShotProperties {
    QDateTime dateTaken;    // local wall-clock time; invalid when the file has none
    QString dateOrigin;     // where the date taken came from, and the offset applied
    double subSecond = -1;  // fraction of the second taken, for bursts; -1 when unknown
    QDateTime dateModified; // invalid when the file cannot be read
    QString cameraModel;    // free text, empty when absent
    QString length;       // "HH:MM:SS", empty for a file without a playing length
};

// Date columns: an invisible left-to-right mark before year, month and day
// and two before the time, e.g. "\u200E2011/\u200E09/\u200E16 \u200E\u200E12:34:05",
// so the characters at positions 2-6, 8-10, 12-14 and 17-24 give
// "2011/09/16 12:34:05".
QString dateColumnText(const QDateTime &value);
// "YYYY:MM:DD HH:MM:SS" as EXIF writes it; invalid for blank or zero dates.
QDateTime parseExifDateTime(const QString &text);
// "HH:MM:SS", rounded to the nearest second.
QString lengthColumnText(double milliseconds);

// MediaInfoLib turns a wide path back into bytes by the C library's locale:
// in the plain "C" locale a name such as 動画.mp4 would not open. Each
// program calls this once at its start, after Qt has set the locale.
void useUtf8FileNames();

// The properties of a JPEG whose Exif segment holds a date taken, read by
// Pelmora's own bounded scan of at most the file's first 64 KB: safe in any
// process and on any thread. Nothing for any other file.
std::optional<ShotProperties> readJpegQuickly(const QString &path);

// Reads picture metadata with Exiv2 and movie lengths with MediaInfoLib.
// Open one per operation run; a corrupt or unreadable file gives empty texts.
class PropertyReader {
public:
    PropertyReader();
    ~PropertyReader();
    PropertyReader(const PropertyReader &) = delete;
    PropertyReader &operator=(const PropertyReader &) = delete;

    ShotProperties read(const QString &path);
    // Every column that has a text for the file; the file is read once.
    std::map<int, QString> columns(const QString &path);

private:
    struct Media;
    std::unique_ptr<Media> media_;
};

} // namespace pelmora
