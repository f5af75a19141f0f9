// SPDX-License-Identifier: GPL-3.0-or-later
// The memory and time of `pelmora-cli log` over a log of N rows: the rows
// are written first (not timed), then the command runs with its output
// thrown away, and its peak memory is read from the system.
//
//   log_listing PELMORA_CLI [N]        (default: 604000)
#include "platform/Clock.h"
#include "database/NameDatabase.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace pelmora;

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: log_listing PELMORA_CLI [N]\n");
        return 2;
    }
    const int count = argc > 2 ? std::atoi(argv[2]) : 604000;
    QTemporaryDir data;
    {
        SystemClock clock;
        NameDatabase database(data.path(), clock);
        Transaction transaction(database);
        for (int i = 0; i < count; ++i)
            database.appendLog({0, QStringLiteral("IMG_%1.JPG").arg(i, 6, 10, QChar(u'0')),
                                QDateTime(QDate(2019, 5, 1), QTime(10, 0)).addSecs(i), QStringLiteral("JPG"),
                                QStringLiteral("Canon EOS 40D"), QStringLiteral("190501-%1").arg(i + 1, 3, 10, QChar(u'0')),
                                {}});
        transaction.commit();
    }
    QElapsedTimer timer;
    timer.start();
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        const QByteArray folder = data.path().toLocal8Bit();
        ::execl(argv[1], argv[1], "--data", folder.constData(), "log", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    rusage usage {};
    ::wait4(child, &status, 0, &usage);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("log of %d rows: exit %d, %.2f s, peak %.0f MB\n", count, WEXITSTATUS(status), seconds,
                double(usage.ru_maxrss) / 1024.0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
