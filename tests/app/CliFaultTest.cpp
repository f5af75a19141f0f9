// SPDX-License-Identifier: GPL-3.0-or-later
// pelmora-cli killed, racing itself and sharing its data folder: every photo
// must stay there once, and a recovered run gives every photo its former name.
#include "TestSupport.h"

#include "database/NameDatabase.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <utility>

#include <csignal>
#include <map>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

constexpr int kPhotos = 3000;
constexpr qint64 kSpacing = 110; // seconds between two photos: under 800 a day

QDateTime timeOf(int i) { return at("2021-03-01 00:00:00").addSecs(i * kSpacing); }

QStringList formerNames(int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << QStringLiteral("IMG_%1.jpg").arg(i, 5, 10, QChar(u'0'));
    return names;
}

// The names new-number gives the photos: numbered per day in time order.
QStringList finalNames(int count, int start = 1)
{
    QStringList names;
    for (int i = 0, number = start; i < count; ++i) {
        const QString day = timeOf(i).toString(QStringLiteral("yyMMdd"));
        number = i > 0 && names.last().startsWith(day) ? number + 1 : start;
        names << day + QStringLiteral("-%1.jpg").arg(number, 3, 10, QChar(u'0'));
    }
    return names;
}

// A folder of photos, each with its own content and time: a small JPEG
// whose date the quick scan reads, followed by the photo's number; or the
// number alone, which only the workers read.
struct Photos {
    explicit Photos(const QStringList &names, bool readByWorkers = false) : names(names)
    {
        const QByteArray jpeg =
            readByWorkers ? QByteArray() : readFile(testdataFolder() + "/media/exiftool-t-images/JVC2.jpg");
        for (int i = 0; i < names.size(); ++i)
            setModified(writeFile(dir.path(), names[i], jpeg + "photo " + QByteArray::number(i)), timeOf(i));
    }
    QString path() const { return dir.path(); }
    QTemporaryDir dir;
    QStringList names;
};

// Checks that every photo is there once, under its name in `from` or in
// `to`; returns how many are under their name in `to`.
int renamedCount(const QString &folder, const QStringList &from, const QStringList &to)
{
    std::vector<int> seen(size_t(from.size()), 0);
    int renamed = 0;
    for (const QString &name : filesIn(folder)) {
        const QByteArray content = readFile(QDir(folder).filePath(name));
        const qsizetype marker = content.lastIndexOf("photo ");
        const int photo = marker >= 0 ? content.mid(marker + 6).toInt() : -1;
        if (photo < 0 || photo >= from.size() || ++seen[size_t(photo)] > 1) {
            ADD_FAILURE() << "unexpected or doubled file " << name.toStdString();
        } else if (name != from[photo]) {
            EXPECT_EQ(name, to[photo]) << "photo " << photo;
            ++renamed;
        }
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), from.size()) << "photos missing in " << folder.toStdString();
    return renamed;
}

std::vector<LogRow> logRows(const QString &data)
{
    const FixedClock clock(at("2024-01-01 00:00:00"));
    return NameDatabase(data, clock).logRowsNewestFirst();
}

// A run taken back: each rename it logged is logged again on its way back,
// and nothing else is logged: every row has its mirror.
void expectLogTakenBack(const QString &data)
{
    QStringList renames, mirrored;
    for (const LogRow &row : logRows(data)) {
        const QString to = row.newFileName + u'.' + row.extension;
        renames << row.originalFileName + QStringLiteral(" → ") + to;
        mirrored << to + QStringLiteral(" → ") + row.originalFileName;
    }
    renames.sort();
    mirrored.sort();
    EXPECT_EQ(renames, mirrored);
}

// The exit code (-1 when it crashed), checking that a refusal says why.
int finish(QProcess &cli)
{
    cli.waitForFinished(120000);
    const int code = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    if (code > 0)
        EXPECT_FALSE(cli.readAllStandardError().isEmpty()) << "refused without a reason";
    return code;
}

int runCli(const QStringList &arguments)
{
    QProcess cli;
    cli.start(QStringLiteral(PELMORA_CLI), arguments);
    return finish(cli);
}

QStringList newNumber(const QString &data, const QString &folder, int start = 1)
{
    return {QStringLiteral("--data"), data, QStringLiteral("new-number"), folder, QStringLiteral("--start"),
            QString::number(start)};
}

// Waits until new-number is mid-run: once the first photo of the folder
// has left its name.
void waitForCut(const Photos &photos)
{
    const QDir folder(photos.path());
    const QDeadlineTimer deadline(30000);
    while (QFile::exists(folder.filePath(photos.names.first())) && !deadline.hasExpired())
        QThread::usleep(100);
}

// Starts new-number and kills it mid-run.
// On a busy machine the run may end before the kill arrives: it is then
// undone and started again, a few times at most.
void startAndKill(const Photos &photos, const QString &data, const QStringList &to, int start = 1)
{
    QStringList whole = to;
    whole.sort();
    const auto cutShort = [&] { return filesIn(photos.path()) != whole; };
    for (int attempt = 0; attempt < 3; ++attempt) {
        QProcess cli;
        cli.start(QStringLiteral(PELMORA_CLI), newNumber(data, photos.path(), start));
        waitForCut(photos);
        cli.kill();
        cli.waitForFinished();
        if (cutShort() || runCli({"--data", data, "undo"}) != 0)
            break;
    }
    ASSERT_TRUE(cutShort()) << "the run was not cut short";
}

