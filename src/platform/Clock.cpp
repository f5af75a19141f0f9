// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Clock.h"

#include <QTimeZone>

#include <cstdlib>

namespace pelmora {

QDateTime localWallClock(QDate day, QTime time)
{
    if (!day.isValid() || !time.isValid())
        return {};
    const QDateTime local(day, time);
    if (local.isValid())
        return local;
    // Skipped: read with the offset from UTC before the gap, as the clock
    // that shows it still runs by it (02:30 becomes 03:30).
    const QDateTime asUtc(day, time, QTimeZone::utc());
    for (const int back : {3600, 2 * 3600, 3 * 3600, 6 * 3600}) {
        const QDateTime earlier = asUtc.addSecs(-back);
        const QDateTime before(earlier.date(), earlier.time());
        if (before.isValid())
            return QDateTime::fromSecsSinceEpoch(asUtc.toSecsSinceEpoch() - before.offsetFromUtc());
    }
    return {};
}

QString utcOffsetText(int seconds)
{
    const int minutes = std::abs(seconds) / 60;
    return QStringLiteral("%1%2:%3")
        .arg(seconds < 0 ? QChar(u'-') : QChar(u'+'))
        .arg(minutes / 60, 2, 10, QChar(u'0'))
        .arg(minutes % 60, 2, 10, QChar(u'0'));
}

QDateTime parseFixedDateTime(QStringView text, char16_t dateSeparator)
{
    static constexpr int kDigits[] = {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18};
    if (text.size() != 19 || text[4] != dateSeparator || text[7] != dateSeparator || text[10] != u' '
        || text[13] != u':' || text[16] != u':')
        return {};
    for (const int i : kDigits) {
        if (text[i] < u'0' || text[i] > u'9')
            return {};
    }
    const auto number = [&](int at, int length) {
        int value = 0;
        for (int i = at; i < at + length; ++i)
            value = value * 10 + (text[i].unicode() - u'0');
        return value;
    };
    const QDate day(number(0, 4), number(5, 2), number(8, 2));
    const QTime time(number(11, 2), number(14, 2), number(17, 2));
    return localWallClock(day, time);
}

QString fixedDateTimeText(const QDateTime &value, char16_t dateSeparator)
{
    if (!value.isValid())
        return {};
    const QDate day = value.date();
    const QTime time = value.time();
    if (day.year() < 0 || day.year() > 9999)
        return value.toString(QStringLiteral("yyyy%1MM%1dd HH:mm:ss").arg(QChar(dateSeparator)));
    QString text(19, u'0');
    const auto put = [&](int at, int length, int number) {
        for (int i = at + length - 1; i >= at; --i, number /= 10)
            text[i] = QChar(u'0' + number % 10);
    };
    put(0, 4, day.year());
    text[4] = text[7] = QChar(dateSeparator);
    put(5, 2, day.month());
    put(8, 2, day.day());
    text[10] = u' ';
    put(11, 2, time.hour());
    text[13] = text[16] = u':';
    put(14, 2, time.minute());
    put(17, 2, time.second());
    return text;
}

} // namespace pelmora
