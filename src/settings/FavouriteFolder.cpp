// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/FavouriteFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace pelmora::favourite {

QString fileIn(const QString &dataFolder)
{
    return QDir(dataFolder).filePath(QStringLiteral("DriveFileName.txt"));
}

std::optional<Failure> store(const QString &dataFolder, const QString &folder)
{
    QSaveFile file(fileIn(dataFolder));
    if (file.open(QIODevice::WriteOnly)) {
        file.write(folder.toLocal8Bit() + "\r\n");
        if (file.commit())
            return std::nullopt;
    }
    return Failure{Failure::Kind::CannotWrite, file.fileName(), 0, 0, file.errorString()};
}

std::optional<QString> stored(const QString &dataFolder)
{
    QFile file(fileIn(dataFolder));
    // A pipe or a device of that name would block the window for ever.
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // One line is all it holds; a long file is not read to its end.
    QByteArray line = file.readLine(64 * 1024);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty())
        return std::nullopt;
    return QString::fromLocal8Bit(line);
}

} // namespace pelmora::favourite

