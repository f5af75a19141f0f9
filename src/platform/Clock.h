// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringView>
#include <QtGlobal>

namespace pelmora {

// The current local date and time; tests put a fixed clock in its place.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// Without TZ the C library looks at /etc/localtime again on every local-time
// conversion, a dozen file checks for each file a run reads. Naming that
// same zone file once, before anything converts a time, spares them; the
// worker processes inherit it.
inline void settleLocalTimeZone()
{
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
}

// A wall-clock time as a local date and time. One that this computer's zone
// skips (the hour summer time leaves out, which a camera's clock still
// shows) is moved past the gap by its length (02:30 becomes 03:30), rather
// than lost.
QDateTime localWallClock(QDate day, QTime time);

// An offset from UTC as written beside a time: "+09:00", "-04:30".
QString utcOffsetText(int seconds);

// "yyyy-MM-dd HH:mm:ss" (the separator of the date given), read and written
// by hand: Qt's general format parser costs more than the query or the file
// read whose date it is. Invalid for any other text, or a date or time that
// does not exist; empty for an invalid date. Years past 9999 are written as
// Qt writes them.
QDateTime parseFixedDateTime(QStringView text, char16_t dateSeparator);
QString fixedDateTimeText(const QDateTime &value, char16_t dateSeparator);

} // namespace pelmora
