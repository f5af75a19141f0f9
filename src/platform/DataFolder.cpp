// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace pelmora {

namespace {

QDir programFolder()
{
    return QDir(QCoreApplication::applicationDirPath());
}

QString installedTemplate()
{
    return programFolder().filePath(QStringLiteral(PELMORA_SHARE_FROM_PROGRAM "/") + kWorkbookTemplateName);
}

} // namespace

QString programWorkbookTemplate()
{
    const QString installed = installedTemplate();
    return QFileInfo::exists(installed) ? installed : programFolder().filePath(QStringLiteral("DATA/") + kWorkbookTemplateName);
}

QString defaultDataFolder(DataFolderUse use)
{
    const bool make = use == DataFolderUse::Make;
    if (!QFileInfo::exists(installedTemplate())) {
        const QString besideProgram = programFolder().filePath(QStringLiteral("DATA"));
        if (make)
            QDir().mkpath(besideProgram);
        if (QFileInfo(besideProgram).isWritable())
            return besideProgram;
    }
    const QString perUser = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/DATA");
    if (!make)
        return perUser;
    QDir().mkpath(perUser);
    const QString userTemplate = perUser + u'/' + kWorkbookTemplateName;
    if (!QFileInfo::exists(userTemplate) && QFile::copy(programWorkbookTemplate(), userTemplate))
        QFile::setPermissions(userTemplate, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return perUser;
}

} // namespace pelmora
