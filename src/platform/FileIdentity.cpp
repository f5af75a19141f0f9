// SPDX-License-Identifier: GPL-3.0-or-later
// Which file a name holds: its size, times, inode and a hash of its content.
#include "platform/FileSystem.h"

#include "platform/Parallel.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

namespace pelmora::fs {

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
                                                          const HeadReader &onHead, const Watch &watch,
                                                          bool *stopped)
{
    std::vector<std::optional<FileIdentity>> identities(size_t(names.size()));
    const bool whole = eachInParallel(
        names.size(),
        [&](qsizetype i) {
            thread_local std::vector<char> buffer;
            identities[size_t(i)] = identifyContent(folder, names[i], buffer, [&](int fd, const struct ::stat &info) {
                if (onHead)
                    onHead(i, fd, info, QByteArrayView(buffer.data(), qsizetype(std::min<qint64>(info.st_size, kPart))));
            });
        },
        [&](qsizetype done) { return !watch || watch(done); });
    if (stopped)
        *stopped = !whole;
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

} // namespace pelmora::fs
