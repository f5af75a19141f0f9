#include "rename/Messages.h"
#include "rename/NameFormat.h"
#include "rename/NamingInputs.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

TEST(NameFormat, NumbersHaveAtLeastThreeDigits)
{
    const std::pair<qint64, const char *> cases[] = {
        {7, "007"}, {0, "000"}, {999, "999"}, {1000, "1000"}, {-1, "-001"}, {-12, "-012"}};
    for (const auto &[number, text] : cases)
        EXPECT_EQ(number000(number), text) << number;
}

TEST(NameFormat, DatePatternsAndTemporaryNames)
{
    const QDateTime taken = at("2011-09-16 12:34:05");
    EXPECT_EQ(dateText(taken, datePatternFor(NamingOption::Option1)), "110916");
    EXPECT_EQ(dateText(taken, datePatternFor(NamingOption::Option2)), "20110916");
    EXPECT_EQ(dateText(taken, datePatternFor(NamingOption::Option3)), "110916");
    EXPECT_EQ(dateText(taken, datePatternFor(NamingOption::Option4)), "110916");
    EXPECT_EQ(dateText(QDateTime(), DatePattern::YYMMDD), "");
    EXPECT_EQ(temporaryName(taken.time(), 1, "JPG"), "TempFileName3405_001.JPG");
    EXPECT_EQ(numberedName("110916", "A", 1, "B"), "110916A-001B");
}

TEST(NameFormat, MovieLengthTexts)
{
    const std::pair<const char *, const char *> cases[] = {
        {"01:02:03", "(01h02m3s)"}, {"00:01:05", "(01m5s)"}, {"00:00:09", "(9s)"},
        {"00:10:00", "(10m0s)"},    {"00:00:00", "(0s)"},     {"", ""},
        {"1:02:03", ""},            {"garbage!", ""}};
    for (const auto &[column, text] : cases)
        EXPECT_EQ(movieLengthText(column), text) << column;
}

TEST(NameFormat, ExtensionTestStopsAtTheFirstEmptyBox)
{
    auto boxes = pictureExtensions();
    const auto loose = ExtensionRule::UpperOrLowerCase;
    EXPECT_TRUE(takesPart("jpg", boxes, loose));
    EXPECT_TRUE(takesPart("JPG", boxes, loose));
    EXPECT_FALSE(takesPart("Jpg", boxes, loose));
    EXPECT_FALSE(takesPart("", boxes, loose));
    EXPECT_FALSE(takesPart("JPG", boxes, ExtensionRule::ExactCase));

    boxes[6] = "tif"; // behind the empty box 5: never tried
    EXPECT_FALSE(takesPart("tif", boxes, loose));

    for (QString &box : boxes)
        box = "zzz";
    EXPECT_FALSE(takesPart("jpg", boxes, loose));
    boxes[19] = "Jpg"; // the box text in upper or lower case, not as typed
    EXPECT_TRUE(takesPart("jpg", boxes, loose));
    EXPECT_FALSE(takesPart("Jpg", boxes, loose));
}

TEST(NamingInputs, NumericAndWholeNumberTexts)
{
    for (const char *yes : {"12", " 7 ", "-1", "+3", "1.5", "007"})
        EXPECT_TRUE(isNumericText(yes)) << yes;
    for (const char *no : {"", " ", "1a", "1.", ".5", "1,000", "0x10", "--1"})
        EXPECT_FALSE(isNumericText(no)) << no;
    EXPECT_EQ(wholeNumber(" 7 "), 7);
    EXPECT_EQ(wholeNumber("-1"), -1);
    EXPECT_EQ(wholeNumber("1.5"), std::nullopt);
    EXPECT_EQ(wholeNumber("99999999999"), std::nullopt);
}

TEST(Messages, ClosingTextsOfTheCountingOperations)
{
    EXPECT_EQ(text::renameSummary(3, 0, 0), "3件のファイル名を変更しました\r (全件変更されました)");
    EXPECT_EQ(text::renameSummary(1, 2, 0), "1件のファイル名を変更しました\r (2件は拡張子が合致しないため変更除外しました)");
    EXPECT_EQ(text::renameSummary(1, 0, 2),
              "1件のファイル名を変更しました\r (全件変更されました)\r (2件は変更できませんでした)");
}

} // namespace
