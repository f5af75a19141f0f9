#include "platform/DataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace pelmora {

namespace {

const QString kTemplateName = QStringLiteral("FileID.xlsx");

} // namespace

QString defaultDataFolder()
{
    const QDir programFolder(QCoreApplication::applicationDirPath());
    const QString installedShare = programFolder.filePath(QStringLiteral(PELMORA_SHARE_FROM_PROGRAM));
    const bool installed = QFileInfo::exists(installedShare + u'/' + kTemplateName);
    const QString besideProgram = programFolder.filePath(QStringLiteral("DATA"));
    if (!installed) {
        QDir().mkpath(besideProgram);
        if (QFileInfo(besideProgram).isWritable())
            return besideProgram;
    }
    const QString perUser = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/DATA");
    QDir().mkpath(perUser);
    const QString userTemplate = perUser + u'/' + kTemplateName;
    if (!QFileInfo::exists(userTemplate)) {
        const QString programTemplate = (installed ? installedShare : besideProgram) + u'/' + kTemplateName;
        if (QFile::copy(programTemplate, userTemplate))
            QFile::setPermissions(userTemplate, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    return perUser;
}

} // namespace pelmora
