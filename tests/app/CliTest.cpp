// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "rename/Operations.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

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
    EXPECT_EQ(run.out, "b.jpg → 210305-Mov-007.jpg\t2021/03/05 09:00:00\na.JPG → 210305-Mov-008.JPG\t2021/03/05 10:00:00\n"
              "c.png\t対象外：拡張子\n");

    // A day that starts at 09:30 holds the 09:00 shot in the day before.
    const CliRun late = runCli({"--data", data.path(), "new-number", photos.path(), "--ext", "jpg", "--day-starts",
                                "09:30", "--dry-run"});
    EXPECT_TRUE(late.out.startsWith("b.jpg → 210304-001.jpg\t2021/03/05 09:00:00\na.JPG → 210305-001.JPG\t"))
        << late.out.toStdString();

    // A line break in a name is shown, not obeyed: one line per file.
    writeFile(photos.path(), "two\nlines.jpg");
    const CliRun odd = runCli({"--data", data.path(), "append", photos.path(), "--post", "x", "--dry-run"});
    EXPECT_TRUE(odd.out.contains("two\u240Alines.jpg → two\u240Alines(x).jpg\n")) << odd.out.toStdString();
    EXPECT_EQ(filesIn(photos.path()), QStringList({"a.JPG", "b.jpg", "c.png", "two\nlines.jpg"}));
    EXPECT_EQ(filesIn(data.path()), QStringList());

    // Beside a database, dry runs read it and leave nothing beside it.
    ASSERT_EQ(runCli({"--data", data.path(), "append", photos.path(), "--post", "x"}).exitCode, 0);
    const QByteArray database = readFile(data.filePath("FileNameDB.db"));
    runCli({"--data", data.path(), "append", photos.path(), "--post", "y", "--dry-run"});
    EXPECT_EQ(runCli({"--data", data.path(), "undo", "--dry-run"}).exitCode, 0);
    EXPECT_EQ(filesIn(data.path()), QStringList({"FileNameDB.db"}));
    EXPECT_EQ(readFile(data.filePath("FileNameDB.db")), database);
}

