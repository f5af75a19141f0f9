#include "TestSupport.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace pelmora::test;

namespace {

struct CliRun {
    int exitCode;
    QString out;
    QString err;
};

CliRun runCli(const QStringList &arguments)
{
    QProcess cli;
    cli.start(QStringLiteral(PELMORA_CLI), arguments);
    cli.waitForFinished(60000);
    return {cli.exitCode(), QString::fromUtf8(cli.readAllStandardOutput()),
            QString::fromUtf8(cli.readAllStandardError())};
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        setModified(writeFile(photos.path(), "b.jpg"), at("2021-03-05 09:00:00"));
        setModified(writeFile(photos.path(), "a.JPG"), at("2021-03-05 10:00:00"));
        setModified(writeFile(photos.path(), "c.png"), at("2021-03-04 10:00:00"));
    }
    QTemporaryDir data;
    QTemporaryDir photos;
};

TEST_F(Cli, DryRunPrintsThePlanAndChangesNothing)
{
    const CliRun run = runCli({"--data", data.path(), "new-number", photos.path(), "--ext", "jpg",
                               "--pre", "-Mov", "--start", "7", "--dry-run"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "b.jpg → 210305-Mov-007.jpg\na.JPG → 210305-Mov-008.JPG\nc.png（対象外：拡張子）\n");
    EXPECT_EQ(filesIn(photos.path()), QStringList({"a.JPG", "b.jpg", "c.png"}));
    EXPECT_EQ(filesIn(data.path()), QStringList());
}

TEST_F(Cli, RunsAndPrintsTheClosingMessage)
{
    const CliRun run = runCli({"--data", data.path(), "shot-date", photos.path(), "--option", "2"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "3件のファイル名を変更しました\n (全件変更されました)\n");
    EXPECT_EQ(filesIn(photos.path()), QStringList({"20210304-001.png", "20210305-001.jpg", "20210305-002.JPG"}));
}

TEST_F(Cli, LogCompactionAttributesAndFavouriteFolder)
{
    const QString dataFolder = data.filePath("new/DATA"); // made when missing
    ASSERT_EQ(runCli({"--data", dataFolder, "new-number", photos.path()}).exitCode, 0);
    const CliRun log = runCli({"--data", dataFolder, "log"});
    const QStringList lines = log.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "ID\tOriginalFileName\tMakeItDate\tExtension\tCamera\tNewFileName\tUpdate");
    EXPECT_TRUE(lines[1].startsWith("3\ta.JPG\t2021-03-05 10:00:00\tJPG\t\t210305-002\t"));

    EXPECT_EQ(runCli({"--data", dataFolder, "compact"}).exitCode, 0);
    const CliRun cleared = runCli({"--data", dataFolder, "clear-log"});
    EXPECT_EQ(cleared.exitCode, 0) << cleared.err.toStdString();
    EXPECT_EQ(runCli({"--data", dataFolder, "log"}).out.count('\n'), 1);

    const QStringList attributes = runCli({"--data", dataFolder, "attributes", photos.path()}).out.split('\n');
    EXPECT_EQ(attributes.size(), 501); // 500 lines and the final line end
    EXPECT_EQ(attributes[0], "210304-001.png");
    EXPECT_EQ(attributes[1], "1 : 1");

    EXPECT_EQ(runCli({"--data", dataFolder, "favourite", photos.path()}).exitCode, 0);
    EXPECT_EQ(runCli({"--data", dataFolder, "favourite"}).out, photos.path() + "\n");
}

TEST_F(Cli, RefusesWhatItCannotRun)
{
    writeFile(data.path(), "a-file");
    const QStringList cases[] = {
        {"--data", data.filePath("a-file/DATA"), "shot-date", photos.path()}, // cannot be made
        {"--data", data.path(), "shot-date", photos.filePath("missing")},
        {"--data", data.path(), "shot-date", photos.path(), "--start", "x"},
        {"--data", data.path(), "rename-all", photos.path()},
    };
    for (const QStringList &arguments : cases) {
        const CliRun run = runCli(arguments);
        EXPECT_NE(run.exitCode, 0) << arguments.join(' ').toStdString();
        EXPECT_FALSE(run.err.isEmpty());
    }
    EXPECT_EQ(filesIn(photos.path()), QStringList({"a.JPG", "b.jpg", "c.png"}));
}

} // namespace
