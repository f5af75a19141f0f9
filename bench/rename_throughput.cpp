// SPDX-License-Identifier: GPL-3.0-or-later
// Times the rename by date taken through the engine on N copies of a real
// JPEG, each with its own DateTimeOriginal, against exiftool doing the same
// renaming. Set-up (copies, dates) is not timed.
//
//   rename_throughput [N ...]        (default: 1000 10000)
#include "platform/Clock.h"
#include "database/NameDatabase.h"
#include "rename/RenameOperations.h"
#include "rename/RenameSession.h"

#include <exiv2/exiv2.hpp>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

using namespace pelmora;

namespace {

const QString kSource = QStringLiteral(PELMORA_TESTDATA "/media/ianare-exif-samples/Canon_40D.jpg");

// N copies, file i taken 137 s after file i - 1, listed in a shuffled order.
void buildFolder(const QString &folder, int count)
{
    const QDateTime first(QDate(2010, 1, 1), QTime(0, 0));
    for (int i = 0; i < count; ++i) {
        const QString path = QStringLiteral("%1/IMG_%2.jpg").arg(folder).arg((i * 7919) % count, 5, 10, QChar(u'0'));
        QFile::copy(kSource, path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        image->exifData()["Exif.Photo.DateTimeOriginal"] =
            first.addSecs(qint64(i) * 137).toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")).toStdString();
        image->writeMetadata();
    }
}

void copyFolder(const QString &from, const QString &to)
{
    for (const QString &name : QDir(from).entryList(QDir::Files))
        QFile::copy(from + u'/' + name, to + u'/' + name);
}

// The plan alone: reading every file's metadata, the bulk of a run.
double timePlan(const QString &folder)
{
    SystemClock clock;
    NamingInputs inputs;
    inputs.folder = folder;
    inputs.extensions = pictureExtensions();
    QElapsedTimer timer;
    timer.start();
    RenameOperations(clock).plan(Operation::ShotDate, inputs);
    return timer.nsecsElapsed() / 1e9;
}

double timePelmora(const QString &folder, int count)
{
    QTemporaryDir data;
    SystemClock clock;
    NameDatabase database(data.path(), clock);
    NamingInputs inputs;
    inputs.folder = folder;
    inputs.fileCount = count;
    inputs.extensions = pictureExtensions();
    RenameSession operations(clock);
    QElapsedTimer timer;
    timer.start();
    const OperationOutcome outcome = operations.run(Operation::ShotDate, inputs, database);
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (outcome.renamed != count)
        std::fprintf(stderr, "pelmora renamed %d of %d\n", outcome.renamed, count);
    return seconds;
}

double timeExiftool(const QString &folder)
{
    QProcess exiftool;
    QElapsedTimer timer;
    timer.start();
    exiftool.start(QStringLiteral("exiftool"), {QStringLiteral("-q"), QStringLiteral("-FileName<DateTimeOriginal"),
                                                QStringLiteral("-d"), QStringLiteral("%y%m%d-%%.3nc.%%e"), folder});
    exiftool.waitForFinished(-1);
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    settleLocalTimeZone();
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QString::fromLocal8Bit(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {1000, 10000};
    const bool haveExiftool = !QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty();
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);

    std::printf("%8s  %8s  %16s  %16s  %7s\n", "files", "plan s", "pelmora files/s", "exiftool files/s", "ratio");
    for (int count : sizes) {
        QTemporaryDir work;
        const QString ours = work.filePath(QStringLiteral("pelmora"));
        const QString theirs = work.filePath(QStringLiteral("exiftool"));
        QDir().mkpath(ours);
        QDir().mkpath(theirs);
        buildFolder(ours, count);
        copyFolder(ours, theirs);

        const double plan = timePlan(ours);
        const double pelmora = count / timePelmora(ours, count);
        const double exiftool = haveExiftool ? count / timeExiftool(theirs) : 0;
        std::printf("%8d  %8.2f  %16.0f  %16.0f  %6.1fx\n", count, plan, pelmora, exiftool,
                    exiftool > 0 ? pelmora / exiftool : 0);
        std::fflush(stdout);
    }
    return 0;
}
