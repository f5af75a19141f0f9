// SPDX-License-Identifier: GPL-3.0-or-later
#include "RenameFixture.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

using RenameByDate = RenameFixture;

TEST_F(RenameByDate, NamesAndNumbersEveryDayInOrderTaken)
{
    // Real photos: two from one camera in the same minute, and three other days.
    copy("metadata-extractor-images/FujiFilm FinePix1400Zoom (2).jpg", "a.jpg"); // 2002-08-15 08:13:51
    copy("metadata-extractor-images/FujiFilm FinePix1400Zoom (1).jpg", "b.JPG"); // 2002-08-15 08:13:39
    copy("ianare-exif-samples/Canon_40D.jpg", "c.jpg");                          // 2008-05-30 15:56:01
    copy("ianare-exif-samples/Nikon_D70.jpg", "d.jpeg");                         // 2008-03-15 09:52:01
    copy("ianare-exif-samples/Canon_DIGITAL_IXUS_400.jpg", "e.jpg");              // 2004-08-27 13:52:55
    dated("notes.txt", "2021-03-05 10:00:00");

    const OperationOutcome outcome = run(Operation::ShotDate);

    EXPECT_EQ(files(), QStringList({"020815-001.JPG", "020815-002.jpg", "040827-001.jpg", "080315-001.jpeg",
                                    "080530-001.jpg", "notes.txt"}));
    EXPECT_EQ(counted(outcome), std::tuple(5, 1, 0));

    // One log row per rename, newest first, with the file's values.
    const auto log = database->logRowsNewestFirst();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0].originalFileName, "c.jpg");
    EXPECT_EQ(log[0].makeItDate, at("2008-05-30 15:56:01"));
    EXPECT_EQ(log[0].extension, "jpg");
    EXPECT_EQ(log[0].camera, "Canon EOS 40D");
    EXPECT_EQ(log[0].newFileName, "080530-001");
    EXPECT_EQ(log[0].update, clock.now());
    EXPECT_EQ(log[4].originalFileName, "b.JPG");

    // The scratch rows of this run: temporary names numbered in listing order.
    EXPECT_EQ(listNames(), QStringList({"TempFileName3405_002.JPG>020815-001", "TempFileName3405_001.jpg>020815-002",
                                        "TempFileName3405_005.jpg>040827-001", "TempFileName3405_004.jpeg>080315-001",
                                        "TempFileName3405_003.jpg>080530-001"}));

    // No file steps aside: the bar goes once across, then is hidden.
    const auto &events = progress.events;
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front(), -1);
    EXPECT_EQ(events.back(), -2);
    EXPECT_TRUE(std::is_sorted(events.begin() + 1, events.end() - 1));
    EXPECT_EQ(events[events.size() - 2], 83); // 5 of 6 files
}

TEST_F(RenameByDate, PicturesWithoutDateTakenGoByDateModified)
{
    setModified(copy("metadata-extractor-images/beach.jpg", "beach.jpg"), at("2021-03-05 09:00:00"));
    setModified(copy("metadata-extractor-images/Issue 609.jpg", "zero.jpg"), at("2021-03-05 08:00:00"));
    setModified(copy("metadata-extractor-images/FujiFilm DX-5.jpg", "blank.jpg"), at("2021-03-06 08:00:00"));
    run(Operation::ShotDate);
    EXPECT_EQ(files(), QStringList({"210305-001.jpg", "210305-002.jpg", "210306-001.jpg"}));
    EXPECT_EQ(database->logRowsNewestFirst().back().originalFileName, "zero.jpg");
}

TEST_F(RenameByDate, ExtensionCaseRulesAndExcludedCount)
{
    for (const char *name : {"a.jpg", "b.JPG", "c.Jpg", "noext", "e.txt"})
        dated(name, "2021-03-05 09:00:00");
    const OperationOutcome outcome = run(Operation::ShotDate);
    EXPECT_EQ(files(), QStringList({"210305-001.jpg", "210305-002.JPG", "c.Jpg", "e.txt", "noext"}));
    EXPECT_EQ(counted(outcome), std::tuple(2, 3, 0));
}

