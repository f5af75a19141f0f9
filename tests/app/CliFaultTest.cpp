// pelmora-cli killed, racing itself and sharing its data folder: every photo
// must stay there once, and a recovered run gives every photo its former name.
#include "TestSupport.h"

#include "rename/NameDatabase.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

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

// A folder of photos, each with its own content and time.
struct Photos {
    explicit Photos(const QStringList &names) : names(names)
    {
        for (int i = 0; i < names.size(); ++i)
            setModified(writeFile(dir.path(), names[i], "photo " + QByteArray::number(i)), timeOf(i));
    }
    QString path() const { return dir.path(); }
    QTemporaryDir dir;
    QStringList names;
};

// The photo each file of the folder holds, by name; -1 for a foreign content.
std::map<QString, int> photoByName(const QString &folder)
{
    std::map<QString, int> photos;
    for (const QString &name : filesIn(folder)) {
        QFile file(QDir(folder).filePath(name));
        const QByteArray content = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        photos[name] = content.startsWith("photo ") ? content.mid(6).toInt() : -1;
    }
    return photos;
}

// Checks that every photo is there once, under its name in `from` or in
// `to`; returns the renamed ones as "from → to", sorted.
QStringList renamedPhotos(const QString &folder, const QStringList &from, const QStringList &to)
{
    std::vector<int> seen(size_t(from.size()), 0);
    QStringList renamed;
    for (const auto &[name, photo] : photoByName(folder)) {
        if (photo < 0 || photo >= from.size() || ++seen[size_t(photo)] > 1) {
            ADD_FAILURE() << "unexpected or doubled file " << name.toStdString();
            continue;
        }
        if (name != from[photo]) {
            EXPECT_EQ(name, to[photo]) << "photo " << photo;
            renamed << from[photo] + QStringLiteral(" → ") + name;
        }
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), from.size()) << "photos missing in " << folder.toStdString();
    renamed.sort();
    return renamed;
}

void expectAllRenamed(const QString &folder, const QStringList &from, const QStringList &to)
{
    QStringList expected;
    for (int i = 0; i < from.size(); ++i)
        expected << from[i] + QStringLiteral(" → ") + to[i];
    expected.sort();
    EXPECT_EQ(renamedPhotos(folder, from, to), expected);
}

std::vector<LogRow> logRows(const QString &data)
{
    FixedClock clock(at("2024-01-01 00:00:00"));
    NameDatabase database(data, clock);
    return database.logRowsNewestFirst();
}

// A run taken back: each rename it logged is logged again on its way back
// (with the full former name), and nothing else is logged.
void expectLogTakenBack(const QString &data)
{
    QStringList forward, back;
    for (const LogRow &row : logRows(data)) {
        if (row.newFileName.endsWith(u'.' + row.extension))
            back << row.newFileName + QStringLiteral(" → ") + row.originalFileName;
        else
            forward << row.originalFileName + QStringLiteral(" → ") + row.newFileName + u'.' + row.extension;
    }
    forward.sort();
    back.sort();
    EXPECT_EQ(forward, back);
}

struct CliRun {
    int exitCode; // -1 when it crashed
    QString err;
};

CliRun finish(QProcess &cli)
{
    cli.waitForFinished(120000);
    return {cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1,
            QString::fromUtf8(cli.readAllStandardError())};
}

CliRun runCli(const QStringList &arguments)
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

void expectRefused(const CliRun &run)
{
    EXPECT_GT(run.exitCode, 0);
    EXPECT_FALSE(run.err.isEmpty());
}

enum class Cut { FirstPass, SecondPass };

// Starts new-number and kills it mid-run: in the first pass once the first
// photo has left its name, in the second once the first has its new name.
void startAndKill(const Photos &photos, const QString &data, Cut cut, const QStringList &to, int start = 1)
{
    QProcess cli;
    cli.start(QStringLiteral(PELMORA_CLI), newNumber(data, photos.path(), start));
    const QDir folder(photos.path());
    const QDeadlineTimer deadline(30000);
    const auto waitFor = [&](const QString &name, bool there) {
        while (QFile::exists(folder.filePath(name)) != there && !deadline.hasExpired())
            QThread::usleep(100);
    };
    waitFor(cut == Cut::FirstPass ? photos.names.first() : photos.names.last(), false);
    if (cut == Cut::SecondPass)
        waitFor(to.first(), true);
    cli.kill();
    cli.waitForFinished();
    const QStringList names = filesIn(photos.path());
    ASSERT_TRUE(std::any_of(names.begin(), names.end(), [](const QString &name) {
        return name.startsWith(u"TempFileName");
    })) << "the run was not cut short";
}

