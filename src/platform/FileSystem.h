// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QByteArrayView>

#include <functional>
#include <optional>
#include <vector>

#include <sys/stat.h>

namespace pelmora::fs {

// Plain, non-hidden files of a folder, sorted by name. Read in one go so an
// operation never meets a file twice while it renames. A name that is not
// valid UTF-8 cannot be given back to the system as a QString: such a file
// is not listed, and goes to `undecodable` as it can be shown, each byte
// that is no UTF-8 as \xNN (sorted too).
QStringList listPlainFiles(const QString &folder, QStringList *undecodable = nullptr);

// What an entry of a folder that is no plain file is. Special: a fifo,
// socket or device; Link: a link to a plain file.
enum class EntryKind { Folder, Special, DanglingLink, Link };
struct OtherEntry {
    QString name; // as it can be shown
    EntryKind kind;
};
// As listPlainFiles, with the visible entries that are no plain file going
// to `others`, sorted by name; there a link counts as what it points to,
// but a link to a plain file is no file to rename: renaming its file would
// leave it leading nowhere.
QStringList listPlainFiles(const QString &folder, QStringList *undecodable, std::vector<OtherEntry> *others);

// Whether the file can be opened and read (a link is followed).
bool canRead(const QString &folder, const QString &name);

// Text after the last ".", letter case kept; empty when there is none.
QString extensionOf(const QString &name);
// The name without its last "." and what follows.
QString baseNameOf(const QString &name);

QString joinPath(const QString &folder, const QString &name);

enum class RenameStatus {
    Renamed,
    TargetExists,
    SourceMissing,
    UnsafeName,
    PermissionDenied,
    ReadOnly,    // the volume may not be written at all
    DiskFull,
    Unreachable, // the volume answers no more (card pulled, share gone)
    Failed
};

// What a rename met; the system's error number is kept for the record.
struct MoveResult {
    RenameStatus status = RenameStatus::Failed;
    int error = 0;
};

// The ways of renaming without replacing, best first: RENAME_NOREPLACE;
// link + unlink where the flag is refused; an exclusive placeholder of the
// new name, then a rename over it, where there are no hard links either
// (FAT and exFAT through FUSE, some network shares).
enum class RenameMethod { NoReplace, LinkUnlink, Placeholder };

// The calls a rename makes. Tests give their own to play a file system that
// answers otherwise; each returns -1 with errno set when it fails.
class RenameCalls {
public:
    virtual ~RenameCalls() = default;
    virtual int renameNoReplace(const char *from, const char *to);
    virtual int link(const char *from, const char *to);
    virtual int unlink(const char *path);
    virtual int createExclusive(const char *path);
    virtual int rename(const char *from, const char *to);
};
// The system's own calls.
RenameCalls &systemRenameCalls();

// Renames within one folder, never replacing an existing file. The method
// that works is found on the first rename that needs it and kept for the
// folder's later renames.
class FolderMover {
public:
    explicit FolderMover(QString folder, RenameCalls &calls = systemRenameCalls());
    MoveResult move(const QString &from, const QString &to);
    RenameMethod method() const { return method_; }
    const QString &folder() const { return folder_; }

private:
    QString folder_;
    RenameCalls *calls_;
    RenameMethod method_ = RenameMethod::NoReplace;
};

// Renames folder/from to folder/to and never replaces an existing file.
RenameStatus renameNoReplace(const QString &folder, const QString &from, const QString &to);

// A name that stays inside its folder: not empty, not "." or "..", no
// separator and no NUL.
bool isSafeName(const QString &name);

// Every name in a folder, hidden ones and folders too: a rename must not
// land on any of them. Those of folders also go to `folders`.
QStringList allNames(const QString &folder, QStringList *folders = nullptr);

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
// True when two names of the folder are links of one file (a link +
// unlink rename cut between the two).
bool sameEntry(const QString &folder, const QString &a, const QString &b);
// Removes an entry; false when it could not.
bool remove(const QString &folder, const QString &name);

// What a file is, whatever its name: its size and a hash of its content
// (first and last 64 KB). Its modified time and inode are hints only: FAT
// drivers rewrite times, FAT keeps local time that shifts with the zone,
// and FAT and exFAT make inodes up anew at each mount.
struct FileIdentity {
    qint64 size = -1; // -1: unknown
    qint64 modified = 0; // seconds since the epoch
    quint64 inode = 0;
    std::optional<quint64> content; // none: not read (or a record of an older version)
    bool known() const { return size >= 0; }
};
// Size, time and inode; nothing when the entry cannot be read.
std::optional<FileIdentity> identify(const QString &folder, const QString &name);
// The same with the content's hash; nothing when the file cannot be read.
std::optional<FileIdentity> identifyContent(const QString &folder, const QString &name);
// What a caller may read from a file while its identity is taken, from the
// same read: the open file, what fstat gave, and its first 64 KB (all of it
// when it is smaller). Called on the reading thread.
using HeadReader = std::function<void(qsizetype index, int fd, const struct ::stat &info, QByteArrayView head)>;
// identifyContent of many files of a folder, on every core; each file is
// opened, looked at and read once. `watch` is called on the calling thread
// now and then with the number of files done; once it returns false no
// further file is looked at, and `stopped` says so.
using Watch = std::function<bool(qsizetype done)>;
std::vector<std::optional<FileIdentity>> identifyContents(const QString &folder, const QStringList &names,
                                                          const HeadReader &onHead = {}, const Watch &watch = {},
                                                          bool *stopped = nullptr);
// The file recorded is the one there now: same size and content. A record
// without content (of an older version) goes by size and modified time,
// within the 2 seconds FAT keeps, or the same inode; one without size by
// its inode alone.
bool sameFile(const FileIdentity &recorded, const FileIdentity &now);

// True when the folder takes names that differ only in letter case for one
// file (FAT, exFAT, NTFS, SMB): found by looking up a name of the folder in
// another case, as the folder itself answers.
bool caseInsensitive(const QString &folder, const QStringList &names);
// The form under which two names are the same name in such a folder.
QString nameKey(const QString &name, bool caseInsensitive);
// The form under which a person takes two names for one: letter case aside,
// and in one Unicode form (a Mac writes ガ as カ and a sound mark).
QString matchKey(const QString &name);
// Sorts names as a person reads them: in one Unicode form, so that a name
// a Mac wrote stands where the same name typed here would.
void sortNames(QStringList &names);
// True when the names differ in letter case only.
bool differInCaseOnly(const QString &a, const QString &b);

// Why the folder cannot be written (an errno: EROFS, EACCES, ...), or 0.
int writeRefusal(const QString &folder);
// The characters no name may hold in the folder besides '/' and NUL: those
// Windows forbids (\ : * ? " < > | and control characters) on a FAT, exFAT or NTFS volume, a
// Windows share, or a FUSE volume over a device (which are those in
// practice) or of those drivers; none elsewhere.
QString charactersForbiddenIn(const QString &folder);
// True when the system error means the volume is gone, not the file.
bool volumeGoneError(int error);

// Where a folder lies: the volume (its label or UUID, where the system tells
// one) and the path inside it, so that a card mounted elsewhere is found.
struct VolumePlace {
    QString key;    // "uuid:..." or "label:...", empty when unknown
    QString root;   // where the volume was mounted
    QString inside; // path from the volume's root, "" for the root itself
};
VolumePlace volumePlaceOf(const QString &folder);
// Every mount point of a mount table in the form of /proc/self/mountinfo
// but the root, FUSE mounts whose source is no device included (the
// system's volume list leaves some of those out).
QStringList mountPointsIn(const QByteArray &mountinfo);
// The folders at the same place inside every mounted volume of the same
// key (of any volume when no key was recorded).
QStringList foldersAtPlace(const VolumePlace &place);
// True when the volume of the place is mounted: one of its key is, or
// without a key, its mount point still holds a volume of its own.
bool volumeMounted(const VolumePlace &place);

// Whether a user would pick the volume mounted at `root` to find photos:
// any but the system's own mounts (/boot, /snap, /var, /usr, /run, ...);
// under /run, those of cards and drives (/run/media) and the cameras,
// phones and shares the desktop mounts (/run/user/UID/gvfs).
bool isUserVolume(const QString &root);

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
