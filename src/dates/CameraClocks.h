// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The date the photographer means: how far each camera's clock was off,
// and the zone a movie's UTC time is shown in. Nothing here reads a file.

#include "platform/PropertyReader.h"

#include <QDateTime>
#include <QString>
#include <QTimeZone>

#include <optional>
#include <vector>

namespace pelmora {

// A camera: its make, its model and, where its files carry one, the serial
// number of its body.
struct Camera {
    QString make;
    QString model;
    QString serial;
    bool known() const { return !make.isEmpty() || !model.isEmpty(); }
    bool operator==(const Camera &) const = default;
};
Camera cameraOf(const Metadata &metadata);
// "Canon EOS R5": the make, then the model, the make said once where the
// model starts with it ("NIKON D70" of "NIKON CORPORATION").
QString cameraName(const Camera &camera);

// What is added to every date read from a camera's files to set its clock
// right (a clock 3 minutes 20 seconds fast: -00:03:20). Without a serial it
// holds for every body of the make and model.
struct ClockOffset {
    QString camera; // its name, or its make and model
    QString serial;
    qint64 seconds = 0;
    bool operator==(const ClockOffset &) const = default;
};

class ClockOffsets {
public:
    ClockOffsets() = default;
    explicit ClockOffsets(std::vector<ClockOffset> offsets);
    // Replaces what was set for the same camera and serial (with 0 too: a
    // run may leave a kept offset out).
    void set(const ClockOffset &offset);
    // The seconds to add to that camera's dates: its body's own offset,
    // else its model's; 0 when none is set.
    qint64 correctionOf(const Camera &camera) const;
    // Those of `later` set after these, so that they win (a run's own over
    // those kept).
    void setAll(const ClockOffsets &later);
    const std::vector<ClockOffset> &all() const { return offsets_; }

private:
    std::vector<ClockOffset> offsets_;
};

// Names one camera, body and all, as cameras are matched: blanks and case aside.
QString cameraKey(const Camera &camera);

// "+00:03:20", "-9:00:00": signed hours, minutes and seconds (hours may
// pass 24); nothing when the text is not of that form.
std::optional<qint64> parseOffsetSeconds(const QString &text);
QString offsetSecondsText(qint64 seconds);
// "Canon EOS R5#012345=+00:03:20": a camera, an optional serial after '#',
// and its offset.
std::optional<ClockOffset> parseClockOffset(const QString &text);

// "+01:00", "-04:30", "UTC" or a zone name such as Europe/Paris; nothing
// when Qt knows no such zone.
std::optional<QTimeZone> parseZone(const QString &text);
// A written offset ("+02:00") as seconds east of UTC; nothing when empty
// or not an offset.
std::optional<int> zoneSeconds(const QString &offset);

// A wall-clock time as a count of seconds, as if it were UTC: what is
// taken off it is the zone's offset, or a clock's.
qint64 wallClockSeconds(const QDateTime &wallClock);

// A wall-clock time moved by so many seconds as a clock is, whatever the
// computer's zone does in between (a change to summer time); invalid when
// that would leave the years 1 to 9999.
QDateTime wallClockPlus(const QDateTime &wallClock, qint64 seconds);

// What the photographer asked to be corrected in a run. Nothing is unless
// asked: a movie's UTC time is shown in this computer's zone, as always.
struct DateCorrections {
    ClockOffsets offsets;
    // A movie's UTC time is shown in the zone written on the photos of its
    // camera nearest in time...
    bool moviesWhereShot = false;
    // ...else in this zone; setting one asks for the photos' zone too.
    std::optional<QTimeZone> movieZone;
};

// The zone movies are shown in, as chosen for the window or --zone: empty,
// this computer's; "photos", the zone on the photos of their camera; a zone
// (an offset or a name), the photos' first, else that one. False when that
// zone is unknown.
bool chooseMovieZone(const QString &choice, DateCorrections &corrections);

// One camera of a folder, as the table of cameras shows it.
struct CameraSummary {
    Camera camera;
    int files = 0;
    QDateTime first; // as read
    QDateTime last;
    qint64 offset = 0;                // set for it now
    std::optional<qint64> suggested;  // the offset GPS time says it needs, when its files tell
};
// The cameras of those files, by name; files of no known camera are left
// out. A camera's suggestion is the middle of what its files with a GPS
// time, a date and a zone say, when that is two seconds or more.
std::vector<CameraSummary> summariseCameras(const std::vector<Metadata> &files, const ClockOffsets &offsets);

} // namespace pelmora