// A killed run blocks the folder until recovered; then every photo is there
// once under its former name, and the folder takes the same run again.
void killRecoverAndRunAgain(Cut cut, const QStringList &from, int start = 1)
{
    Photos photos(from);
    QTemporaryDir data;
    const QStringList to = finalNames(kPhotos, start);
    ASSERT_NO_FATAL_FAILURE(startAndKill(photos, data.path(), cut, to, start));

    const QStringList cutShort = filesIn(photos.path());
    expectRefused(runCli(newNumber(data.path(), photos.path(), start)));
    EXPECT_EQ(filesIn(photos.path()), cutShort);

    EXPECT_EQ(runCli({"--data", data.path(), "recover"}).exitCode, 0);
    EXPECT_TRUE(renamedPhotos(photos.path(), from, to).isEmpty()); // every photo under its former name
    expectLogTakenBack(data.path());

    EXPECT_EQ(runCli(newNumber(data.path(), photos.path(), start)).exitCode, 0);
    expectAllRenamed(photos.path(), from, to);
}

TEST(CliFault, KilledRunIsRefusedUntilRecoveredThenEveryPhotoHasItsFormerName)
{
    for (const Cut cut : {Cut::FirstPass, Cut::SecondPass}) {
        SCOPED_TRACE(cut == Cut::FirstPass ? "first pass" : "second pass");
        killRecoverAndRunAgain(cut, formerNames(kPhotos));
    }
}

TEST(CliFault, RenumberingKilledInTheSecondPassIsRecoveredWithoutStrandedFiles)
{
    // Numbers from 2 in a folder numbered from 1: the first photos take the former names of the next ones.
    killRecoverAndRunAgain(Cut::SecondPass, finalNames(kPhotos), 2);
}

TEST(CliFault, OneRunAtATimeInAFolder)
{
    const QStringList from = formerNames(2000), to = finalNames(2000);
    Photos photos(from);
    QTemporaryDir data[2];
    {
        const int held = ::open(QFile::encodeName(photos.path()).constData(), O_RDONLY | O_DIRECTORY);
        ASSERT_EQ(::flock(held, LOCK_EX), 0);
        expectRefused(runCli(newNumber(data[0].path(), photos.path())));
        ::close(held);
        EXPECT_TRUE(renamedPhotos(photos.path(), from, to).isEmpty());
    }
    // Two runs started together, twice: the second time over numbered names.
    qsizetype logs[2] = {0, 0};
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        QProcess clis[2];
        for (int i = 0; i < 2; ++i)
            clis[i].start(QStringLiteral(PELMORA_CLI), newNumber(data[i].path(), photos.path()));
        // Each run refused and logged nothing, or renamed and logged every photo.
        int completed = 0;
        for (int i = 0; i < 2; ++i) {
            const CliRun run = finish(clis[i]);
            const qsizetype logged = qsizetype(logRows(data[i].path()).size());
            if (run.exitCode == 0)
                ++completed;
            else
                expectRefused(run);
            EXPECT_EQ(logged - std::exchange(logs[i], logged), run.exitCode == 0 ? from.size() : 0);
        }
        EXPECT_GE(completed, 1);
        expectAllRenamed(photos.path(), from, to);
    }
}

TEST(CliFault, RecoveryInASharedDataFolderTouchesOnlyTheKilledRunsFolder)
{
    const QStringList from = formerNames(kPhotos), to = finalNames(kPhotos);
    const QStringList otherFrom = formerNames(5), otherTo = finalNames(5);
    for (const Cut cut : {Cut::FirstPass, Cut::SecondPass}) {
        SCOPED_TRACE(cut == Cut::FirstPass ? "first pass" : "second pass");
        Photos killed(from), other(otherFrom);
        QTemporaryDir data;
        ASSERT_NO_FATAL_FAILURE(startAndKill(killed, data.path(), cut, to));
        EXPECT_EQ(runCli(newNumber(data.path(), other.path())).exitCode, 0);

        EXPECT_EQ(runCli({"--data", data.path(), "recover"}).exitCode, 0);
        EXPECT_TRUE(renamedPhotos(killed.path(), from, to).isEmpty());
        expectAllRenamed(other.path(), otherFrom, otherTo);

        // Undo takes back the other run; the killed one was taken back whole.
        EXPECT_EQ(runCli({"--data", data.path(), "undo"}).exitCode, 0);
        EXPECT_TRUE(renamedPhotos(other.path(), otherFrom, otherTo).isEmpty());
        expectRefused(runCli({"--data", data.path(), "undo"}));
    }
}

} // namespace
