#include "numbering/WorkbookExport.h"

#include <gtest/gtest.h>

namespace {

TEST(Workbook, OutputNameCarriesDateAndTime)
{
    EXPECT_EQ(pelmora::workbook::outputName(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5))),
              "260102-File_Name_ID-030405.xlsx");
}

} // namespace