// Names in another encoding than UTF-8 (Shift JIS, from an old camera or PC)
// cannot be given back to the system: such a file of the run is said to be
// left alone, with why, and the message never says all were renamed.
TEST_F(RenameByDate, NamesThatAreNoUtf8AreReportedNotRenamed)
{
    dated("a.jpg", "2021-03-05 09:00:00");
    const QByteArray folderName = QFile::encodeName(folder.path());
    for (const QByteArray &name : {QByteArray("/\x93\xfa\x96\x7b.jpg"), QByteArray("/\x93\xfa.txt")})
        ::close(::open((folderName + name).constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    const OperationOutcome outcome = run(Operation::ShotDate);
    EXPECT_EQ(counted(outcome), std::tuple(1, 1, 1));
    EXPECT_EQ(outcome.plan.undecodable, QStringList{"\\x93\\xfa\\x96{.jpg"}); // its bytes shown as escapes
    EXPECT_EQ(::access((folderName + "/\x93\xfa\x96\x7b.jpg").constData(), F_OK), 0);
    EXPECT_EQ(files(), QStringList({"210305-001.jpg"}));
    for (const QByteArray &name : {QByteArray("/\x93\xfa\x96\x7b.jpg"), QByteArray("/\x93\xfa.txt")})
        ::unlink((folderName + name).constData()); // QDir cannot see them to remove them
}

// Renaming a renamed folder again changes no name: nothing is moved,
// counted as renamed or logged, the close counts the files apart, and the
// undo still goes to the run that renamed them.
TEST_F(RenameByDate, ARunThatChangesNothingIsNoRun)
{
    dated("a.jpg", "2021-03-05 09:00:00");
    dated("b.jpg", "2021-03-05 10:00:00");
    dated("c.png", "2021-03-05 11:00:00");
    ASSERT_EQ(run(Operation::ShotDate).renamed, 3);
    const qint64 logged = database->count(Table::FileNameLog);
    dated("d.jpg", "2021-03-06 09:00:00"); // one new file: it alone moves
    const OperationOutcome again = run(Operation::ShotDate);
    EXPECT_EQ(again.renamed, 1);
    EXPECT_EQ(text::outcomeMessage(again), "1件のファイル名を変更しました\r (3件は名前が変わらないため変更しませんでした)");
    EXPECT_EQ(database->count(Table::FileNameLog), logged + 1);
    const OperationOutcome nothing = run(Operation::ShotDate);
    EXPECT_EQ(text::outcomeMessage(nothing), "0件のファイル名を変更しました\r (4件は名前が変わらないため変更しませんでした)");
    EXPECT_EQ(database->count(Table::FileNameLog), logged + 1);
    const OperationOutcome undone = RenameSession(clock).undo(*database);
    EXPECT_EQ(undone.renamed, 1); // the run that moved d.jpg, not the one that moved nothing
    EXPECT_EQ(files(), QStringList({"210305-001.jpg", "210305-002.jpg", "210305-003.png", "d.jpg"}));
}

TEST_F(RenameByDate, ListHoldsOnlyTheLatestRun)
{
    dated("a.jpg", "2021-03-05 09:00:00");
    dated("b.jpg", "2021-03-05 10:00:00");
    run(Operation::ShotDate);
    dated("c.png", "2021-03-07 10:00:00");
    NamingInputs in = inputs();
    in.extensions = {"png"};
    run(Operation::ShotDate, in);
    EXPECT_EQ(listNames(), QStringList({"TempFileName3405_001.png>210307-001"}));
    EXPECT_EQ(database->count(Table::FileNameLog), 3);
}

// A name taken by something that is not listed, or a file gone before its
// turn: that file keeps its name, the others go on.
TEST_F(RenameByDate, TakenTargetOrVanishedFileFailsAlone)
{
    dated("a.jpg", "2021-03-05 09:00:00");
    dated("b.jpg", "2021-03-05 10:00:00");
    dated("c.jpg", "2021-03-05 11:00:00");
    QDir(folder.path()).mkdir("210305-001.jpg");
    RenameOperations operations(clock);
    const RenamePlan plan = operations.plan(Operation::ShotDate, inputs());
    QFile::remove(folder.filePath("c.jpg"));
    const OperationOutcome outcome = operations.apply(plan, *database);
    EXPECT_EQ(files(), QStringList({"210305-002.jpg", "a.jpg"}));
    EXPECT_EQ(counted(outcome), std::tuple(1, 0, 2));
    ASSERT_EQ(database->count(Table::FileNameLog), 1);
    EXPECT_EQ(database->logRowsNewestFirst()[0].originalFileName, "b.jpg");
}

TEST_F(RenameByDate, ReadOnlyFolderRenamesNothingAndSaysSo)
{
    dated("a.jpg", "2021-03-05 09:00:00");
    dated("b.jpg", "2021-03-05 10:00:00");
    OperationOutcome outcome;
    {
        ReadOnly locked(folder.path());
        if (!locked.ok())
            GTEST_SKIP() << "cannot make the folder read-only here";
        outcome = run(Operation::ShotDate);
    }
    // Refused before anything is planned, naming the folder.
    EXPECT_EQ(files(), QStringList({"a.jpg", "b.jpg"}));
    EXPECT_EQ(outcome.status, OperationOutcome::Status::FolderReadOnly);
    EXPECT_EQ(outcome.subject, folder.path());
    EXPECT_NE(outcome.error, 0);
    EXPECT_EQ(database->count(Table::FileNameLog), 0);
}

using RenameByNewNumber = RenameFixture;

TEST_F(RenameByNewNumber, GoesByDateModifiedAndIgnoresTheLengthOption)
{
    // Taken in 2002, modified on 5 March 2021.
    setModified(copy("metadata-extractor-images/FujiFilm FinePix1400Zoom (1).jpg", "IMG_0001.JPG"),
                at("2021-03-05 12:34:00"));
    setModified(copy("generated/gen_clip_65s.mp4", "clip.mp4"), at("2021-03-05 09:10:00"));
    dated("x.jpg", "2021-03-06 08:00:00");
    NamingInputs in = inputs();
    in.extensions[5] = "mp4";
    in.option = NamingOption::Option4;
    in.preText = "A";
    in.postText = "B";
    const OperationOutcome outcome = run(Operation::NewNumber, in);
    EXPECT_EQ(files(), QStringList({"210305A-001B.mp4", "210305A-002B.JPG", "210306A-001B.jpg"}));
    EXPECT_EQ(counted(outcome), std::tuple(3, 0, 0));
    const auto log = database->logRowsNewestFirst();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1].camera, "FinePix1400Zoom");
    EXPECT_EQ(log[1].makeItDate, at("2021-03-05 12:34:00"));
}