// SIGINT (Ctrl+C) or SIGTERM stops a run between two files: status 3, the
// closing message says so, no file is left under a temporary name, and undo
// takes back what was renamed.
TEST(CliFault, SignalsStopTheRunBetweenTwoFiles)
{
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const QStringList from = formerNames(kPhotos), to = finalNames(kPhotos);
        Photos photos(from);
        QTemporaryDir data;
        QProcess cli;
        cli.start(QStringLiteral(PELMORA_CLI), newNumber(data.path(), photos.path()));
        waitForCut(photos);
        ::kill(pid_t(cli.processId()), signal);
        ASSERT_TRUE(cli.waitForFinished(60000));
        EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(cli.exitCode(), 3);
        EXPECT_TRUE(QString::fromLocal8Bit(cli.readAllStandardOutput()).contains("(中止しました。"));
        const int renamed = renamedCount(photos.path(), from, to);
        EXPECT_GT(renamed, 0);
        EXPECT_LT(renamed, kPhotos);
        EXPECT_EQ(runCli({"--data", data.path(), "undo"}), 0);
        EXPECT_EQ(renamedCount(photos.path(), from, to), 0);
    }
}

// A killed run loses no photo: every photo is there once, under its former
// or its new name; recover records each rename that happened (logged once),
// undo gives every photo its former name, and the folder takes the same run
// again. Last: numbering from 2 a folder numbered from 1, a chain in which
// each photo takes the former name of the next.
TEST(CliFault, KilledRunLosesNoPhotoAndIsUndoneWhole)
{
    const std::pair<QStringList, int> cases[] = {{formerNames(kPhotos), 1}, {finalNames(kPhotos), 2}};
    for (const auto &[from, start] : cases) {
        SCOPED_TRACE(start);
        Photos photos(from);
        QTemporaryDir data;
        const QStringList to = finalNames(kPhotos, start);
        ASSERT_NO_FATAL_FAILURE(startAndKill(photos, data.path(), to, start));
        const int renamed = renamedCount(photos.path(), from, to);
        EXPECT_GT(renamed, 0);

        // Dry runs only look: the photos, the database and its log stay byte
        // for byte as the killed run left them.
        const auto everything = [&] {
            std::map<QString, QByteArray> all;
            for (const QString &folder : {photos.path(), data.path()}) {
                for (const QString &name : filesIn(folder)) {
                    if (!name.endsWith("-shm"))
                        all[folder + u'/' + name] = readFile(QDir(folder).filePath(name));
                }
            }
            return all;
        };
        const auto left = everything();
        // They refuse as the run would: the killed run is recovered or settled first.
        QStringList dryRun = newNumber(data.path(), photos.path(), start);
        EXPECT_EQ(runCli(dryRun << "--dry-run"), 1);
        EXPECT_EQ(runCli({"--data", data.path(), "undo", "--dry-run"}), 1);
        EXPECT_EQ(runCli({"--data", data.path(), "recover", "--dry-run"}), 1); // recover has none: refused
        EXPECT_TRUE(everything() == left);

        EXPECT_EQ(runCli({"--data", data.path(), "recover"}), 0);
        EXPECT_EQ(renamedCount(photos.path(), from, to), renamed);
        EXPECT_EQ(qsizetype(logRows(data.path()).size()), renamed);
        EXPECT_EQ(runCli({"--data", data.path(), "undo"}), 0);
        EXPECT_EQ(renamedCount(photos.path(), from, to), 0); // every photo under its former name
        expectLogTakenBack(data.path());

        EXPECT_EQ(runCli(newNumber(data.path(), photos.path(), start)), 0);
        EXPECT_EQ(renamedCount(photos.path(), from, to), kPhotos);
    }
}

TEST(CliFault, OneRunAtATimeInAFolder)
{
    const QStringList from = formerNames(2000), to = finalNames(2000);
    Photos photos(from);
    QTemporaryDir data[2];
    {
        // Held by another process, even shared: a run holds its folder alone.
        const int held = ::open(QFile::encodeName(photos.path()).constData(), O_RDONLY | O_DIRECTORY);
        ASSERT_EQ(::flock(held, LOCK_SH), 0);
        EXPECT_GT(runCli(newNumber(data[0].path(), photos.path())), 0);
        ::close(held);
        EXPECT_EQ(renamedCount(photos.path(), from, to), 0);
    }
    // Two runs started together, twice: the second time over numbered names.
    qsizetype logs[2] = {0, 0};
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        QProcess clis[2];
        for (int i = 0; i < 2; ++i)
            clis[i].start(QStringLiteral(PELMORA_CLI), newNumber(data[i].path(), photos.path()));
        // Each run refused and logged nothing, or renamed and logged every
        // photo; over their numbered names, a run moves and logs none.
        int completed = 0;
        for (int i = 0; i < 2; ++i) {
            const int code = finish(clis[i]);
            const qsizetype logged = qsizetype(logRows(data[i].path()).size());
            EXPECT_GE(code, 0);
            completed += code == 0;
            EXPECT_EQ(logged - std::exchange(logs[i], logged), code == 0 && round == 0 ? from.size() : 0);
        }
        EXPECT_GE(completed, 1);
        EXPECT_EQ(renamedCount(photos.path(), from, to), from.size());
    }
}

