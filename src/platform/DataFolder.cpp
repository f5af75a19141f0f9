#include "platform/DataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace pelmora {

QString defaultDataFolder()
{
    const QString besideProgram = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("DATA"));
    QDir().mkpath(besideProgram);
    if (QFileInfo(besideProgram).isWritable())
        return besideProgram;
    const QString perUser = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/DATA");
    QDir().mkpath(perUser);
    return perUser;
}

} // namespace pelmora
