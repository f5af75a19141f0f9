// SPDX-License-Identifier: GPL-3.0-or-later
// Times the numbering of generated trees: ten files a folder, folders two
// levels deep. Set-up (the tree) is not timed.
//
//   folder_numbering [FILES ...]        (default: 10000 100000)
#include "numbering/FolderNumbering.h"
#include "platform/Clock.h"
#include "database/NameDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

using namespace pelmora;

namespace {

void buildTree(const QString &root, int files)
{
    const int folders = files / 10;
    for (int f = 0; f < folders; ++f) {
        const QString folder = QStringLiteral("%1/top%2/sub%3").arg(root).arg(f / 100, 3, 10, QChar(u'0')).arg(f);
        QDir().mkpath(folder);
        for (int i = 0; i < 10; ++i) {
            QFile file(QStringLiteral("%1/IMG_%2.jpg").arg(folder).arg(i));
            file.open(QIODevice::WriteOnly);
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QString::fromLocal8Bit(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {10000, 100000};
    SystemClock clock;
    std::printf("%10s %10s %10s %12s\n", "files", "folders", "seconds", "files/s");
    for (int files : sizes) {
        QTemporaryDir tree, data;
        buildTree(tree.path(), files);
        NameDatabase database(data.path(), clock);
        QElapsedTimer timer;
        timer.start();
        const NumberingResult result = FolderNumbering(database).run(tree.path());
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        std::printf("%10d %10d %10.2f %12.0f\n", result.files, result.folders, seconds, result.files / seconds);
    }
    return 0;
}