TEST(CliFault, RecoveryInASharedDataFolderTouchesOnlyTheKilledRunsFolder)
{
    const QStringList from = formerNames(kPhotos), to = finalNames(kPhotos);
    const QStringList otherFrom = formerNames(5), otherTo = finalNames(5);
    {
        Photos killed(from), other(otherFrom);
        QTemporaryDir data;
        ASSERT_NO_FATAL_FAILURE(startAndKill(killed, data.path(), to));
        const int renamed = renamedCount(killed.path(), from, to);
        EXPECT_EQ(runCli(newNumber(data.path(), other.path())), 0);

        EXPECT_EQ(runCli({"--data", data.path(), "recover"}), 0);
        EXPECT_EQ(renamedCount(killed.path(), from, to), renamed);
        EXPECT_EQ(renamedCount(other.path(), otherFrom, otherTo), 5);

        // Undo takes back the other run, then the killed one as far as it went.
        EXPECT_EQ(runCli({"--data", data.path(), "undo"}), 0);
        EXPECT_EQ(renamedCount(other.path(), otherFrom, otherTo), 0);
        EXPECT_EQ(renamedCount(killed.path(), from, to), renamed);
        EXPECT_EQ(runCli({"--data", data.path(), "undo"}), 0);
        EXPECT_EQ(renamedCount(killed.path(), from, to), 0);
        EXPECT_GT(runCli({"--data", data.path(), "undo"}), 0);
    }
}

} // namespace

namespace {

// The workers of `parent` that run their own program (not those still
// between fork and exec, which have not yet asked to die with it).
QList<qint64> workersOf(qint64 parent)
{
    QList<qint64> children;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold spaces, the rest does not.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.split(')').last().trimmed().split(' ');
        if (line.contains("(pelmora-reader)") && fields.size() > 1 && fields[0] != "Z"
            && fields[1].toLongLong() == parent)
            children << entry.toLongLong();
    }
    return children;
}

bool alive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.open(QIODevice::ReadOnly) && stat.readAll().split(')').last().trimmed().at(0) != 'Z';
}

// A run killed while its workers read metadata takes its workers with it,
// also a worker that reads no more (stuck in a library on a hostile file:
// here stopped, so that it never sees its requests end). Asked to stop
// meanwhile, it stops at once, though no file is answered, and says that
// nothing was renamed.
TEST(CliFault, WorkersDieWithAKilledOrStoppedRun)
{
    const Photos photos(formerNames(kPhotos), true);
    for (const bool killed : {true, false}) {
        SCOPED_TRACE(killed ? "killed" : "stopped");
        QTemporaryDir data;
        QProcess cli;
        cli.start(QStringLiteral(PELMORA_CLI), newNumber(data.path(), photos.path()));
        ASSERT_TRUE(cli.waitForStarted());
        QList<qint64> workers;
        const QDeadlineTimer started(20000);
        while (workers.isEmpty() && !started.hasExpired()) {
            QThread::msleep(5);
            workers = workersOf(cli.processId());
        }
        ASSERT_FALSE(workers.isEmpty()) << "no worker was seen";
        for (const qint64 worker : workers)
            ::kill(pid_t(worker), SIGSTOP);
        if (killed) {
            cli.kill();
        } else {
            ::kill(pid_t(cli.processId()), SIGINT);
            // Well before the five seconds a worker has for one file.
            EXPECT_TRUE(cli.waitForFinished(3000));
            EXPECT_EQ(cli.exitCode(), 3);
            EXPECT_EQ(QString::fromUtf8(cli.readAllStandardOutput()), "中止しました。ファイル名は変更していません。\n");
            EXPECT_EQ(filesIn(photos.path()), photos.names);
        }
        cli.waitForFinished();
        const QDeadlineTimer gone(5000);
        while (std::any_of(workers.begin(), workers.end(), alive) && !gone.hasExpired())
            QThread::msleep(10);
        EXPECT_FALSE(std::any_of(workers.begin(), workers.end(), alive));
    }
}

} // namespace

namespace {

// Two programs opening a database not made yet, or made by an earlier
// version, at once: one makes the tables and columns, the other waits for
// it; neither fails.
TEST(CliFault, TwoProgramsOpeningANewDatabaseBothGoOn)
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        QTemporaryDir data;
        QProcess clis[2];
        for (QProcess &cli : clis)
            cli.start(QStringLiteral(PELMORA_CLI), {"--data", data.path(), "log"});
        for (QProcess &cli : clis)
            EXPECT_EQ(finish(cli), 0) << attempt << cli.readAllStandardError().toStdString();
    }
}

} // namespace
