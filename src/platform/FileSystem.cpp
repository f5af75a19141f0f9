// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>


#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace pelmora::fs {

namespace {

// How many bytes at `at` make one valid UTF-8 character; 0 when they do not.
int utf8Length(const QByteArray &raw, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return i < raw.size() ? uchar(raw[i]) : 0; };
    const uchar lead = byte(at);
    const int length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
        : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    for (int i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
    }
    // No overlong forms, surrogates or code points past U+10FFFF.
    const uchar second = byte(at + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90)
        || (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

// A name that is no UTF-8 as a person can tell it from another: its valid
// characters as they are, every other byte as \xNN.
QString shownName(const QByteArray &raw)
{
    QString shown;
    for (qsizetype at = 0; at < raw.size();) {
        const int length = utf8Length(raw, at);
        if (length > 0) {
            shown += QString::fromUtf8(raw.mid(at, length));
            at += length;
        } else {
            shown += QStringLiteral("\\x%1").arg(uchar(raw[at++]), 2, 16, QChar(u'0'));
        }
    }
    return shown;
}

} // namespace

namespace {

// What the entry `name` of the folder open as `fd` is, following a link;
// nothing when it is gone.
std::optional<mode_t> entryType(int fd, const dirent &entry)
{
    struct stat info {};
    switch (entry.d_type) {
    case DT_REG: return S_IFREG;
    case DT_DIR: return S_IFDIR;
    case DT_FIFO: return S_IFIFO;
    case DT_SOCK: return S_IFSOCK;
    case DT_CHR: return S_IFCHR;
    case DT_BLK: return S_IFBLK;
    default: break;
    }
    if (::fstatat(fd, entry.d_name, &info, 0) == 0)
        return info.st_mode & S_IFMT;
    if (::fstatat(fd, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode))
        return S_IFLNK; // a link that leads nowhere
    return std::nullopt;
}

} // namespace

QStringList listPlainFiles(const QString &folder, QStringList *undecodable)
{
    return listPlainFiles(folder, undecodable, nullptr);
}

QStringList listPlainFiles(const QString &folder, QStringList *undecodable, std::vector<OtherEntry> *others)
{
    QStringList names;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    const int fd = ::dirfd(dir);
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue; // hidden, and "." and ".."
        const std::optional<mode_t> type = entryType(fd, *entry);
        if (!type)
            continue;
        const QByteArray raw(entry->d_name);
        QString name = QFile::decodeName(raw);
        const bool decodes = QFile::encodeName(name) == raw;
        struct stat link {};
        const bool linkToFile = others && *type == S_IFREG
            && (entry->d_type == DT_LNK
                || (entry->d_type == DT_UNKNOWN && ::fstatat(fd, entry->d_name, &link, AT_SYMLINK_NOFOLLOW) == 0
                    && S_ISLNK(link.st_mode)));
        if (*type != S_IFREG || linkToFile) {
            if (others)
                others->push_back({decodes ? name : shownName(raw),
                                   linkToFile         ? EntryKind::Link
                                   : *type == S_IFDIR ? EntryKind::Folder
                                   : *type == S_IFLNK ? EntryKind::DanglingLink
                                                      : EntryKind::Special});
        } else if (decodes) {
            names.append(std::move(name));
        } else if (undecodable) {
            undecodable->append(shownName(raw));
        }
    }
    ::closedir(dir);
    sortNames(names);
    if (undecodable)
        sortNames(*undecodable);
    if (others)
        std::sort(others->begin(), others->end(), [](const OtherEntry &a, const OtherEntry &b) { return a.name < b.name; });
    return names;
}

