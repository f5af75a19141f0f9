// SPDX-License-Identifier: GPL-3.0-or-later
#include "RenameFixture.h"

using namespace pelmora;
using namespace pelmora::test;

namespace {

using KeepExisting = RenameFixture;

TEST_F(KeepExisting, TakesTheLowestFreeNumberPerDayAndExtension)
{
    dated("x.jpg", "2021-03-05 09:00:00");
    dated("210305-001.jpg", "2021-03-06 09:00:00"); // already bears a numbered name
    dated("y.png", "2021-03-05 09:30:00");         // other extension: own numbers
    dated("z.JPG", "2021-03-05 10:00:00");         // a box holding jpg takes it, as every operation does
    dated("w.jpg", "2021-03-05 11:00:00");
    // A file bearing a free name of its own day counts it as taken and moves on.
    dated("210307-001.jpg", "2021-03-07 10:00:00");
    dated("IMG_0002.jpg", "2021-03-07 09:00:00");
    const OperationOutcome outcome = run(Operation::KeepExisting);
    EXPECT_EQ(files(), QStringList({"210305-001.JPG", "210305-001.png", "210305-002.jpg", "210305-003.jpg",
                                    "210306-001.jpg", "210307-002.jpg", "210307-003.jpg"}));
    EXPECT_EQ(outcome.failed, 0);
    EXPECT_EQ(database->count(Table::FileNameLog), 0);
    EXPECT_TRUE(progress.events.empty());
    EXPECT_EQ(listNames(), QStringList({"x.jpg>210305-002", "y.png>210305-001", "z.JPG>210305-001", "w.jpg>210305-003",
                                        "210305-001.jpg>210306-001", "IMG_0002.jpg>210307-002",
                                        "210307-001.jpg>210307-003"}));
}

// The free names are probed with the Pre and Post Text; a name taken
// between plan and renaming is reported and nothing is lost.
TEST_F(KeepExisting, NameTakenMeanwhileIsReportedAndNothingIsLost)
{
    dated("a.jpg", "2021-03-05 09:00:00");
    dated("b.jpg", "2021-03-05 10:00:00");
    NamingInputs in = inputs();
    in.preText = "A";
    in.postText = "B";
    in.option = NamingOption::Option2;
    RenameOperations operations(clock);
    const RenamePlan plan = operations.plan(Operation::KeepExisting, in);
    writeFile(folder.path(), "20210305A-001B.jpg", "someone else's");
    const OperationOutcome outcome = operations.apply(plan, *database);
    EXPECT_EQ(outcome.failed, 1);
    EXPECT_EQ(files(), QStringList({"20210305A-001B.jpg", "20210305A-002B.jpg", "a.jpg"}));
}

using NewAndExisting = RenameFixture;

TEST_F(NewAndExisting, KeepsTheFormerNameInBracketsAndNestsOnASecondRun)
{
    dated("IMG_0001.JPG", "2021-03-05 09:00:00");
    dated("IMG_0002.JPG", "2021-03-05 10:00:00");
    dated("DSC_5.jpg", "2021-03-06 10:00:00");
    dated("c.Jpg", "2021-03-06 10:00:00");
    NamingInputs in = inputs();
    in.option = NamingOption::Option4; // gives the names of the first option
    OperationOutcome outcome = run(Operation::NewAndExisting, in);
    EXPECT_EQ(files(), QStringList({"210305-001(IMG_0001).JPG", "210305-002(IMG_0002).JPG",
                                    "210306-001(DSC_5).jpg", "c.Jpg"}));
    EXPECT_EQ(counted(outcome), std::tuple(3, 1, 0));
    EXPECT_EQ(database->count(Table::FileNameLog), 0);
    EXPECT_EQ(database->listRows().front().originalFileName, "IMG_0001");

    in.preText = "A";
    in.postText = "B";
    in.startNumber = "5";
    run(Operation::NewAndExisting, in);
    EXPECT_EQ(files()[0], "210305A-005B(210305-001(IMG_0001)).JPG");
}

using ReplaceText = RenameFixture;

TEST_F(ReplaceText, ReplacesEveryOccurrenceWithExactCase)
{
    for (const char *name : {"banana.jpg", "IMG_0001.JPG", "img_0002.jpg", "a.JPG", "photo_copy.jpg", "c.Jpg"})
        dated(name, "2021-03-05 09:00:00");
    NamingInputs in = inputs();
    const std::pair<const char *, const char *> replacements[] = {
        {"a", "b"}, {"IMG_", "Trip_"}, {".JPG", ".jpg"}, {"_copy", ""}};
    for (const auto &[search, replacement] : replacements) {
        in.preText = search;
        in.postText = replacement;
        run(Operation::ReplaceText, in);
    }
    EXPECT_EQ(files(), QStringList({"Trip_0001.jpg", "b.jpg", "bbnbnb.jpg", "c.Jpg", "img_0002.jpg", "photo.jpg"}));

    const auto log = database->logRowsNewestFirst();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0].originalFileName, "photo_copy.jpg");
    EXPECT_EQ(log[0].newFileName, "photo.jpg"); // with its extension
    EXPECT_EQ(database->count(Table::FileNameList), 0);
}