TEST_F(Cli, RunsAndPrintsTheClosingMessage)
{
    const CliRun run = runCli({"--data", data.path(), "shot-date", photos.path(), "--option", "2"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "3件のファイル名を変更しました\n (全件変更されました)\n");
    EXPECT_EQ(filesIn(photos.path()), QStringList({"20210304-001.png", "20210305-001.jpg", "20210305-002.JPG"}));
}

// 0 only when every planned file was renamed; 2 when some were not, each
// named on standard error with its cause.
TEST_F(Cli, SomeFilesNotRenamedExitWithTwoAndNameThem)
{
    ASSERT_TRUE(QDir(photos.path()).mkdir("b(x).jpg"));
    const CliRun plan = runCli({"--data", data.path(), "append", photos.path(), "--post", "x", "--dry-run"});
    EXPECT_TRUE(plan.out.contains("b.jpg → b(x).jpg\t同じ名前のフォルダがあるため変更できません\n")) << plan.out.toStdString();
    EXPECT_EQ(plan.exitCode, 2); // the plan says so already
    const CliRun run = runCli({"--data", data.path(), "append", photos.path(), "--post", "x"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "2件のファイル名を変更しました\n (1件は変更できませんでした)\n");
    EXPECT_TRUE(run.err.startsWith("b.jpg → b(x).jpg\t変更できませんでした\t名前が既に存在します")) << run.err.toStdString();
}

// Entries named like photos that are none, and a photo that cannot be read,
// are each listed with their reason; none is passed over or dated by its
// file time.
TEST_F(Cli, EntriesThatAreNoPhotosAreListedWithTheirReason)
{
    QDir folder(photos.path());
    ASSERT_TRUE(folder.mkdir("210305-001.jpg"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder.filePath("pipe.jpg")).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(folder.filePath("gone"), folder.filePath("link.jpg")));
    ASSERT_TRUE(QFile::link("b.jpg", folder.filePath("alias.jpg"))); // renaming b.jpg would leave it leading nowhere
    copyMedia("ianare-exif-samples/Nikon_D70.jpg", photos.path(), "locked.jpg");
    ASSERT_TRUE(QFile::setPermissions(folder.filePath("locked.jpg"), {}));
    const auto run = [&](QStringList arguments) {
        QString program = QStringLiteral(PELMORA_CLI);
        if (::geteuid() == 0) { // root reads every file: the run is made as nobody
            QFile::setPermissions(photos.path(), QFile::Permissions(0x7777));
            QFile::setPermissions(data.path(), QFile::Permissions(0x7777));
            arguments = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} + arguments;
            program = QStringLiteral("setpriv");
        }
        QProcess cli;
        cli.start(program, arguments);
        cli.waitForFinished(60000);
        return CliRun{cli.exitCode(), QString::fromUtf8(cli.readAllStandardOutput()),
                      QString::fromUtf8(cli.readAllStandardError())};
    };
    const CliRun dry = run({"--data", data.path(), "shot-date", photos.path(), "--dry-run"});
    EXPECT_EQ(dry.exitCode, 2);
    for (const char *line : {"b.jpg → 210305-001.jpg\t2021/03/05 09:00:00\tファイル更新日時\t同じ名前のフォルダがあるため変更できません\n",
                             "210305-001.jpg\t対象外：フォルダ\n", "link.jpg\t対象外：リンク先がない\n",
                             "alias.jpg\t対象外：リンク\n",
                             "locked.jpg\t対象外：読み取れません\n", "pipe.jpg\t対象外：ファイルではない（パイプ・デバイスなど）\n"})
        EXPECT_TRUE(dry.out.contains(QString::fromUtf8(line))) << line << "\n" << dry.out.toStdString();
    // The run counts the unreadable file once, among those not renamed.
    const CliRun done = run({"--data", data.path(), "shot-date", photos.path()});
    EXPECT_EQ(done.exitCode, 2);
    EXPECT_EQ(done.out, "2件のファイル名を変更しました\n (2件は変更できませんでした)\n"
                        " (うち1件は読み取れないため変更できませんでした：locked.jpg)\n");
    EXPECT_TRUE(QFileInfo::exists(photos.filePath("locked.jpg")));
}

// A name a Mac wrote (ガ as カ and a sound mark) is matched, paired with its
// sidecar and sorted as the same name typed here; names not asked to change
// keep their bytes.
TEST_F(Cli, NamesAMacWroteAreMatchedAndSortedAsTyped)
{
    QTemporaryDir mac;
    const auto nfd = [](const char *name) { return QString::fromUtf8(name).normalized(QString::NormalizationForm_D); };
    copyMedia("ianare-exif-samples/Canon_40D.jpg", mac.path(), nfd("ガイド.jpg"));
    writeFile(mac.path(), "ガイド.xmp");
    const CliRun paired = runCli({"--data", data.path(), "shot-date", mac.path(), "--dry-run"});
    EXPECT_TRUE(paired.out.contains("ガイド.xmp → 080530-001.xmp")) << paired.out.toStdString();

    // Of one date, names are numbered in the order they read: カア before ガ.
    QTemporaryDir sorted;
    for (const QString &name : {nfd("ガ.jpg"), QStringLiteral("カア.jpg")})
        setModified(writeFile(sorted.path(), name), at("2021-03-05 09:00:00"));
    const CliRun numbered = runCli({"--data", data.path(), "new-number", sorted.path(), "--dry-run"});
    EXPECT_TRUE(numbered.out.startsWith("カア.jpg → 210305-001.jpg")) << numbered.out.toStdString();

    // カ is not found in ガ, however written; ガ is, and a name each form of
    // it gives is given once.
    writeFile(sorted.path(), "ガ.jpg");
    const CliRun once = runCli({"--data", data.path(), "replace", sorted.path(), "--pre", "カ", "--post", "X", "--dry-run"});
    EXPECT_EQ(once.out, "カア.jpg → Xア.jpg\n" + nfd("ガ.jpg") + "\t対象外：名前が変わらない\nガ.jpg\t対象外：名前が変わらない\n");
    // A replacement that leaves no name, or a hidden one, is no rename.
    const CliRun hidden = runCli({"--data", data.path(), "replace", sorted.path(), "--pre", "カア", "--post", "", "--dry-run"});
    EXPECT_TRUE(hidden.out.startsWith("カア.jpg\t対象外：置換すると名前がなくなるか「.」で始まる\n")) << hidden.out.toStdString();
    const CliRun twins = runCli({"--data", data.path(), "replace", sorted.path(), "--pre", "ガ", "--post", "案内", "--dry-run"});
    EXPECT_EQ(twins.exitCode, 2);
    EXPECT_TRUE(twins.out.contains("→ 案内.jpg\t同じ名前のファイルがあるため変更できません")) << twins.out.toStdString();
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
    // An output that takes nothing (a full disk) is said, with a status a script sees.
    QProcess full;
    full.setStandardOutputFile("/dev/full");
    full.start(PELMORA_CLI, {"--data", dataFolder, "log"});
    ASSERT_TRUE(full.waitForFinished(30000));
    EXPECT_EQ(full.exitCode(), 1);
    EXPECT_TRUE(QString::fromLocal8Bit(full.readAllStandardError()).startsWith("pelmora-cli: ログを書き出せませんでした。"));

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

// As root every folder can be read: the command then runs as nobody, so that
// a folder closed to its user is one it cannot read.
TEST_F(Cli, NumbersATreeAndExportsIt)
{
    QTemporaryDir tree;
    for (const char *folder : {"shot/closed", "shot/open"})
        QDir(tree.path()).mkpath(folder);
    for (const char *file : {"shot/a.jpg", "shot/closed/b.jpg", "shot/open/c.jpg"})
        writeFile(tree.path(), file);
    QFile::setPermissions(tree.filePath("shot/closed"), QFileDevice::Permissions());
    for (const QString &open : {tree.path(), tree.filePath("shot"), tree.filePath("shot/open"), data.path()})
        QFile::setPermissions(open, QFileDevice::Permissions(0x7777));
    QStringList number = {"--data", data.path(), "number", tree.filePath("shot")};
    if (::geteuid() == 0)
        number = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", PELMORA_CLI} + number;
    QProcess cli;
    cli.start(::geteuid() == 0 ? "setpriv" : PELMORA_CLI, number);
    ASSERT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(QString::fromUtf8(cli.readAllStandardOutput()),
              "ファイル2件とフォルダ3件のナンバリングを実行しました。\n"
              " (1件のフォルダは読めないため、中のファイルを番号付けしていません)\n");
    QFile::setPermissions(tree.filePath("shot/closed"), QFileDevice::Permissions(0x7700));

    QTemporaryDir desktop;
    const CliRun exported = runCli({"--data", data.path(), "export", "--to", desktop.path()});
    ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();
    const QFileInfo saved(exported.out.trimmed());
    EXPECT_EQ(saved.path(), desktop.path());
    EXPECT_TRUE(QRegularExpression("^\\d{6}-File_Name_ID-\\d{6}\\.xlsx$").match(saved.fileName()).hasMatch());
    EXPECT_EQ(QDir(desktop.path()).entryList(QDir::Files), QStringList({saved.fileName()}));
}

TEST_F(Cli, RefusesWhatItCannotRun)
{
    writeFile(data.path(), "a-file");
    const QStringList cases[] = {
        {"--data", data.filePath("a-file/DATA"), "shot-date", photos.path()}, // cannot be made
        {"--data", data.path(), "shot-date", photos.filePath("missing")},
        {"--data", data.path(), "shot-date", photos.path(), "--start", "x"},
        {"--data", data.path(), "shot-date", photos.path(), "--day-starts", "25:00"},
        {"--data", data.path(), "shot-date", photos.path(), "--camera-offset", "Canon EOS R5=+3:20"},
        {"--data", data.path(), "shot-date", photos.path(), "--pre", "2021/03"}, // no name holds a '/'
        {"--data", data.path(), "append", photos.path(), "--post", "a/b"},
        {"--data", data.path(), "cameras", photos.path(), "--zone", "Mars/Olympus"},
        {"--data", data.path(), "rename-all", photos.path()},
    };
    for (const QStringList &arguments : cases) {
        const CliRun run = runCli(arguments);
        EXPECT_NE(run.exitCode, 0) << arguments.join(' ').toStdString();
        EXPECT_FALSE(run.err.isEmpty());
    }
    EXPECT_EQ(filesIn(photos.path()), QStringList({"a.JPG", "b.jpg", "c.png"}));
    EXPECT_EQ(runCli({"--data", data.path(), "append", photos.path(), "--post", "a/b"}).err,
              "pelmora-cli: Post Textに、ファイル名に使えない文字「/」があります。\n");
    // Replace looks for its Pre Text, and Append writes its Post Text alone:
    // a '/' in the other box is no error.
    EXPECT_EQ(runCli({"--data", data.path(), "replace", photos.path(), "--pre", "/", "--post", "x"}).exitCode, 0);
    EXPECT_EQ(runCli({"--data", data.path(), "append", photos.path(), "--pre", "x/y", "--post", "z", "--dry-run"}).exitCode,
              0);

    // A temporary name no record explains: the dry run refuses as the run
    // would, also before there is any database (none is made).
    writeFile(photos.path(), "TempFileName3405_001.jpg");
    QTemporaryDir fresh;
    const CliRun dry = runCli({"--data", fresh.path(), "new-number", photos.path(), "--dry-run"});
    EXPECT_EQ(dry.exitCode, 1);
    EXPECT_TRUE(dry.err.contains("TempFileName3405_001.jpg"));
    EXPECT_TRUE(filesIn(fresh.path()).isEmpty());
}

// The table of cameras, with what GPS time suggests for the Pixel; an
// offset for one run moves its dates, and the dry run says by how much.
TEST_F(Cli, CamerasAreListedAndAnOffsetServesOneRun)
{
    QTemporaryDir trip;
    for (const char *file : {"Google.jpg", "GoPro.jpg"})
        copyMedia(QStringLiteral("exiftool-t-images/") + file, trip.path(), QString::fromUtf8(file));
    const CliRun cameras = runCli({"--data", data.path(), "cameras", trip.path(), "--camera-offset",
                                   "GoPro HERO6 Black#C3221324657219=+00:00:15"});
    EXPECT_EQ(cameras.exitCode, 0) << cameras.err.toStdString();
    EXPECT_EQ(cameras.out, "Camera\tFiles\tFirst\tLast\tOffset\tSuggested\n"
                           "Google Pixel 8 Pro\t1\t2023-10-06 22:53:51\t2023-10-06 22:53:51\t+00:00:00\t-00:01:41\n"
                           "GoPro HERO6 Black#C3221324657219\t1\t2017-10-03 10:58:29\t2017-10-03 10:58:29\t+00:00:15\t\n");
    const CliRun dry = runCli({"--data", data.path(), "shot-date", trip.path(), "--dry-run", "--camera-offset",
                               "google pixel 8 pro=-00:01:41"});
    EXPECT_TRUE(dry.out.contains("Google.jpg → 231006-001.jpg\t2023/10/06 22:52:10\t撮影日時(EXIF)\t"
                                 "補正 -1分41秒：元の日時 2023/10/06 22:53:51\n"))
        << dry.out.toStdString();
}

// One line per command, and each listed command is one the program runs:
// given too many arguments it answers with its usage, not as unknown.
TEST_F(Cli, HelpListsEveryCommandOnALineOfItsOwn)
{
    EXPECT_EQ(runCli({"--version"}).out, "Pelmora " PELMORA_VERSION "\n");
    const QString help = runCli({"--help"}).out;
    const QString commandsPart = help.section("Commands:\n", 1).section("\n\n", 0, 0);
    QStringList commands;
    for (const QString &line : commandsPart.split('\n'))
        commands << line.section(' ', 2, 2);
    for (const pelmora::OperationRules &rules : pelmora::allOperations())
        EXPECT_EQ(commands.count(rules.name), 1) << rules.name.toStdString();
    EXPECT_GE(commands.size(), 15);
    for (const QString &command : commands) {
        const CliRun run = runCli({"--data", data.path(), command, "x", "y", "z"});
        EXPECT_NE(run.exitCode, 0);
        EXPECT_TRUE(run.err.contains("usage")) << command.toStdString() << ": " << run.err.toStdString();
    }
}

} // namespace
