#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QDirIterator>
#include <QHash>
#include <QSet>
#include <QStorageInfo>

#include "platform/Parallel.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <blkid.h>
#include <xxhash.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
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

QStringList listPlainFiles(const QString &folder, QStringList *undecodable)
{
    QStringList names;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    const int fd = ::dirfd(dir);
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue; // hidden, and "." and ".."
        bool plain = entry->d_type == DT_REG;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat info {};
            plain = ::fstatat(fd, entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode); // a link counts by its file
        }
        if (!plain)
            continue;
        const QByteArray raw(entry->d_name);
        QString name = QFile::decodeName(raw);
        if (QFile::encodeName(name) == raw)
            names.append(std::move(name));
        else if (undecodable)
            undecodable->append(shownName(raw));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    if (undecodable)
        std::sort(undecodable->begin(), undecodable->end());
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

QStringList allNames(const QString &folder)
{
    // Read straight from the folder: nothing is looked at but the names.
    QStringList names;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.append(QFile::decodeName(entry->d_name));
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

namespace {

// Size, time and inode of what stat() gave; no content yet.
FileIdentity identityOf(const struct stat &info)
{
    return FileIdentity{qint64(info.st_size), qint64(info.st_mtim.tv_sec),
                        (quint64(info.st_dev) << 40) ^ quint64(info.st_ino), std::nullopt};
}

} // namespace

std::optional<FileIdentity> identify(const QString &folder, const QString &name)
{
    struct stat info {};
    if (name.isEmpty() || ::lstat(QFile::encodeName(joinPath(folder, name)).constData(), &info) != 0)
        return std::nullopt;
    return identityOf(info);
}

namespace {

constexpr qint64 kPart = 64 * 1024;

// A hash of what a camera never rewrites in place: the head (its metadata)
// and the tail (the end of the picture data) of the file, with its size.
// The head read is left at the front of `buffer`.
std::optional<quint64> contentHash(int fd, qint64 size, std::vector<char> &buffer)
{
    buffer.resize(size_t(std::min(size, 2 * kPart)));
    const auto readAt = [&](char *into, qint64 length, qint64 at) {
        for (qint64 done = 0; done < length;) {
            const ssize_t got = ::pread(fd, into + done, size_t(length - done), off_t(at + done));
            if (got <= 0)
                return false;
            done += got;
        }
        return true;
    };
    const qint64 head = std::min(size, kPart);
    const qint64 tail = std::min(size - head, kPart);
    if (!readAt(buffer.data(), head, 0) || !readAt(buffer.data() + head, tail, size - tail))
        return std::nullopt;
    return quint64(XXH64(buffer.data(), size_t(head + tail), XXH64_hash_t(size)));
}

std::optional<FileIdentity> identifyContent(const QString &folder, const QString &name, std::vector<char> &buffer,
                                            const std::function<void(int, const struct ::stat &)> &onRead)
{
    if (name.isEmpty())
        return std::nullopt;
    // Never waits on a fifo, never follows a link: only a plain file is read.
    const int fd = ::open(QFile::encodeName(joinPath(folder, name)).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return identify(folder, name);
    struct stat info {};
    std::optional<FileIdentity> identity;
    if (::fstat(fd, &info) == 0) {
        identity = identityOf(info);
        if (S_ISREG(info.st_mode)) {
            identity->content = contentHash(fd, info.st_size, buffer);
            if (identity->content && onRead)
                onRead(fd, info);
        }
    }
    ::close(fd);
    return identity;
}

} // namespace

std::optional<FileIdentity> identifyContent(const QString &folder, const QString &name)
{
    std::vector<char> buffer;
    return identifyContent(folder, name, buffer, {});
}

std::vector<std::optional<FileIdentity>> identifyContents(const QString &folder, const QStringList &names,
                                                          const HeadReader &onHead)
{
    std::vector<std::optional<FileIdentity>> identities(size_t(names.size()));
    inParallel(names.size(), [&](qsizetype from, qsizetype to) {
        std::vector<char> buffer;
        for (qsizetype i = from; i < to; ++i) {
            identities[size_t(i)] = identifyContent(folder, names[i], buffer, [&](int fd, const struct ::stat &info) {
                if (onHead)
                    onHead(i, fd, info, QByteArrayView(buffer.data(), qsizetype(std::min<qint64>(info.st_size, kPart))));
            });
        }
    });
    return identities;
}

bool sameFile(const FileIdentity &recorded, const FileIdentity &now)
{
    if (!recorded.known())
        return recorded.inode == 0 || recorded.inode == now.inode;
    if (recorded.content && now.content)
        return recorded.size == now.size && *recorded.content == *now.content;
    // Some FUSE file systems settle the time of a file written just before
    // the run only later: within one mount the inode still tells.
    return recorded.size == now.size
        && (std::abs(recorded.modified - now.modified) <= 2 || (recorded.inode != 0 && recorded.inode == now.inode));
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

bool differInCaseOnly(const QString &a, const QString &b)
{
    return a != b && a.toCaseFolded() == b.toCaseFolded();
}

int writeRefusal(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    struct statvfs volume {};
    if (::statvfs(path.constData(), &volume) == 0 && (volume.f_flag & ST_RDONLY))
        return EROFS;
    return ::access(path.constData(), W_OK | X_OK) == 0 ? 0 : errno;
}

bool volumeGoneError(int error)
{
    return error == EIO || error == ENODEV || error == ENXIO || error == ENOTCONN || error == ESTALE
        || error == ENOMEDIUM || error == EHOSTDOWN || error == EHOSTUNREACH;
}

namespace {

// The UUID the volume's own header holds, where its device can be read.
QString probedUuid(const QByteArray &device)
{
    blkid_probe probe = blkid_new_probe_from_filename(device.constData());
    if (!probe)
        return {};
    QString uuid;
    const char *value = nullptr;
    if (blkid_do_safeprobe(probe) == 0 && blkid_probe_lookup_value(probe, "UUID", &value, nullptr) == 0 && value)
        uuid = QString::fromLatin1(value);
    blkid_free_probe(probe);
    return uuid;
}

// "uuid:..." from /dev/disk/by-uuid or the volume itself, else "label:..."
// from the system.
QString volumeKeyOf(const QStorageInfo &volume)
{
    const QByteArray device = volume.device();
    if (device.startsWith('/')) {
        const QString resolved = QFileInfo(QString::fromLocal8Bit(device)).canonicalFilePath();
        QDirIterator uuids(QStringLiteral("/dev/disk/by-uuid"), QDir::System | QDir::Files);
        while (uuids.hasNext()) {
            const QFileInfo link(uuids.next());
            if (!resolved.isEmpty() && link.canonicalFilePath() == resolved)
                return QStringLiteral("uuid:") + link.fileName();
        }
        if (const QString uuid = probedUuid(device); !uuid.isEmpty())
            return QStringLiteral("uuid:") + uuid;
    }
    return volume.name().isEmpty() ? QString() : QStringLiteral("label:") + volume.name();
}

} // namespace

VolumePlace volumePlaceOf(const QString &folder)
{
    const QStorageInfo volume(folder);
    VolumePlace place;
    if (!volume.isValid())
        return place;
    place.key = volumeKeyOf(volume);
    place.root = volume.rootPath();
    place.inside = QDir(place.root).relativeFilePath(canonicalFolder(folder));
    if (place.inside == u".")
        place.inside.clear();
    return place;
}

QStringList mountPointsIn(const QByteArray &mountinfo)
{
    QStringList points;
    for (const QByteArray &line : mountinfo.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5)
            continue;
        // Spaces and the like are written as octal escapes ("\040").
        QByteArray point;
        const QByteArray &raw = fields[4];
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\\' && i + 3 < raw.size()) {
                point += char(raw.mid(i + 1, 3).toInt(nullptr, 8));
                i += 3;
            } else {
                point += raw[i];
            }
        }
        if (point != "/")
            points << QFile::decodeName(point);
    }
    return points;
}

namespace {

QStringList mountPoints()
{
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    return mounts.open(QIODevice::ReadOnly) ? mountPointsIn(mounts.readAll()) : QStringList();
}

} // namespace

QStringList foldersAtPlace(const VolumePlace &place)
{
    QStringList found;
    if (place.root.isEmpty())
        return found;
    for (const QString &root : mountPoints()) {
        if (!place.key.isEmpty() && volumeKeyOf(QStorageInfo(root)) != place.key)
            continue;
        const QString candidate = QDir::cleanPath(joinPath(root, place.inside));
        if (QFileInfo(candidate).isDir() && !found.contains(candidate))
            found << candidate;
    }
    return found;
}

bool volumeMounted(const VolumePlace &place)
{
    if (place.root.isEmpty())
        return true;
    if (!place.key.isEmpty()) {
        for (const QString &root : mountPoints()) {
            if (volumeKeyOf(QStorageInfo(root)) == place.key)
                return true;
        }
        return volumeKeyOf(QStorageInfo(QStringLiteral("/"))) == place.key;
    }
    return QStorageInfo(place.root).rootPath() == place.root;
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
