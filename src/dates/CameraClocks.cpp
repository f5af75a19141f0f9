// SPDX-License-Identifier: GPL-3.0-or-later
#include "dates/CameraClocks.h"

#include "platform/Clock.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cstdlib>
#include <map>

namespace pelmora {

namespace {

// Names are matched as a person types them: blanks and case aside.
QString matchKey(const QString &text)
{
    return text.simplified().toCaseFolded();
}

bool namesCamera(const ClockOffset &offset, const Camera &camera)
{
    const QString key = matchKey(offset.camera);
    return key == matchKey(cameraName(camera)) || key == matchKey(camera.make + u' ' + camera.model);
}

qint64 median(std::vector<qint64> values)
{
    const auto middle = values.begin() + qsizetype(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace

Camera cameraOf(const Metadata &metadata)
{
    return {metadata.cameraMaker.simplified(), metadata.cameraModel.simplified(), metadata.cameraSerial.simplified()};
}

QString cameraKey(const Camera &camera)
{
    return matchKey(cameraName(camera)) + u'#' + matchKey(camera.serial);
}

QString cameraName(const Camera &camera)
{
    if (camera.make.isEmpty())
        return camera.model;
    if (camera.model.isEmpty())
        return camera.make;
    const QString brand = camera.make.section(u' ', 0, 0);
    if (camera.model.startsWith(brand, Qt::CaseInsensitive))
        return camera.model;
    return camera.make + u' ' + camera.model;
}

ClockOffsets::ClockOffsets(std::vector<ClockOffset> offsets)
{
    for (const ClockOffset &offset : offsets)
        set(offset);
}

void ClockOffsets::set(const ClockOffset &offset)
{
    std::erase_if(offsets_, [&](const ClockOffset &held) {
        return matchKey(held.camera) == matchKey(offset.camera) && matchKey(held.serial) == matchKey(offset.serial);
    });
    offsets_.push_back(offset);
}

void ClockOffsets::setAll(const ClockOffsets &later)
{
    for (const ClockOffset &offset : later.offsets_)
        set(offset);
}

qint64 ClockOffsets::correctionOf(const Camera &camera) const
{
    if (!camera.known())
        return 0;
    // The last one set wins, whichever way it names the camera: a run's own
    // come after those kept.
    const ClockOffset *model = nullptr;
    const ClockOffset *body = nullptr;
    for (const ClockOffset &offset : offsets_) {
        if (!namesCamera(offset, camera))
            continue;
        if (offset.serial.isEmpty())
            model = &offset;
        else if (!camera.serial.isEmpty() && matchKey(offset.serial) == matchKey(camera.serial))
            body = &offset;
    }
    return body ? body->seconds : model ? model->seconds : 0;
}

std::optional<qint64> parseOffsetSeconds(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^\\s*([+-]?)\\s*(\\d{1,6}):([0-5]\\d):([0-5]\\d)\\s*$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const qint64 seconds = match.captured(2).toLongLong() * 3600 + match.captured(3).toInt() * 60
        + match.captured(4).toInt();
    return match.captured(1) == u"-" ? -seconds : seconds;
}

QString offsetSecondsText(qint64 seconds)
{
    const qint64 magnitude = std::abs(seconds);
    return QStringLiteral("%1%2:%3:%4")
        .arg(seconds < 0 ? QChar(u'-') : QChar(u'+'))
        .arg(magnitude / 3600, 2, 10, QChar(u'0'))
        .arg(magnitude / 60 % 60, 2, 10, QChar(u'0'))
        .arg(magnitude % 60, 2, 10, QChar(u'0'));
}

std::optional<ClockOffset> parseClockOffset(const QString &text)
{
    const qsizetype equals = text.lastIndexOf(u'=');
    if (equals < 0)
        return std::nullopt;
    QString camera = text.left(equals).simplified();
    QString serial;
    if (const qsizetype hash = camera.lastIndexOf(u'#'); hash >= 0) {
        serial = camera.mid(hash + 1).simplified();
        camera = camera.left(hash).simplified();
        if (serial.isEmpty())
            return std::nullopt;
    }
    const std::optional<qint64> seconds = parseOffsetSeconds(text.mid(equals + 1));
    if (camera.isEmpty() || !seconds)
        return std::nullopt;
    return ClockOffset{camera, serial, *seconds};
}

std::optional<int> zoneSeconds(const QString &offset)
{
    static const QRegularExpression form(QStringLiteral("^\\s*([+-])(\\d\\d):?(\\d\\d)\\s*$"));
    const QRegularExpressionMatch match = form.match(offset);
    if (!match.hasMatch() || match.captured(3).toInt() > 59)
        return std::nullopt;
    const int seconds = match.captured(2).toInt() * 3600 + match.captured(3).toInt() * 60;
    if (seconds > 14 * 3600) // no zone on Earth lies further from UTC
        return std::nullopt;
    return match.captured(1) == u"-" ? -seconds : seconds;
}

std::optional<QTimeZone> parseZone(const QString &text)
{
    const QString written = text.trimmed();
    if (written.compare(QStringLiteral("UTC"), Qt::CaseInsensitive) == 0 || written == u"Z")
        return QTimeZone::utc();
    if (const std::optional<int> seconds = zoneSeconds(written))
        return QTimeZone(*seconds);
    if (written.isEmpty() || written.startsWith(u'+') || written.startsWith(u'-'))
        return std::nullopt;
    // Only the system's zones (its list, or a file of the zone database such
    // as Etc/GMT+5): Qt would read any other word as a rule of its own,
    // "garbage" as a zone of UTC.
    static const QRegularExpression zoneName(QStringLiteral("^[A-Za-z0-9_+-]+(/[A-Za-z0-9_+-]+)*$"));
    const QByteArray id = written.toUtf8();
    const QString database = qEnvironmentVariable("TZDIR", QStringLiteral("/usr/share/zoneinfo"));
    const bool known = QTimeZone::availableTimeZoneIds().contains(id)
        || (zoneName.match(written).hasMatch() && QFileInfo(database + u'/' + written).isFile());
    if (!known)
        return std::nullopt;
    const QTimeZone zone(id);
    return zone.isValid() ? std::optional<QTimeZone>(zone) : std::nullopt;
}

bool chooseMovieZone(const QString &choice, DateCorrections &corrections)
{
    const QString chosen = choice.trimmed();
    corrections.moviesWhereShot = !chosen.isEmpty();
    corrections.movieZone.reset();
    if (chosen.isEmpty() || chosen == u"photos")
        return true;
    corrections.movieZone = parseZone(chosen);
    return corrections.movieZone.has_value();
}

qint64 wallClockSeconds(const QDateTime &wallClock)
{
    return QDateTime(wallClock.date(), wallClock.time(), QTimeZone::utc()).toSecsSinceEpoch();
}

QDateTime wallClockPlus(const QDateTime &wallClock, qint64 seconds)
{
    if (!wallClock.isValid() || seconds == 0)
        return wallClock;
    const QDateTime moved = QDateTime(wallClock.date(), wallClock.time(), QTimeZone::utc()).addSecs(seconds);
    if (!moved.isValid() || moved.date().year() < 1 || moved.date().year() > 9999)
        return {};
    return localWallClock(moved.date(), moved.time());
}

std::vector<CameraSummary> summariseCameras(const std::vector<Metadata> &files, const ClockOffsets &offsets)
{
    struct Gathered {
        CameraSummary summary;
        std::vector<qint64> errors; // seconds its clock ran ahead of GPS time
    };
    std::map<QString, Gathered> cameras;
    for (const Metadata &file : files) {
        const Camera camera = cameraOf(file);
        if (!camera.known())
            continue;
        Gathered &gathered = cameras[cameraKey(camera)];
        CameraSummary &summary = gathered.summary;
        if (summary.files == 0)
            summary.camera = camera;
        ++summary.files;
        const QDateTime &date = file.dateTaken;
        if (!date.isValid())
            continue;
        if (!summary.first.isValid() || date < summary.first)
            summary.first = date;
        if (!summary.last.isValid() || date > summary.last)
            summary.last = date;
        const std::optional<int> zone = zoneSeconds(file.zone);
        if (file.gpsTime.isValid() && zone) {
            const qint64 clock = wallClockSeconds(date) - *zone;
            gathered.errors.push_back(clock - file.gpsTime.toSecsSinceEpoch());
        }
    }
    std::vector<CameraSummary> summaries;
    for (auto &[key, gathered] : cameras) {
        CameraSummary &summary = gathered.summary;
        summary.offset = offsets.correctionOf(summary.camera);
        if (!gathered.errors.empty()) {
            const qint64 error = median(gathered.errors);
            if (std::abs(error) >= 2)
                summary.suggested = -error;
        }
        summaries.push_back(summary);
    }
    return summaries;
}

} // namespace pelmora
