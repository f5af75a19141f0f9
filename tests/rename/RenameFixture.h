// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/FileSystem.h"
#include "text/Messages.h"
#include "database/NameDatabase.h"
#include "rename/NameFormat.h"
#include "rename/Progress.h"
#include "rename/RenameOperations.h"
#include "rename/RenameSession.h"
#include "TestSupport.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <tuple>
#include <memory>

namespace pelmora::test {

// Remembers what an operation did with the progress bar.
class RecordingProgress final : public ProgressSink {
public:
    void show() override { events.push_back(-1); }
    void setValue(int percent) override { events.push_back(percent); }
    void hide() override { events.push_back(-2); }
    std::vector<int> events;
};

// What a closing message counts: files renamed, left out for their
// extension, not renamed.
inline std::tuple<int, int, int> counted(const OperationOutcome &outcome)
{
    return {outcome.renamed, outcome.plan.excluded, outcome.failed};
}

// A photo folder and a DATA folder in a temporary place, a fixed clock at
// 12:34:05 and the database opened on it.
class RenameFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid() && data.isValid());
        database = std::make_unique<NameDatabase>(data.path(), clock);
    }

    NamingInputs inputs() const
    {
        NamingInputs in;
        in.folder = folder.path();
        in.fileCount = int(fs::listPlainFiles(folder.path()).size());
        in.extensions = pictureExtensions();
        return in;
    }

    OperationOutcome run(Operation operation, NamingInputs in)
    {
        in.fileCount = int(files().size());
        return RenameSession(clock, &progress, nullptr, *volume).run(operation, in, *database);
    }
    OperationOutcome run(Operation operation) { return run(operation, inputs()); }
    // The calls the files move through: a PlayedFileSystem given this plays a volume.
    fs::RenameCalls *volume = &fs::systemRenameCalls();

    QString copy(const char *media, const char *name)
    {
        return copyMedia(QString::fromUtf8(media), folder.path(), QString::fromUtf8(name));
    }
    // A small file that is no picture, dated by its last-modified time.
    QString dated(const char *name, const char *modified)
    {
        const QString path = writeFile(folder.path(), QString::fromUtf8(name));
        setModified(path, at(modified));
        return path;
    }
    QStringList files() const { return filesIn(folder.path()); }
    // Name -> content of every file of the folder.
    std::map<QString, QByteArray> contents() const
    {
        std::map<QString, QByteArray> all;
        for (const QString &name : files()) {
            QFile file(folder.filePath(name));
            EXPECT_TRUE(file.open(QIODevice::ReadOnly));
            all[name] = file.readAll();
        }
        return all;
    }
    // Temporary and new names of the scratch rows; the temporary names
    // without the run's key, once checked that they all bear the same one.
    QStringList listNames()
    {
        QStringList names;
        QSet<QString> keys;
        for (const ListRow &row : database->listRows()) {
            const QString key = runKeyOf(row.fileName);
            if (isTemporaryName(row.fileName))
                keys.insert(key);
            names << (key.isEmpty() ? row.fileName : QString(row.fileName).remove(u'-' + key)) + u'>'
                    + row.newFileName;
        }
        EXPECT_LE(keys.size(), 1);
        EXPECT_FALSE(keys.contains(QString()));
        return names;
    }

    QTemporaryDir folder;
    QTemporaryDir data;
    FixedClock clock{at("2026-01-02 12:34:05")};
    RecordingProgress progress;
    std::unique_ptr<NameDatabase> database;
};

} // namespace pelmora::test
