// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/MessageBoxes.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <map>
#include <ostream>
#include <vector>

// Readable QString values in failure messages.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList &list, std::ostream *out)
{
    *out << '[' << list.join(QStringLiteral(", ")).toStdString() << ']';
}

namespace pelmora::test {

// Records every box and answers from a queue (Ok, or Cancel for a
// question, when the queue is empty).
class ScriptedMessageBoxes final : public MessageBoxes {
public:
    struct Box {
        QString text;
        Buttons buttons;
        Icon icon;
        QString title;
        DetailTable details;
        // The details as pelmora-cli prints them.
        QString detailLines() const;
    };

    Answer show(const QString &text, Buttons buttons, Icon icon, const QString &title,
                const DetailTable &details) override;

    std::deque<Answer> answers;
    std::vector<Box> shown;
};

class FixedClock final : public Clock {
public:
    explicit FixedClock(QDateTime at) : at_(std::move(at)) {}
    QDateTime now() const override { return at_; }
    void set(const QDateTime &at) { at_ = at; }

private:
    QDateTime at_;
};

// tests/data of the repository (or PELMORA_TESTDATA from the environment).
QString testdataFolder();
QString mediaFile(const QString &relativePath);

// Copies a media file into the folder under a new name; returns the path.
QString copyMedia(const QString &relativePath, const QString &folder, const QString &name);
// Writes a small file of the given bytes.
QString writeFile(const QString &folder, const QString &name, const QByteArray &bytes = "x");
// The whole file; empty when it cannot be read.
QByteArray readFile(const QString &path);
// Sets the last-modified time (local time).
void setModified(const QString &path, const QDateTime &when);
// Plain, non-hidden file names of a folder, sorted.
inline QStringList filesIn(const QString &folder) { return fs::listPlainFiles(folder); }
// Local time from "2021-03-05 09:10:00".
inline QDateTime at(const char *local) { return QDateTime::fromString(local, QStringLiteral("yyyy-MM-dd HH:mm:ss")); }

// The rows of a CSV file with a header line (RFC 4180 quoting), by column name.
using CsvRow = std::map<QString, QString>;
std::vector<CsvRow> readCsv(const QString &path);

// Makes a file or folder unwritable for as long as it lives, also for root
// (through the immutable attribute). ok() is false where that cannot be done.
class ReadOnly {
public:
    explicit ReadOnly(QString path);
    ~ReadOnly();
    ReadOnly(const ReadOnly &) = delete;
    ReadOnly &operator=(const ReadOnly &) = delete;
    bool ok() const { return ok_; }

private:
    QString path_;
    bool root_;
    bool ok_;
};

// A file system that answers renames as a memory card or a failing volume
// does: RENAME_NOREPLACE and link() refused with the errors given, and from
// the nth move on (counting the moves that reach the volume) every call
// answering `failError`. Otherwise the real calls. Given `inUse`, it is the
// calls there for as long as it lives.
class PlayedFileSystem final : public fs::RenameCalls {
public:
    PlayedFileSystem() = default;
    explicit PlayedFileSystem(fs::RenameCalls *&inUse);
    ~PlayedFileSystem() override;
    PlayedFileSystem(const PlayedFileSystem &) = delete;
    PlayedFileSystem &operator=(const PlayedFileSystem &) = delete;

    int renameNoReplace(const char *from, const char *to) override;
    int link(const char *from, const char *to) override;
    int createExclusive(const char *path) override;
    int rename(const char *from, const char *to) override;

    int noReplaceError = 0; // 0: the real call
    int linkError = 0;
    int failFrom = -1;      // the first move that fails; -1: none
    int failError = 0;
    int noReplaceCalls = 0;
    int linkCalls = 0;
    int moves = 0;

private:
    fs::RenameCalls **inUse_ = nullptr;
    bool failing();
    // Counts the call, then answers the failure from `failFrom` on, the
    // refusal given, or the real call.
    int refusedOrReal(int &calls, int refusal, const std::function<int()> &real);
};

} // namespace pelmora::test
