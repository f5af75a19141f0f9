// SPDX-License-Identifier: GPL-3.0-or-later
// Times the numbering export: a workbook of N file rows and N / 10 folder
// rows written from the built template. Building the rows is not timed.
//
//   workbook_export [N ...]        (default: 100000)
#include "numbering/WorkbookExport.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

using namespace pelmora;

int main(int argc, char **argv)
{
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(std::atoi(argv[i]));
    if (counts.empty())
        counts.push_back(100000);

    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("export.xlsx"));
    const QDateTime first(QDate(2010, 1, 1), QTime(0, 0));
    for (const int count : counts) {
        const int folderCount = std::max(1, count / 10);
        std::vector<FolderRow> folders;
        for (int i = 0; i < folderCount; ++i)
            folders.push_back({QStringLiteral("写真/%1年/フォルダ %2").arg(2010 + i % 15).arg(i),
                               QStringLiteral("FLD%1").arg(i + 1, 4, 10, QChar(u'0'))});
        std::vector<FileRow> files;
        for (int i = 0; i < count; ++i) {
            const FolderRow &folder = folders[size_t(i % folderCount)];
            files.push_back({QStringLiteral("FLE%1").arg(i + 1, 6, 10, QChar(u'0')),
                             QStringLiteral("IMG_%1 (Tom's).JPG").arg(i, 6, 10, QChar(u'0')),
                             i % 50 == 0 ? QDateTime() : first.addSecs(qint64(i) * 137), QStringLiteral("JPG"),
                             folder.folderName, folder.folderId});
        }

        QElapsedTimer timer;
        timer.start();
        const auto error = workbook::write(QStringLiteral(PELMORA_WORKBOOK_TEMPLATE), files, folders, target);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        if (error) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(error->subject), qPrintable(error->detail));
            return 1;
        }
        std::printf("%d file rows + %d folder rows: %.3f s, %.0f rows/s, %.1f MB\n", count, folderCount, seconds,
                    (count + folderCount) / seconds, double(QFileInfo(target).size()) / 1e6);
    }
    return 0;
}
