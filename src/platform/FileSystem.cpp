#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora::fs {

QStringList listPlainFiles(const QString &folder)
{
    // QDir::Files without QDir::Hidden leaves out dot files; System keeps
    // broken links out as well.
    QDir dir(folder);
    QStringList names = dir.entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
    std::sort(names.begin(), names.end());
    return names;
}

QString extensionOf(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot + 1);
}

QString baseNameOf(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? name : name.left(dot);
}

QString joinPath(const QString &folder, const QString &name)
{
    if (folder.endsWith(u'/'))
        return folder + name;
    return folder + u'/' + name;
}

bool isSafeName(const QString &name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/')
        && !name.contains(QChar(u'\0'));
}

RenameStatus renameNoReplace(const QString &folder, const QString &from, const QString &to)
{
    if (!isSafeName(from) || !isSafeName(to))
        return RenameStatus::UnsafeName;
    const QByteArray source = QFile::encodeName(joinPath(folder, from));
    const QByteArray target = QFile::encodeName(joinPath(folder, to));
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return RenameStatus::Renamed;
    int error = errno;
    if (error == EINVAL || error == ENOSYS || error == ENOTSUP) {
        // File systems without RENAME_NOREPLACE: link() refuses an existing
        // target just as well.
        if (::link(source.constData(), target.constData()) == 0) {
            if (::unlink(source.constData()) == 0)
                return RenameStatus::Renamed;
            ::unlink(target.constData());
            return RenameStatus::Failed;
        }
        error = errno;
    }
    switch (error) {
    case EEXIST:
    case ENOTEMPTY:
        return RenameStatus::TargetExists;
    case ENOENT:
        return RenameStatus::SourceMissing;
    case EACCES:
    case EPERM:
    case EROFS:
        return RenameStatus::PermissionDenied;
    default:
        return RenameStatus::Failed;
    }
}

QStringList allNames(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

namespace {
// Folders this process holds, with how many locks hold each.
QHash<QString, int> &heldFolders()
{
    static QHash<QString, int> held;
    return held;
}
} // namespace

FolderLock::FolderLock(const QString &folder)
    : folder_(QDir::cleanPath(folder))
{
    if (heldFolders().contains(folder_)) {
        held_ = true;
    } else {
        fd_ = ::open(QFile::encodeName(folder_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ >= 0)
            held_ = ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
        else
            held_ = errno == ENOENT || errno == ENOTDIR; // no folder: nothing in it to guard
    }
    if (held_)
        ++heldFolders()[folder_];
}

FolderLock::~FolderLock()
{
    if (held_ && --heldFolders()[folder_] == 0)
        heldFolders().remove(folder_);
    if (fd_ >= 0)
        ::close(fd_);
}

bool exists(const QString &folder, const QString &name)
{
    struct stat info {};
    return !name.isEmpty() && ::lstat(QFile::encodeName(joinPath(folder, name)).constData(), &info) == 0;
}

quint64 identityOf(const QString &folder, const QString &name)
{
    struct stat info {};
    if (name.isEmpty() || ::lstat(QFile::encodeName(joinPath(folder, name)).constData(), &info) != 0)
        return 0;
    // Device and inode folded into one value; a rename within a folder keeps both.
    return (quint64(info.st_dev) << 40) ^ quint64(info.st_ino);
}

QString canonicalFolder(const QString &folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(folder) : canonical;
}

QDateTime lastModified(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return lastModified(info);
}

QDateTime lastModified(const struct ::stat &info)
{
    return QDateTime::fromSecsSinceEpoch(info.st_mtim.tv_sec);
}

} // namespace pelmora::fs
