// SPDX-License-Identifier: GPL-3.0-or-later
// Naming and companions from tables of files: no disk, no media, no workers.
#include "rename/Companions.h"
#include "rename/Naming.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <ctime>

using namespace pelmora;
using namespace pelmora::test;

namespace {

struct Row {
    const char *name;
    const char *date; // empty: no date
    double subSecond = -1;
};

std::vector<PlannedRename> filesOf(std::initializer_list<Row> rows)
{
    std::vector<PlannedRename> files;
    for (const Row &row : rows) {
        PlannedRename file;
        file.formerName = row.name;
        file.extension = QString(row.name).section(u'.', -1);
        file.date = *row.date ? at(row.date) : QDateTime();
        file.subSecond = row.subSecond;
        file.movieLong = QStringLiteral("(9s)");
        files.push_back(file);
    }
    return files;
}

// "former -> new" in the order the files end up in.
QStringList namesOf(const std::vector<PlannedRename> &files)
{
    QStringList names;
    for (const PlannedRename &file : files)
        names << file.formerName + QStringLiteral(" -> ") + file.newName;
    return names;
}

NamingInputs inputsWith(NamingOption option = NamingOption::Option1, const char *pre = "", const char *post = "",
                        const char *start = "1")
{
    NamingInputs inputs;
    inputs.option = option;
    inputs.preText = pre;
    inputs.postText = post;
    inputs.startNumber = start;
    return inputs;
}

TEST(Naming, ByDayNumbersEachDayFromTheStartNumberAndPairsShareOne)
{
    const auto files = [] {
        return filesOf({{"b.JPG", "2021-03-02 08:00:00"},
                        {"IMG_1.CR2", "2021-03-01 10:00:00"},
                        {"burst2.JPG", "2021-03-01 09:00:00", 0.50},
                        {"nodate.MOV", ""},
                        {"IMG_1.JPG", "2021-03-01 10:00:00"},
                        {"burst1.JPG", "2021-03-01 09:00:00", 0.25},
                        {"img_1.jpg", "2021-03-01 10:00:00"}});
    };
    struct Case {
        Operation operation;
        NamingInputs inputs;
        QStringList expected;
    };
    const Case cases[] = {
        {Operation::ShotDate,
         inputsWith(),
         {"nodate.MOV -> -001.MOV", "burst1.JPG -> 210301-001.JPG", "burst2.JPG -> 210301-002.JPG",
          "IMG_1.CR2 -> 210301-003.CR2", "IMG_1.JPG -> 210301-003.JPG",
          // The same extension in another case is a shot of its own.
          "img_1.jpg -> 210301-004.jpg", "b.JPG -> 210302-001.JPG"}},
        {Operation::ShotDate,
         inputsWith(NamingOption::Option2, "trip", "x", "-2"),
         {"nodate.MOV -> trip--002x.MOV", "burst1.JPG -> 20210301trip--002x.JPG",
          "burst2.JPG -> 20210301trip--001x.JPG", "IMG_1.CR2 -> 20210301trip-000x.CR2",
          "IMG_1.JPG -> 20210301trip-000x.JPG", "img_1.jpg -> 20210301trip-001x.jpg",
          "b.JPG -> 20210302trip--002x.JPG"}},
        {Operation::NewNumber,
         inputsWith(NamingOption::Option4),
         {"nodate.MOV -> -001.MOV", "burst1.JPG -> 210301-001.JPG", "burst2.JPG -> 210301-002.JPG",
          "IMG_1.CR2 -> 210301-003.CR2", "IMG_1.JPG -> 210301-003.JPG", "img_1.jpg -> 210301-004.jpg",
          "b.JPG -> 210302-001.JPG"}},
        {Operation::NewAndExisting,
         inputsWith(),
         {"nodate.MOV -> -001(nodate).MOV", "burst1.JPG -> 210301-001(burst1).JPG",
          "burst2.JPG -> 210301-002(burst2).JPG", "IMG_1.CR2 -> 210301-003(IMG_1).CR2",
          "IMG_1.JPG -> 210301-003(IMG_1).JPG", "img_1.jpg -> 210301-004(img_1).jpg",
          "b.JPG -> 210302-001(b).JPG"}},
    };
    for (const Case &c : cases) {
        std::vector<PlannedRename> named = files();
        nameByDay(rulesOf(c.operation), c.inputs, named);
        EXPECT_EQ(namesOf(named), c.expected) << int(c.operation) << int(c.inputs.option);
    }

    // Without pairs, a RAW takes a number of its own; a movie's length
    // follows its name with Option4 where the operation reads it.
    NamingInputs alone = inputsWith(NamingOption::Option4);
    alone.companions = false;
    std::vector<PlannedRename> named = filesOf({{"IMG_1.CR2", "2021-03-01 10:00:00"}, {"IMG_1.JPG", "2021-03-01 10:00:00"}});
    nameByDay(rulesOf(Operation::ShotDate), alone, named);
    EXPECT_EQ(namesOf(named), QStringList({"IMG_1.CR2 -> 210301-001(9s).CR2", "IMG_1.JPG -> 210301-002(9s).JPG"}));
}

TEST(Naming, LowestFreeTakesTheFirstNumberFreeForEveryFileOfTheShot)
{
    const QStringList folder = {"210301-001.JPG", "210301-003.cr2", "old.JPG", "IMG_1.CR2", "IMG_1.JPG", "x.JPG"};
    struct Case {
        bool anyCase;
        QStringList expected;
    };
    const Case cases[] = {
        // On a card "210301-003.cr2" takes "210301-003.CR2": the shot goes on to 004.
        {true, {"old.JPG -> 210301-002.JPG", "IMG_1.CR2 -> 210301-004.CR2", "IMG_1.JPG -> 210301-004.JPG",
                "x.JPG -> 210301-003.JPG"}},
        {false, {"old.JPG -> 210301-002.JPG", "IMG_1.CR2 -> 210301-003.CR2", "IMG_1.JPG -> 210301-003.JPG",
                 "x.JPG -> 210301-004.JPG"}},
    };
    for (const Case &c : cases) {
        std::vector<PlannedRename> files = filesOf({{"x.JPG", "2021-03-01 12:00:00"},
                                                    {"old.JPG", "2021-03-01 08:00:00"},
                                                    {"IMG_1.CR2", "2021-03-01 10:00:00"},
                                                    {"IMG_1.JPG", "2021-03-01 10:00:00"}});
        nameLowestFree(inputsWith(), FolderNames(folder, c.anyCase), files);
        EXPECT_EQ(namesOf(files), c.expected) << c.anyCase;
    }
}

// A night that runs past midnight stays one day when the day starts at
// 04:00: its shots take the evening's date and numbers, for both ways of
// numbering; the next morning starts a day of its own.
TEST(Naming, ADayStartsAtTheHourGiven)
{
    NamingInputs inputs = inputsWith();
    inputs.dayStart = QTime(4, 0);
    const auto night = [] {
        return filesOf({{"c.JPG", "2021-03-02 05:00:00"}, {"b.JPG", "2021-03-02 01:30:00"},
                        {"a.JPG", "2021-03-01 23:30:00"}, {"d.JPG", "2021-03-02 03:59:59"}});
    };
    const QStringList expected = {"a.JPG -> 210301-001.JPG", "b.JPG -> 210301-002.JPG", "d.JPG -> 210301-003.JPG",
                                  "c.JPG -> 210302-001.JPG"};
    std::vector<PlannedRename> byDay = night();
    nameByDay(rulesOf(Operation::ShotDate), inputs, byDay);
    EXPECT_EQ(namesOf(byDay), expected);
    std::vector<PlannedRename> lowestFree = night();
    nameLowestFree(inputs, FolderNames({}, false), lowestFree);
    EXPECT_EQ(namesOf(lowestFree), expected);

    // By the clock's hour on the night summer time begins too.
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Paris");
    tzset();
    inputs.dayStart = QTime(3, 0);
    std::vector<PlannedRename> spring = filesOf({{"e.JPG", "2021-03-28 03:10:00"}});
    nameByDay(rulesOf(Operation::ShotDate), inputs, spring);
    EXPECT_EQ(namesOf(spring), QStringList({"e.JPG -> 210328-001.JPG"}));
    qputenv("TZ", zone);
    tzset();
}

// A date half a year or more from the rest of its camera's files is
// flagged (a clock reset to 2000-01-01); a camera with two files, and a
// file without a camera, have no rest to stand out from.
TEST(Naming, DatesThatStandOutFromTheirCamerasAreFlagged)
{
    std::vector<PlannedRename> files = filesOf({{"a1.JPG", "2021-03-01 10:00:00"}, {"a2.JPG", "2021-03-02 10:00:00"},
                                                {"a3.JPG", "2021-04-20 10:00:00"}, {"reset.JPG", "2000-01-01 00:00:00"},
                                                {"b1.JPG", "2021-03-01 10:00:00"}, {"b2.JPG", "2019-03-01 10:00:00"},
                                                {"none.JPG", "1999-01-01 10:00:00"}});
    for (size_t i = 0; i < files.size(); ++i)
        files[i].camera = i < 4 ? "EOS R5" : i < 6 ? "iPhone 12" : "";
    markDatesThatStandOut(files);
    std::vector<bool> flagged;
    for (const PlannedRename &file : files)
        flagged.push_back(file.dateStandsOut);
    EXPECT_EQ(flagged, std::vector<bool>({false, false, false, true, false, false, false}));
}

// Past 999 the number widens: the thousandth file of a day, and the
// lowest free number of a day whose 999 are taken, are 1000.
TEST(Naming, NumbersWidenPastThreeDigits)
{
    std::vector<PlannedRename> day;
    QStringList taken;
    for (int i = 0; i < 1000; ++i) {
        day.push_back(filesOf({{"f.jpg", "2021-03-05 09:00:00"}}).front());
        taken << QStringLiteral("210305-%1.jpg").arg(i + 1, 3, 10, QChar(u'0'));
    }
    nameByDay(rulesOf(Operation::ShotDate), inputsWith(), day);
    EXPECT_EQ(day[998].newName, "210305-999.jpg");
    EXPECT_EQ(day[999].newName, "210305-1000.jpg");

    taken.removeLast();
    std::vector<PlannedRename> one = filesOf({{"x.jpg", "2021-03-05 09:00:00"}});
    nameLowestFree(inputsWith(), FolderNames(taken, false), one);
    EXPECT_EQ(one[0].newName, "210305-1000.jpg");
}

TEST(Naming, TextsReplaceExactlyAppendInBracketsAndLeaveUnchangedNamesOut)
{
    RenamePlan plan;
    plan.files = filesOf({{"aXa.JPG", ""}, {"axa.JPG", ""}, {"b.JPG", ""}});
    nameByText(rulesOf(Operation::ReplaceText), inputsWith(NamingOption::Option1, "X", "yy"), plan);
    EXPECT_EQ(namesOf(plan.files), QStringList{"aXa.JPG -> ayya.JPG"});
    ASSERT_EQ(plan.leftOut.size(), 2u);
    EXPECT_EQ(plan.leftOut[0].reason, LeftOut::Reason::Unchanged);

    // ガイド written by a Mac (カ + the sound mark, NFD) is found by ガイド typed
    // here (NFC), and the other way round; a name without it keeps its bytes.
    const QString typed = QString::fromUtf8("ガイド");
    const QString mac = typed.normalized(QString::NormalizationForm_D);
    const auto named = [](const QStringList &names) {
        std::vector<PlannedRename> files;
        for (const QString &name : names) {
            files.emplace_back();
            files.back().formerName = name;
            files.back().extension = QStringLiteral("jpg");
        }
        return files;
    };
    const auto replacing = [](const QString &search, const QString &by) {
        NamingInputs inputs = inputsWith();
        inputs.preText = search;
        inputs.postText = by;
        return inputs;
    };
    plan = {};
    plan.files = named({mac + "写真.jpg", typed + "2.jpg", mac.left(2) + ".jpg"});
    nameByText(rulesOf(Operation::ReplaceText), replacing(typed, "旅行"), plan);
    EXPECT_EQ(namesOf(plan.files), QStringList({mac + "写真.jpg -> 旅行写真.jpg", typed + "2.jpg -> 旅行2.jpg"}));
    ASSERT_EQ(plan.leftOut.size(), 1u);
    EXPECT_EQ(plan.leftOut[0].name, mac.left(2) + ".jpg"); // its bytes as they were
    plan = {};
    plan.files = named({typed + ".jpg"});
    nameByText(rulesOf(Operation::ReplaceText), replacing(mac, "x"), plan);
    EXPECT_EQ(namesOf(plan.files), QStringList({typed + ".jpg -> x.jpg"}));

    plan = {};
    plan.files = filesOf({{"a.b.JPG", ""}});
    nameByText(rulesOf(Operation::AppendText), inputsWith(NamingOption::Option1, "", "trip"), plan);
    EXPECT_EQ(namesOf(plan.files), QStringList{"a.b.JPG -> a.b(trip).JPG"});
}

TEST(Naming, TemporaryNamesAreNewToTheFolderAndTheRunAndTakenNamesAreMarked)
{
    const QTime now(10, 34, 56);
    const QString key = QStringLiteral("1a2b3c4d");
    const FolderNames folder({temporaryName(now, 1, "jpg", key), "a.JPG", "b.JPG", "210301-001.JPG"}, true);
    RenamePlan plan;
    plan.files = filesOf({{"a.JPG", ""}, {"b.JPG", ""}});
    plan.files[0].newName = "210301-001.JPG"; // borne by an entry the run leaves alone
    plan.files[1].newName = "A.JPG";          // borne by a file the run moves away
    giveTemporaryNames(folder, now, key, plan.files);
    EXPECT_EQ(plan.files[0].temporaryName, temporaryName(now, 2, "JPG", key));
    EXPECT_EQ(plan.files[1].temporaryName, temporaryName(now, 3, "JPG", key));
    EXPECT_TRUE(isTemporaryName(plan.files[0].temporaryName));
    EXPECT_EQ(runKeyOf(plan.files[1].temporaryName), key);
    markTakenNames(folder, plan);
    EXPECT_TRUE(plan.files[0].nameTaken);
    EXPECT_FALSE(plan.files[1].nameTaken);
}

TEST(Sidecars, SidecarsFollowTheFileTheyAreNamedAfterInTheFormTheyHad)
{
    RenamePlan plan;
    plan.files = filesOf({{"IMG_1.JPG", "2021-03-01 10:00:00"},
                          {"IMG_1.xmp", ""},
                          {"IMG_1.JPG.xmp", ""},
                          {"img_1.XMP", ""},
                          {"IMG_2.JPG", "2021-03-01 11:00:00"},
                          {"IMG_2.CR2", "2021-03-01 11:00:05"},
                          {"IMG_2.xmp", ""},
                          {"lone.xmp", ""},
                          {"keep.JPG", "2021-03-01 12:00:00"}});
    plan.leftOut.push_back({"IMG_2.THM", LeftOut::Reason::Extension});
    plan.excluded = 1;
    const OperationRules &rules = rulesOf(Operation::NewNumber);
    std::vector<SetAside> sidecars = takeOutSidecars(rules, inputsWith(), plan);
    EXPECT_EQ(sidecars.size(), 5u);
    EXPECT_EQ(plan.excluded, 0); // the thumbnail now follows its movie
    nameByDay(rules, inputsWith(), plan.files);
    plan.files.back().newName = plan.files.back().formerName; // keep.JPG keeps its name
    attachSidecars(rules, std::move(sidecars), plan);
    EXPECT_EQ(namesOf(plan.files),
              QStringList({"lone.xmp -> -001.xmp", "IMG_1.xmp -> 210301-001.xmp",
                           "IMG_1.JPG.xmp -> 210301-001.JPG.xmp", "IMG_1.JPG -> 210301-001.JPG",
                           "IMG_2.JPG -> 210301-002.JPG",
                           // Edits of one base name go with the RAW, not the JPEG.
                           "IMG_2.xmp -> 210301-003.xmp", "IMG_2.THM -> 210301-003.THM",
                           "IMG_2.CR2 -> 210301-003.CR2", "keep.JPG -> keep.JPG"}));
    // The second sidecar of one new name stays, left out as it was.
    ASSERT_EQ(plan.leftOut.size(), 1u);
    EXPECT_EQ(plan.leftOut[0].name, "img_1.XMP");
    EXPECT_EQ(plan.leftOut[0].reason, LeftOut::Reason::Unchanged);
    EXPECT_TRUE(plan.files[1].companion);
    EXPECT_FALSE(plan.files[0].companion); // named after no file of the run: a file of its own
}

TEST(Sidecars, TheFilesOfAShotStandWhereItsFirstFileStands)
{
    std::vector<PlannedRename> files = filesOf({{"a.CR2", ""}, {"b.JPG", ""}, {"a.JPG", ""}, {"c.JPG", ""}});
    files[0].shot = files[2].shot = "a";
    bringShotsTogether(files);
    EXPECT_EQ(namesOf(files), QStringList({"a.CR2 -> ", "a.JPG -> ", "b.JPG -> ", "c.JPG -> "}));
}

} // namespace