TEST_F(ReplaceText, EachFileOnceAndCountsTellTheTruth)
{
    for (const char *name : {"banana.jpg", "IMG_1.jpg", "Trip_1.jpg", "x.txt"})
        dated(name, "2021-03-05 09:00:00");
    NamingInputs in = inputs();
    in.preText = "a";
    in.postText = "aa"; // contains the search text: still one replacement per file
    EXPECT_EQ(counted(run(Operation::ReplaceText, in)), std::tuple(1, 1, 0));
    EXPECT_TRUE(files().contains("baanaanaa.jpg"));

    in.preText = "IMG_";
    in.postText = "Trip_";
    EXPECT_EQ(counted(run(Operation::ReplaceText, in)), std::tuple(0, 1, 1));
    EXPECT_TRUE(files().contains("IMG_1.jpg"));

    // An empty search text changes no name, so nothing is renamed or logged.
    const qint64 logged = database->count(Table::FileNameLog);
    in.preText = "";
    const OperationOutcome nothing = run(Operation::ReplaceText, in);
    EXPECT_EQ(nothing.renamed, 0); // and never "all renamed":
    EXPECT_TRUE(text::outcomeMessage(nothing).contains("件は名前が変わらないため変更しませんでした)"));
    EXPECT_EQ(database->count(Table::FileNameLog), logged);

    // A replacement that would leave the folder is refused before anything is planned.
    in.preText = "Trip_";
    in.postText = "../";
    const OperationOutcome refused = run(Operation::ReplaceText, in);
    EXPECT_EQ(refused.refusal, OperationOutcome::Refusal::UnusableText);
    EXPECT_EQ(refused.textBox, OperationOutcome::TextBox::Post);
    EXPECT_TRUE(files().contains("Trip_1.jpg"));
}

using AppendText = RenameFixture;

TEST_F(AppendText, PutsThePostTextInBracketsBeforeTheExtension)
{
    for (const char *name : {"IMG_0001.JPG", "b.jpeg", "a.b.jpg", "c.Jpg", "noext"})
        dated(name, "2021-03-05 09:00:00");
    NamingInputs in = inputs();
    in.postText = "Trip";
    in.preText = "ignored";
    in.startNumber = "not a number"; // not read here
    const OperationOutcome outcome = run(Operation::AppendText, in);
    EXPECT_EQ(files(), QStringList({"IMG_0001(Trip).JPG", "a.b(Trip).jpg", "b(Trip).jpeg", "c.Jpg", "noext"}));
    EXPECT_EQ(counted(outcome), std::tuple(3, 2, 0));
    EXPECT_EQ(progress.events[progress.events.size() - 2], 60); // 3 of 5 files
    const auto log = database->logRowsNewestFirst();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].originalFileName, "b.jpeg");
    EXPECT_EQ(log[0].newFileName, "b(Trip)");

    in.postText = "";
    run(Operation::AppendText, in);
    EXPECT_EQ(files()[0], "IMG_0001(Trip)().JPG");
}

} // namespace
