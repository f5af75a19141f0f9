// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/Compaction.h"

#include "platform/FileSystem.h"
#include "database/NameDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {

namespace {

struct Close {
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, Close>;

Failure engineError(const QString &file, sqlite3 *db, int rc)
{
    const int code = rc & 0xff;
    const bool inUse = code == SQLITE_BUSY || code == SQLITE_LOCKED;
    return {inUse ? Failure::Kind::InUse : Failure::Kind::ReadWrite, file, 0, code,
            QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc))};
}

Failure systemError(const QString &file, int error)
{
    return {Failure::Kind::ReadWrite, file, error, 0, QString::fromLocal8Bit(std::strerror(error))};
}

bool syncPath(const QString &path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

} // namespace

QString backupFileIn(const QString &dataFolder)
{
    return QDir(dataFolder).filePath(QStringLiteral("FileNameDB_Backup.db"));
}

std::optional<Failure> compactDatabase(const QString &dataFolder)
{
    const QString file = NameDatabase::fileIn(dataFolder);
    const QString backup = backupFileIn(dataFolder);
    // A copy left by a compaction that was killed is not this one's to
    // delete: it is reported, and the user decides.
    // Whatever bears the name counts, a link to nowhere included: the copy
    // would be written where it points, and the link moved over the file.
    if (fs::exists(dataFolder, QFileInfo(backup).fileName()))
        return Failure{Failure::Kind::LeftoverCopy, backup, 0, SQLITE_ERROR, QStringLiteral("output file already exists")};
    if (!QFileInfo::exists(file))
        return std::nullopt; // nothing written yet: nothing to compact
    sqlite3 *handle = nullptr;
    const int opened = sqlite3_open_v2(QFile::encodeName(file).constData(), &handle, SQLITE_OPEN_READWRITE, nullptr);
    const Connection db(handle);
    if (opened != SQLITE_OK)
        return engineError(file, handle, opened);
    // Leaving WAL needs the only connection: any other one, an idle window's
    // included, makes it fail as busy. It also folds the -wal file in, so
    // that no log of the old file is left beside the new one.
    char *mode = nullptr;
    sqlite3_stmt *pragma = nullptr;
    int rc = sqlite3_prepare_v2(handle, "PRAGMA journal_mode=DELETE", -1, &pragma, nullptr);
    if (rc == SQLITE_OK && (rc = sqlite3_step(pragma)) == SQLITE_ROW)
        mode = sqlite3_mprintf("%s", sqlite3_column_text(pragma, 0));
    sqlite3_finalize(pragma);
    const bool left = mode && std::strcmp(mode, "delete") == 0;
    sqlite3_free(mode);
    if (!left && (rc == SQLITE_ROW || rc == SQLITE_DONE)) // the old mode answered: still in use
        return Failure{Failure::Kind::InUse, file, 0, SQLITE_BUSY, QString::fromUtf8(sqlite3_errstr(SQLITE_BUSY))};
    if (!left)
        return engineError(file, handle, rc);
    // What this compaction wrote is only ever a copy: on failure it goes, so
    // that a later compaction is not blocked by it.
    const auto failed = [&](const Failure &error) {
        QFile::remove(backup);
        QFile::remove(backup + QStringLiteral("-journal"));
        sqlite3_exec(handle, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr); // as it was
        return error;
    };
    // Held until the copy is in place: nobody writes to the file meanwhile.
    if ((rc = sqlite3_exec(handle, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT", nullptr, nullptr,
                           nullptr))
        != SQLITE_OK)
        return failed(engineError(file, handle, rc));

    sqlite3_stmt *vacuum = nullptr;
    rc = sqlite3_prepare_v2(handle, "VACUUM INTO ?", -1, &vacuum, nullptr);
    if (rc == SQLITE_OK) {
        const QByteArray target = QFile::encodeName(backup);
        sqlite3_bind_text(vacuum, 1, target.constData(), int(target.size()), SQLITE_TRANSIENT);
        rc = sqlite3_step(vacuum);
    }
    sqlite3_finalize(vacuum);
    if (rc != SQLITE_DONE)
        return failed(engineError(file, handle, rc));

    struct stat written {};
    if (::lstat(QFile::encodeName(backup).constData(), &written) != 0 || !S_ISREG(written.st_mode))
        return failed(systemError(backup, EEXIST)); // the name was taken meanwhile: never moved over the file
    if (!syncPath(backup, O_RDONLY | O_NOFOLLOW) || std::rename(QFile::encodeName(backup).constData(),
                                                   QFile::encodeName(file).constData()) != 0)
        return failed(systemError(file, errno)); // the copy goes; the file is as it was
    syncPath(dataFolder, O_RDONLY | O_DIRECTORY);
    return std::nullopt;
}

} // namespace pelmora
