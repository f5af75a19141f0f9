// SPDX-License-Identifier: GPL-3.0-or-later
// Where a folder lies: its volume, found again wherever it is mounted.
#include "platform/FileSystem.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStorageInfo>

#include <blkid.h>
#include <cerrno>
#include <sys/statvfs.h>
#include <unistd.h>

namespace pelmora::fs {

int writeRefusal(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    struct statvfs volume {};
    if (::statvfs(path.constData(), &volume) == 0 && (volume.f_flag & ST_RDONLY))
        return EROFS;
    return ::access(path.constData(), W_OK | X_OK) == 0 ? 0 : errno;
}

QString charactersForbiddenIn(const QString &folder)
{
    static const QList<QByteArray> windowsNames = {"vfat",         "msdos",     "exfat",       "ntfs",
                                                   "ntfs3",        "fuseblk",   "fuse.fusefat", "fuse.exfat",
                                                   "fuse.ntfs-3g", "cifs",      "smb3",        "smbfs"};
    const QStorageInfo volume(folder);
    if (!volume.isValid() || !windowsNames.contains(volume.fileSystemType()))
        return {};
    QString forbidden = QStringLiteral("\\:*?\"<>|");
    for (char16_t control = 1; control < 0x20; ++control) // a tab, a line break...
        forbidden += QChar(control);
    return forbidden;
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

bool isUserVolume(const QString &root)
{
    const auto within = [&](QLatin1StringView folder) { return root == folder || root.startsWith(folder + u'/'); };
    static const QRegularExpression desktopMounts(QStringLiteral("^/run/user/[0-9]+/gvfs(/|$)"));
    if (within(QLatin1StringView("/run/media")) || desktopMounts.match(root).hasMatch())
        return true;
    for (const char *system : {"/boot", "/efi", "/snap", "/var", "/usr", "/opt", "/etc", "/run", "/proc", "/sys", "/dev",
                               "/lib", "/lib64", "/bin", "/sbin", "/nix", "/gnu"}) {
        if (within(QLatin1StringView(system)))
            return false;
    }
    return true;
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

} // namespace pelmora::fs
