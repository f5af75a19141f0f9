#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace pelmora::fs {

// Plain, non-hidden files of a folder, sorted by name. Read in one go so an
// operation never meets a file twice while it renames.
QStringList listPlainFiles(const QString &folder);

// Text after the last ".", letter case kept; empty when there is none.
QString extensionOf(const QString &name);
// The name without its last "." and what follows.
QString baseNameOf(const QString &name);

QString joinPath(const QString &folder, const QString &name);

enum class RenameStatus { Renamed, TargetExists, SourceMissing, UnsafeName, Failed };

// Renames folder/from to folder/to and never replaces an existing file.
RenameStatus renameNoReplace(const QString &folder, const QString &from, const QString &to);

// A name that stays inside its folder: not empty, not "." or "..", no
// separator and no NUL.
bool isSafeName(const QString &name);

// Last-modified date and time in local time, to the second; invalid when
// the file cannot be read.
QDateTime lastModified(const QString &path);

} // namespace pelmora::fs
