// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/NameFormat.h"
#include "rename/NamingInputs.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

TEST(NameFormat, MovieLengthTexts)
{
    const std::pair<const char *, const char *> cases[] = {
        {"01:02:03", "(01h02m3s)"}, {"00:01:05", "(01m5s)"}, {"00:00:09", "(9s)"},
        {"00:10:00", "(10m0s)"},    {"00:00:00", "(0s)"},     {"", ""},
        {"1:02:03", ""},            {"garbage!", ""}};
    for (const auto &[column, text] : cases)
        EXPECT_EQ(movieLengthText(column), text) << column;
}

// The case rules on real files are in RenameByDate.ExtensionCaseRulesAndExcludedCount.
TEST(NameFormat, ExtensionTestStopsAtTheFirstEmptyBox)
{
    auto boxes = pictureExtensions();
    boxes[6] = "tif"; // behind the empty box 5: never tried
    EXPECT_FALSE(takesPart("tif", boxes));

    boxes.fill("zzz"); // all twenty boxes filled, none matches
    EXPECT_FALSE(takesPart("jpg", boxes));
    boxes[19] = "Jpg"; // the box text in upper or lower case, not as typed
    EXPECT_TRUE(takesPart("jpg", boxes));
    EXPECT_FALSE(takesPart("Jpg", boxes));
}

TEST(NamingInputs, NumericAndWholeNumberTexts)
{
    for (const char *yes : {"12", " 7 ", "-1", "+3", "1.5", "007", "１２"})
        EXPECT_TRUE(isNumericText(yes)) << yes;
    for (const char *no : {"", " ", "1a", "1.", ".5", "1,000", "0x10", "--1", "١٢"})
        EXPECT_FALSE(isNumericText(no)) << no;
    EXPECT_EQ(wholeNumber("　１２"), 12); // full-width, as a Japanese input method types it
    EXPECT_EQ(wholeNumber("－３"), -3);
    EXPECT_EQ(wholeNumber("١٢"), std::nullopt);
    // Padded, negative and fractional ones: RenameByNewNumber.StartNumberMustBeWholeAndMayBeNegative.
    EXPECT_EQ(wholeNumber("99999999999"), std::nullopt); // beyond an int
}

} // namespace
