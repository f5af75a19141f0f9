// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/NameFormat.h"

#include <QRandomGenerator>
#include <QRegularExpression>

namespace pelmora {

DatePattern datePatternFor(NamingOption option)
{
    return option == NamingOption::Option2 ? DatePattern::YYYYMMDD : DatePattern::YYMMDD;
}

QString dateText(const QDateTime &date, DatePattern pattern)
{
    if (!date.isValid())
        return {};
    return date.toString(pattern == DatePattern::YYYYMMDD ? QStringLiteral("yyyyMMdd")
                                                          : QStringLiteral("yyMMdd"));
}

QString number000(qint64 number)
{
    const QString digits = QString::number(number < 0 ? -number : number).rightJustified(3, u'0');
    return number < 0 ? u'-' + digits : digits;
}

QString temporaryName(const QTime &now, int number, const QString &extension, const QString &runKey)
{
    return QStringLiteral("TempFileName") + now.toString(QStringLiteral("mmss")) + u'_' + number000(number)
        + (runKey.isEmpty() ? QString() : u'-' + runKey) + u'.' + extension;
}

namespace {

const QRegularExpression &temporaryForm()
{
    static const QRegularExpression form(QStringLiteral("^TempFileName[0-9]{4}_[0-9]{3,}(?:-([0-9a-f]{8}))?(\\.|$)"));
    return form;
}

} // namespace

bool isTemporaryName(const QString &name)
{
    return temporaryForm().match(name).hasMatch();
}

QString runKeyOf(const QString &temporaryName)
{
    return temporaryForm().match(temporaryName).captured(1);
}

QString newRunKey()
{
    return QString::number(QRandomGenerator::system()->generate() | 0x10000000u, 16).right(8);
}

QString movieLengthText(const QString &lengthColumn)
{
    if (!QTime::fromString(lengthColumn, QStringLiteral("HH:mm:ss")).isValid())
        return {};
    const QString hours = lengthColumn.mid(0, 2);
    const QString minutes = lengthColumn.mid(3, 2);
    const QString seconds = QString::number(lengthColumn.mid(6, 2).toInt());
    if (hours.toInt() > 0)
        return u'(' + hours + u'h' + minutes + u'm' + seconds + QStringLiteral("s)");
    if (minutes.toInt() > 0)
        return u'(' + minutes + u'm' + seconds + QStringLiteral("s)");
    return u'(' + seconds + QStringLiteral("s)");
}

QString numberedName(const QString &date, const QString &preText, qint64 number, const QString &postText)
{
    return date + preText + u'-' + number000(number) + postText;
}

bool takesPart(const QString &extension, const std::array<QString, kExtensionBoxCount> &boxes)
{
    if (extension.isEmpty())
        return false;
    for (const QString &box : boxes) {
        if (box.isEmpty())
            return false;
        if (extension == box.toUpper() || extension == box.toLower())
            return true;
    }
    return false;
}

} // namespace pelmora
