#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <sys/stat.h>

namespace pelmora::fs {

// Plain, non-hidden files of a folder, sorted by name. Read in one go so an
// operation never meets a file twice while it renames.
QStringList listPlainFiles(const QString &folder);

// Text after the last ".", letter case kept; empty when there is none.
QString extensionOf(const QString &name);
// The name without its last "." and what follows.
QString baseNameOf(const QString &name);

QString joinPath(const QString &folder, const QString &name);

enum class RenameStatus { Renamed, TargetExists, SourceMissing, UnsafeName, PermissionDenied, Failed };

// Renames folder/from to folder/to and never replaces an existing file.
RenameStatus renameNoReplace(const QString &folder, const QString &from, const QString &to);

// A name that stays inside its folder: not empty, not "." or "..", no
// separator and no NUL.
bool isSafeName(const QString &name);

// Every name in a folder, hidden ones and folders too: a rename must not
// land on any of them.
QStringList allNames(const QString &folder);

// One run at a time in a folder: an exclusive lock on the folder itself,
// held while the object lives and released by the system when the process
// ends, however it ends. It leaves nothing behind in the folder. Within one
// process a second lock of a folder already held is held too.
class FolderLock {
public:
    explicit FolderLock(const QString &folder);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;
    // False when another run holds the folder.
    bool held() const { return held_; }

private:
    QString folder_;
    int fd_ = -1;
    bool held_ = false;
};

// True when the name is an entry of the folder (a broken link counts).
bool exists(const QString &folder, const QString &name);

// What a file is, whatever its name: a rename keeps it. 0 when the entry
// cannot be read.
quint64 identityOf(const QString &folder, const QString &name);

// The folder as the system resolves it (links followed), so that one folder
// reached by two paths is recognised; the cleaned path when it cannot be
// resolved.
QString canonicalFolder(const QString &folder);

// Last-modified date and time in local time, to the second; invalid when
// the file cannot be read.
QDateTime lastModified(const QString &path);
// The same, from what stat() or fstat() gave.
QDateTime lastModified(const struct ::stat &info);

} // namespace pelmora::fs
