// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include "text/Messages.h"

#include "platform/PropertyReader.h"

#include <cerrno>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <unistd.h>

#include <functional>
#include <stdexcept>

namespace pelmora::test {

namespace {
// As every program does at its start: names such as 動画.mp4 open in MediaInfoLib.
[[maybe_unused]] const bool kUtf8FileNames = (useUtf8FileNames(), true);
} // namespace

QString ScriptedMessageBoxes::Box::detailLines() const
{
    return text::tableLines(details);
}

Answer ScriptedMessageBoxes::show(const QString &text, Buttons buttons, Icon icon, const QString &title,
                                  const DetailTable &details)
{
    shown.push_back({text, buttons, icon, title, details});
    if (answers.empty())
        return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

QString testdataFolder()
{
    const QByteArray fromEnvironment = qgetenv("PELMORA_TESTDATA");
    return fromEnvironment.isEmpty() ? QStringLiteral(PELMORA_TESTDATA) : QString::fromLocal8Bit(fromEnvironment);
}

QString mediaFile(const QString &relativePath)
{
    return QDir(testdataFolder()).filePath(QStringLiteral("media/") + relativePath);
}

QString copyMedia(const QString &relativePath, const QString &folder, const QString &name)
{
    const QString target = fs::joinPath(folder, name);
    if (!QFile::copy(mediaFile(relativePath), target))
        throw std::runtime_error("cannot copy " + relativePath.toStdString());
    QFile(target).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return target;
}

QString writeFile(const QString &folder, const QString &name, const QByteArray &bytes)
{
    const QString path = fs::joinPath(folder, name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void setModified(const QString &path, const QDateTime &when)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.setFileTime(when, QFileDevice::FileModificationTime))
        throw std::runtime_error("cannot set the time of " + path.toStdString());
}

std::vector<CsvRow> readCsv(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(file.readAll());
    std::vector<QStringList> records(1);
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',' || c == u'\n') {
            records.back() << field;
            field.clear();
            if (c == u'\n')
                records.emplace_back();
        } else if (c != u'\r') {
            field += c;
        }
    }
    if (!field.isEmpty() || !records.back().isEmpty())
        records.back() << field;
    std::vector<CsvRow> rows;
    const QStringList header = records.front();
    for (size_t r = 1; r < records.size(); ++r) {
        if (records[r].size() != header.size())
            continue;
        CsvRow row;
        for (qsizetype c = 0; c < header.size(); ++c)
            row[header[c]] = records[r][c];
        rows.push_back(row);
    }
    return rows;
}

ReadOnly::ReadOnly(QString path)
    : path_(std::move(path))
    , root_(geteuid() == 0)
{
    const QFile::Permissions readable = QFileInfo(path_).isDir()
        ? QFile::ReadOwner | QFile::ExeOwner
        : QFile::Permissions(QFile::ReadOwner);
    ok_ = root_ ? QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path_}) == 0
                : QFile::setPermissions(path_, readable);
}

ReadOnly::~ReadOnly()
{
    if (!ok_)
        return;
    if (root_)
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path_});
    else
        QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

PlayedFileSystem::PlayedFileSystem(fs::RenameCalls *&inUse)
    : inUse_(&inUse)
{
    inUse = this;
}

PlayedFileSystem::~PlayedFileSystem()
{
    if (inUse_)
        *inUse_ = &fs::systemRenameCalls();
}

bool PlayedFileSystem::failing()
{
    if (failFrom < 0 || moves < failFrom)
        return false;
    errno = failError;
    return true;
}

int PlayedFileSystem::refusedOrReal(int &calls, int refusal, const std::function<int()> &real)
{
    ++calls;
    if (failing())
        return -1;
    if (refusal != 0) {
        errno = refusal;
        return -1;
    }
    ++moves;
    return real();
}

int PlayedFileSystem::renameNoReplace(const char *from, const char *to)
{
    return refusedOrReal(noReplaceCalls, noReplaceError, [&] { return RenameCalls::renameNoReplace(from, to); });
}

int PlayedFileSystem::link(const char *from, const char *to)
{
    return refusedOrReal(linkCalls, linkError, [&] { return RenameCalls::link(from, to); });
}

int PlayedFileSystem::createExclusive(const char *path)
{
    return failing() ? -1 : RenameCalls::createExclusive(path);
}

int PlayedFileSystem::rename(const char *from, const char *to)
{
    if (failing())
        return -1;
    ++moves;
    return RenameCalls::rename(from, to);
}

} // namespace pelmora::test
