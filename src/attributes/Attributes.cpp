// SPDX-License-Identifier: GPL-3.0-or-later
#include "attributes/Attributes.h"

#include "platform/FileSystem.h"

#include <QFileInfo>
#include <QMimeDatabase>

namespace pelmora {

FileAttributes readAttributes(const QString &path, const Metadata &metadata, const ClockOffsets &offsets)
{
    const QFileInfo file(path);
    FileAttributes attributes;
    attributes.name = file.fileName();
    if (!file.isFile())
        return attributes;
    attributes.size = QString::number(file.size());
    attributes.type = QMimeDatabase().mimeTypeForFile(path).name();
    attributes.created = file.birthTime();
    attributes.accessed = file.lastRead();
    attributes.metadata = metadata;
    attributes.clockOffset = offsets.correctionOf(cameraOf(metadata));
    return attributes;
}

std::optional<QString> firstFileOf(const QString &folder)
{
    // A link to a device or a pipe is passed by: it is no file to read.
    for (const QString &name : fs::listPlainFiles(folder)) {
        const QString path = fs::joinPath(folder, name);
        if (QFileInfo(path).isFile())
            return path;
    }
    return std::nullopt;
}

} // namespace pelmora
