// How the host's window writes blocks of cells as references.
#include "host/ui/BlockReference.h"

#include <gtest/gtest.h>

using namespace host::ui;

TEST(BlockReference, ColumnLettersCoverTheWholeSheet) {
  EXPECT_EQ(ColumnLetters(1), "A");
  EXPECT_EQ(ColumnLetters(26), "Z");
  EXPECT_EQ(ColumnLetters(27), "AA");
  EXPECT_EQ(ColumnLetters(52), "AZ");
  EXPECT_EQ(ColumnLetters(702), "ZZ");
  EXPECT_EQ(ColumnLetters(703), "AAA");
  EXPECT_EQ(ColumnLetters(16384), "XFD");
}

TEST(BlockReference, SheetNamesAreQuotedWhenTheyCouldBeMisread) {
  EXPECT_EQ(SheetQualifier("Sheet2"), "Sheet2");
  EXPECT_EQ(SheetQualifier("Data_2024.v1"), "Data_2024.v1");
  EXPECT_EQ(SheetQualifier("My sheet"), "'My sheet'");
  EXPECT_EQ(SheetQualifier("O'Brien"), "'O''Brien'");
  EXPECT_EQ(SheetQualifier("2024"), "'2024'");
  EXPECT_EQ(SheetQualifier("AB12"), "'AB12'");  // would read as a cell
  EXPECT_EQ(SheetQualifier("R1C1"), "'R1C1'");
  EXPECT_EQ(SheetQualifier("Zahlen-Übersicht"), "'Zahlen-Übersicht'");
}

TEST(BlockReference, BlockIsAbsoluteAndNamesItsSheetWhenAsked) {
  EXPECT_EQ(BlockReference({}, 2, 2, 9, 4), "$B$2:$D$9");
  EXPECT_EQ(BlockReference({}, 5, 2, 5, 2), "$B$5");
  EXPECT_EQ(BlockReference("Sheet2", 2, 2, 9, 4), "Sheet2!$B$2:$D$9");
  EXPECT_EQ(BlockReference("My sheet", 1, 1, 3, 3), "'My sheet'!$A$1:$C$3");
  EXPECT_EQ(BlockReference({}, 1, 1, 1048576, 16384), "$A$1:$XFD$1048576");
}