bool canRead(const QString &folder, const QString &name)
{
    const int fd = ::open(QFile::encodeName(joinPath(folder, name)).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    char byte = 0;
    const bool read = ::pread(fd, &byte, 1, 0) >= 0;
    ::close(fd);
    return read;
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

namespace {

RenameStatus statusOf(int error)
{
    switch (error) {
    case EEXIST:
    case ENOTEMPTY:
        return RenameStatus::TargetExists;
    case ENOENT:
        return RenameStatus::SourceMissing;
    case EACCES:
    case EPERM:
        return RenameStatus::PermissionDenied;
    case EROFS:
        return RenameStatus::ReadOnly;
    case ENOSPC:
    case EDQUOT:
        return RenameStatus::DiskFull;
    default:
        return volumeGoneError(error) ? RenameStatus::Unreachable : RenameStatus::Failed;
    }
}

MoveResult failure(int error)
{
    return {statusOf(error), error};
}

// The file system does not do this way of renaming at all.
bool notSupported(int error)
{
    return error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP;
}

} // namespace

int RenameCalls::renameNoReplace(const char *from, const char *to)
{
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
}

int RenameCalls::link(const char *from, const char *to)
{
    return ::link(from, to);
}

int RenameCalls::unlink(const char *path)
{
    return ::unlink(path);
}

int RenameCalls::createExclusive(const char *path)
{
    // One request to a FUSE file system where open + close are three.
    if (::mknod(path, S_IFREG | 0600, 0) == 0)
        return 0;
    if (errno != EPERM && errno != ENOSYS && errno != EOPNOTSUPP)
        return -1;
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    ::close(fd);
    return 0;
}

int RenameCalls::rename(const char *from, const char *to)
{
    return ::rename(from, to);
}

RenameCalls &systemRenameCalls()
{
    static RenameCalls system;
    return system;
}

FolderMover::FolderMover(QString folder, RenameCalls &calls)
    : folder_(std::move(folder))
    , calls_(&calls)
{
}

MoveResult FolderMover::move(const QString &from, const QString &to)
{
    if (!isSafeName(from) || !isSafeName(to))
        return {RenameStatus::UnsafeName, 0};
    const QByteArray source = QFile::encodeName(joinPath(folder_, from));
    const QByteArray target = QFile::encodeName(joinPath(folder_, to));
    RenameCalls &calls = *calls_;
    if (method_ == RenameMethod::NoReplace) {
        if (calls.renameNoReplace(source.constData(), target.constData()) == 0)
            return {RenameStatus::Renamed, 0};
        if (!notSupported(errno))
            return failure(errno);
        method_ = RenameMethod::LinkUnlink;
    }
    if (method_ == RenameMethod::LinkUnlink) {
        if (calls.link(source.constData(), target.constData()) == 0) {
            if (calls.unlink(source.constData()) == 0)
                return {RenameStatus::Renamed, 0};
            const int error = errno;
            calls.unlink(target.constData());
            return failure(error);
        }
        // No hard links here: FAT and exFAT through FUSE answer EPERM.
        if (!notSupported(errno) && errno != EPERM && errno != EMLINK)
            return failure(errno);
        method_ = RenameMethod::Placeholder;
    }
    // The placeholder is ours alone (O_EXCL), so renaming over it replaces
    // nothing of anyone else's; it goes again when the rename fails.
    if (calls.createExclusive(target.constData()) != 0)
        return failure(errno);
    if (calls.rename(source.constData(), target.constData()) == 0)
        return {RenameStatus::Renamed, 0};
    const int error = errno;
    calls.unlink(target.constData());
    return failure(error);
}

RenameStatus renameNoReplace(const QString &folder, const QString &from, const QString &to)
{
    return FolderMover(folder).move(from, to).status;
}

QStringList allNames(const QString &folder, QStringList *folders)
{
    // Read straight from the folder: nothing is looked at but the names,
    // and the types of the entries when folders are asked for.
    QStringList names;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        names.append(QFile::decodeName(entry->d_name));
        if (folders && entryType(::dirfd(dir), *entry) == mode_t(S_IFDIR))
            folders->append(names.last());
    }
    ::closedir(dir);
    return names;
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

bool sameEntry(const QString &folder, const QString &a, const QString &b)
{
    struct stat first {}, second {};
    return a != b && ::lstat(QFile::encodeName(joinPath(folder, a)).constData(), &first) == 0
        && ::lstat(QFile::encodeName(joinPath(folder, b)).constData(), &second) == 0 && first.st_nlink > 1
        && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool remove(const QString &folder, const QString &name)
{
    return isSafeName(name) && ::unlink(QFile::encodeName(joinPath(folder, name)).constData()) == 0;
}

bool caseInsensitive(const QString &folder, const QStringList &names)
{
    const QSet<QString> listed(names.begin(), names.end());
    for (const QString &name : names) {
        // Only ASCII letters change case the same way everywhere ("ß" has
        // no upper case of one letter).
        QString other = name;
        for (QChar &c : other) {
            if (c >= u'a' && c <= u'z')
                c = c.toUpper();
            else if (c >= u'A' && c <= u'Z')
                c = c.toLower();
        }
        if (other == name || listed.contains(other))
            continue;
        // A name the listing does not hold, found all the same: the folder
        // took it for the listed one.
        struct stat info {};
        return ::lstat(QFile::encodeName(joinPath(folder, other)).constData(), &info) == 0;
    }
    return false;
}

QString nameKey(const QString &name, bool caseInsensitive)
{
    return caseInsensitive ? name.toCaseFolded() : name;
}

QString matchKey(const QString &name)
{
    return name.normalized(QString::NormalizationForm_C).toCaseFolded();
}

void sortNames(QStringList &names)
{
    std::vector<std::pair<QString, QString>> keyed; // (its form to sort by, the name)
    keyed.reserve(size_t(names.size()));
    for (QString &name : names)
        keyed.emplace_back(name.normalized(QString::NormalizationForm_C), std::move(name));
    std::sort(keyed.begin(), keyed.end());
    for (qsizetype i = 0; i < names.size(); ++i)
        names[i] = std::move(keyed[size_t(i)].second);
}

bool differInCaseOnly(const QString &a, const QString &b)
{
    return a != b && a.toCaseFolded() == b.toCaseFolded();
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