// A Start Number that is not a whole number stops the run before anything is
// renamed or listed; a negative one, or one padded with blanks, is used.
TEST_F(RenameByNewNumber, StartNumberMustBeWholeAndMayBeNegative)
{
    dated("a.jpg", "2021-03-05 09:00:00");
    dated("b.jpg", "2021-03-05 10:00:00");
    dated("c.jpg", "2021-03-05 11:00:00");
    dated("d.jpg", "2021-03-06 11:00:00");
    database->addListRows({{"kept", {}, {}, {}, {}, {}, {}}});
    NamingInputs in = inputs();
    for (const char *wrong : {"1.5", "abc", ""}) {
        in.startNumber = wrong;
        const OperationOutcome outcome = run(Operation::ShotDate, in);
        EXPECT_EQ(outcome.status, OperationOutcome::Status::StartNumberInvalid);
        EXPECT_EQ(outcome.subject, wrong);
    }
    EXPECT_EQ(files(), QStringList({"a.jpg", "b.jpg", "c.jpg", "d.jpg"}));
    EXPECT_EQ(database->count(Table::FileNameList), 1);

    in.startNumber = "-1";
    run(Operation::NewNumber, in);
    EXPECT_EQ(files(), QStringList({"210305--001.jpg", "210305-000.jpg", "210305-001.jpg", "210306--001.jpg"}));

    in.startNumber = " 5 ";
    in.option = NamingOption::Option3;
    run(Operation::NewNumber, in);
    EXPECT_EQ(files(), QStringList({"210305-005(210305--001).jpg", "210305-006(210305-000).jpg",
                                    "210305-007(210305-001).jpg", "210306-005(210306--001).jpg"}));
}

TEST_F(RenameByNewNumber, EmptyFolderStillReports)
{
    const OperationOutcome outcome = run(Operation::NewNumber);
    EXPECT_EQ(counted(outcome), std::tuple(0, 0, 0));
    EXPECT_EQ(database->count(Table::FileNameList), 0);
}

} // namespace
