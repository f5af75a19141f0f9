// SPDX-License-Identifier: GPL-3.0-or-later
// Times the renames of one run (new numbering: each file moved once, straight
// to its new name) against plain rename() calls making the same moves of the
// same files, in a folder given on the command line,
// such as a memory card's (bench/card_renames.sh mounts an exFAT image). The
// plan is made before the clock starts: only the renames and their record
// are timed.
//
//   card_renames FOLDER [N]        (default N: 2000)
#include "platform/Clock.h"
#include "database/NameDatabase.h"
#include "rename/RenameOperations.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

using namespace pelmora;

namespace {

void fill(const QString &folder, int count)
{
    for (int i = 0; i < count; ++i) {
        QFile file(QStringLiteral("%1/IMG_%2.jpg").arg(folder).arg(i, 5, 10, QChar(u'0')));
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray(512, char('a' + i % 26)));
    }
}

void empty(const QString &folder)
{
    QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files))
        dir.remove(name);
}

double timeRun(const QString &folder, int count, const QString &dataFolder)
{
    SystemClock clock;
    NameDatabase database(dataFolder, clock);
    NamingInputs inputs;
    inputs.folder = folder;
    inputs.fileCount = count;
    inputs.extensions = pictureExtensions();
    RenameOperations operations(clock);
    const RenamePlan plan = operations.plan(Operation::NewNumber, inputs);
    QElapsedTimer timer;
    timer.start();
    const OperationOutcome outcome = operations.apply(plan, database);
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (outcome.renamed != count)
        std::fprintf(stderr, "renamed %d of %d\n", outcome.renamed, count);
    return seconds;
}

// The same move of every file with rename(), which would replace a file and
// records nothing: the floor a run is measured against.
double timePlainRenames(const QString &folder, int count)
{
    const QByteArray base = QFile::encodeName(folder) + '/';
    auto path = [&](const char *format, int i) { return base + QString::asprintf(format, i).toLatin1(); };
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i)
        std::rename(path("IMG_%05d.jpg", i).constData(), path("991231-%05d.jpg", i).constData());
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    settleLocalTimeZone();
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: card_renames FOLDER [N]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int count = argc > 2 ? std::atoi(argv[2]) : 2000;
    QTemporaryDir data; // the record stays on the local disk, as it does for a card

    constexpr int kRounds = 3;
    double run = 1e9, plain = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        empty(folder);
        fill(folder, count);
        run = std::min(run, timeRun(folder, count, data.path()));
        empty(folder);
        fill(folder, count);
        plain = std::min(plain, timePlainRenames(folder, count));
    }
    empty(folder);
    std::printf("%-40s  %6d files  run %7.3f s  plain rename() %7.3f s  ratio %5.2fx\n",
                folder.toLocal8Bit().constData(), count, run, plain, run / plain);
    return 0;
}
