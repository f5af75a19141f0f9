// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/DateCorrections.h"

#include "platform/Clock.h"

#include <QTimeZone>

#include <cstdlib>
#include <limits>

namespace pelmora {

namespace {

QDateTime wallClockOf(qint64 seconds)
{
    const QDateTime moved = QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc());
    return localWallClock(moved.date(), moved.time());
}

// The camera a movie and a photo share: its make and model, any body.
QString modelKey(const Metadata &metadata)
{
    Camera camera = cameraOf(metadata);
    camera.serial.clear();
    return camera.known() ? cameraKey(camera) : QString();
}

// A photo that says where it was shot.
struct Placed {
    QString camera;
    qint64 utc = 0;
    int zone = 0;
    QString zoneText;
};

// The photo of the camera (of any, when none is named) nearest in time,
// within two days: one further away tells nothing of where the movie was.
const Placed *nearestPhoto(const std::vector<Placed> &photos, const QString &camera, qint64 utc)
{
    constexpr qint64 kTwoDays = 2 * 24 * 3600;
    const Placed *nearest = nullptr;
    qint64 distance = kTwoDays + 1;
    for (const Placed &photo : photos) {
        if (!camera.isEmpty() && photo.camera != camera)
            continue;
        if (const qint64 apart = std::abs(photo.utc - utc); apart < distance) {
            distance = apart;
            nearest = &photo;
        }
    }
    return nearest;
}

} // namespace

void correctDates(const DateCorrections &corrections, const std::vector<Metadata> &read,
                  std::vector<PlannedRename> &files)
{
    using Zone = DateCorrection::Zone;
    std::vector<qint64> clockOffsets(files.size(), 0);
    std::vector<Placed> photos;
    for (size_t i = 0; i < files.size(); ++i) {
        const PlannedRename &file = files[i];
        if (file.dateSource != DateSource::Taken)
            continue;
        const Camera camera = cameraOf(read[i]);
        clockOffsets[i] = corrections.offsets.correctionOf(camera);
        if (const std::optional<int> zone = zoneSeconds(read[i].zone))
            photos.push_back({modelKey(read[i]), wallClockSeconds(file.date) + clockOffsets[i] - *zone, *zone, read[i].zone});
    }
    for (size_t i = 0; i < files.size(); ++i) {
        PlannedRename &file = files[i];
        if (file.dateSource != DateSource::Taken)
            continue;
        DateCorrection correction;
        correction.clockOffset = clockOffsets[i];
        QDateTime date = wallClockPlus(file.date, correction.clockOffset);
        const std::optional<int> local = zoneSeconds(file.dateOrigin.offset);
        const bool asked = corrections.moviesWhereShot || corrections.movieZone;
        if (file.dateOrigin.field == DateOrigin::Field::MovieUtc && local && asked) {
            const qint64 utc = wallClockSeconds(date) - *local;
            const QString camera = modelKey(read[i]);
            if (const Placed *photo = nearestPhoto(photos, camera, utc)) {
                date = wallClockOf(utc + photo->zone);
                correction.zoneFrom = camera.isEmpty() ? Zone::NearbyPhotos : Zone::Photos;
                correction.zone = photo->zoneText;
            } else if (const std::optional<QTimeZone> &chosen = corrections.movieZone) {
                const QDateTime instant = QDateTime::fromSecsSinceEpoch(utc, QTimeZone::utc());
                const int offset = chosen->offsetFromUtc(instant);
                date = wallClockOf(utc + offset);
                correction.zoneFrom = Zone::Chosen;
                correction.zone = utcOffsetText(offset);
                if (const QString name = QString::fromUtf8(chosen->id()); !name.startsWith(QStringLiteral("UTC")))
                    correction.zone = name + u' ' + correction.zone;
            }
        }
        // A correction past the years a name can show is not made.
        if ((correction.clockOffset == 0 && correction.zoneFrom == Zone::Computer) || !date.isValid())
            continue;
        correction.asRead = file.date;
        file.date = date;
        file.correction = correction;
    }
}

} // namespace pelmora
