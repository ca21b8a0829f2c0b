// Column letters, cell and area references at the edges of the sheet.

#include <gtest/gtest.h>

#include "host/core/CellAddress.h"

namespace {

TEST(CellAddress, ColumnLettersBothWays) {
  EXPECT_EQ(host::ColumnLetters(1), "A");
  EXPECT_EQ(host::ColumnLetters(26), "Z");
  EXPECT_EQ(host::ColumnLetters(27), "AA");
  EXPECT_EQ(host::ColumnLetters(28), "AB");
  EXPECT_EQ(host::ColumnLetters(53), "BA");
  EXPECT_EQ(host::ColumnLetters(256), "IV");
  EXPECT_EQ(host::ColumnLetters(16384), "XFD");
  for (int c = 1; c <= host::kMaxColumns; ++c) {
    int row = 0, column = 0;
    ASSERT_TRUE(host::ParsePlainCellReference(host::ColumnLetters(c) + "7", row, column)) << c;
    ASSERT_EQ(column, c);
    ASSERT_EQ(row, 7);
  }
}

TEST(CellAddress, CellReferencesAtTheEdges) {
  int row = 0, column = 0;
  EXPECT_TRUE(host::ParseCellReference("$XFD$1048576", row, column));
  EXPECT_EQ(row, 1048576);
  EXPECT_EQ(column, 16384);
  EXPECT_TRUE(host::ParseCellReference("b$7", row, column));
  EXPECT_EQ(column, 2);
  for (const char* bad : {"XFE1", "A1048577", "A0", "A01", "AAAA1", "1A", "A", "7", "", "A1 ", "$$A1", "A-1"})
    EXPECT_FALSE(host::ParseCellReference(bad, row, column)) << bad;
  EXPECT_FALSE(host::ParsePlainCellReference("$A$1", row, column));
}

TEST(CellAddress, Areas) {
  host::CellArea area;
  ASSERT_TRUE(host::ParseAreaReference("D9:B2", area));
  EXPECT_EQ(host::AbsoluteAddress(area), "$B$2:$D$9");
  ASSERT_TRUE(host::ParseAreaReference("C:E", area));
  EXPECT_EQ(area.firstRow, 1);
  EXPECT_EQ(area.lastRow, host::kMaxRows);
  EXPECT_EQ(area.firstColumn, 3);
  ASSERT_TRUE(host::ParseAreaReference("$3:$7", area));
  EXPECT_EQ(area.lastColumn, host::kMaxColumns);
  EXPECT_EQ(area.lastRow, 7);
  EXPECT_FALSE(host::ParseAreaReference("A1:", area));
  EXPECT_FALSE(host::ParseAreaReference(":A1", area));
  EXPECT_FALSE(host::ParseAreaReference("A:1", area));
  // A sheet whose grid runs further (a CSV file's) reads its own rows.
  EXPECT_FALSE(host::ParseAreaReference("A2000000", area));
  ASSERT_TRUE(host::ParseAreaReference("A2000000:B3", area, 2000000));
  EXPECT_EQ(area.lastRow, 2000000);
  ASSERT_TRUE(host::ParseAreaReference("C:C", area, 2000000));
  EXPECT_EQ(area.lastRow, 2000000);
  EXPECT_FALSE(host::ParseAreaReference("A2000001", area, 2000000));
  EXPECT_FALSE(host::ParseAreaReference("A99999999999", area, 2147483647));
  host::CellArea a{2, 2, 4, 4}, b{4, 4, 9, 9}, c{5, 1, 6, 1};
  EXPECT_TRUE(a.Intersects(b));
  EXPECT_FALSE(a.Intersects(c));
  EXPECT_TRUE((host::CellArea{1, 1, 10, 10}).Contains(a));
}

}  // namespace
