// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dates/CameraClocks.h"
#include "platform/PropertyReader.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace pelmora {

// What the attribute display shows of a file: the file's own values (size,
// type, times) and those of its metadata. A path that is no file has its
// name only.
struct FileAttributes {
    QString name;
    QString size; // bytes; empty when the path is no file
    QString type; // media type, e.g. image/jpeg
    QDateTime created;
    QDateTime accessed;
    Metadata metadata;
    qint64 clockOffset = 0; // what the renames add to the date taken for its camera
};

// `offsets`: those kept for the renames, whose one for the file's camera is shown.
FileAttributes readAttributes(const QString &path, const Metadata &metadata, const ClockOffsets &offsets = {});

// The file the display shows for a folder: its first plain, non-hidden file
// by name; none for a folder without one.
std::optional<QString> firstFileOf(const QString &folder);

} // namespace pelmora
