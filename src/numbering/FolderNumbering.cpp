// SPDX-License-Identifier: GPL-3.0-or-later
#include "numbering/FolderNumbering.h"

#include "platform/FileSystem.h"
#include "database/NameDatabase.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <optional>

#include <dirent.h>

namespace pelmora {

namespace {

// Subfolders in name order, hidden ones too; links are not followed, so a
// link back up the tree never makes the walk go round.
QStringList subfoldersOf(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                                               QDir::NoSort);
    std::sort(names.begin(), names.end());
    return names;
}

// How many entries of the folder bear names that are no text (bytes that are
// not UTF-8): they cannot be written to the tables, so they are counted and
// reported instead. None when the folder cannot be read.
std::optional<int> unnamedEntries(const QString &folder)
{
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return std::nullopt;
    int unnamed = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != ".." && QFile::encodeName(QFile::decodeName(name)) != name)
            ++unnamed;
    }
    ::closedir(dir);
    return unnamed;
}

} // namespace

QString fileIdentifier(qint64 number)
{
    return QStringLiteral("FLE") + QString::number(number).rightJustified(6, u'0');
}

QString folderIdentifier(qint64 number)
{
    return QStringLiteral("FLD") + QString::number(number).rightJustified(4, u'0');
}

FolderNumbering::FolderNumbering(NameDatabase &database, FileSeen fileSeen)
    : database_(database)
    , fileSeen_(std::move(fileSeen))
{
}

NumberingResult FolderNumbering::run(const QString &folder)
{
    const QString chosen = QDir::cleanPath(folder);
    // Names are paths from the chosen folder's own name on: "2021/" for the
    // chosen folder itself, "2021/Trip" below it ("/" and "bin" at the root).
    const qsizetype base = chosen.lastIndexOf(u'/') + 1;
    const QString chosenName = chosen == u"/" ? QStringLiteral("/") : chosen.mid(base) + u'/';

    NumberingResult result;
    Transaction transaction(database_);
    database_.empty(Table::FileNum);
    database_.empty(Table::FolderNum);
    Statement addFolder(database_, QStringLiteral("INSERT INTO FolderNum (FolderName, FolderID) VALUES (?, ?)"));
    Statement addFile(database_, QStringLiteral(
        "INSERT INTO FileNum (FileID, FileName, MakeItDate, Extension, FolderName, FolderID) VALUES (?, ?, ?, ?, ?, ?)"));

    // Depth first, pre-order, without recursion: a deep tree cannot exhaust the stack.
    std::vector<QString> pending{chosen};
    while (!pending.empty()) {
        const QString path = pending.back();
        pending.pop_back();
        const QString id = folderIdentifier(++result.folders);
        const QString name = path == chosen ? chosenName : path.mid(base);
        addFolder.bind(name).bind(id).run();
        const std::optional<int> unnamed = unnamedEntries(path);
        if (!unnamed) {
            ++result.unreadable;
            continue;
        }
        result.unnamed += *unnamed;
        for (const QString &file : fs::listPlainFiles(path)) {
            ++result.files;
            if (fileSeen_)
                fileSeen_(result.files);
            addFile.bind(fileIdentifier(result.files)).bind(file).bind(fs::lastModified(fs::joinPath(path, file)))
                .bind(fs::extensionOf(file)).bind(name).bind(id).run();
        }
        const QStringList subfolders = subfoldersOf(path);
        for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it)
            pending.push_back(fs::joinPath(path, *it));
    }
    transaction.commit();
    return result;
}

std::vector<FileRow> numberedFiles(NameDatabase &database)
{
    Statement query(database, QStringLiteral("SELECT FileID, FileName, MakeItDate, Extension, FolderName, FolderID"
                                             " FROM FileNum ORDER BY length(FileID), FileID"));
    return database.rows<FileRow>(query, [](const Statement &row) {
        return FileRow{row.text(0), row.text(1), row.date(2), row.text(3), row.text(4), row.text(5)};
    });
}

std::vector<FolderRow> numberedFolders(NameDatabase &database)
{
    Statement query(database, QStringLiteral("SELECT FolderName, FolderID FROM FolderNum"
                                             " ORDER BY length(FolderID), FolderID"));
    return database.rows<FolderRow>(query, [](const Statement &row) { return FolderRow{row.text(0), row.text(1)}; });
}

} // namespace pelmora
