// Sorting in the three scopes: which ranges are passed to the host's sort, by
// which key column, and what a failure leaves behind.
#include "app/shell/ErrorReport.h"
#include "batch/SortOperation.h"
#include "batch/WorkbookFixtures.h"
#include "host/core/HostError.h"
#include "options/ColumnReference.h"
#include "options/OptionsSource.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tabulory;
using namespace tabulory::testing;
using Texts = std::vector<std::string>;

namespace {

// Counts how often the sort column is read.
class CountingOptions : public FixedOptions {
 public:
  using FixedOptions::FixedOptions;
  int SortColumn() const override {
    ++reads;
    return FixedOptions::SortColumn();
  }
  mutable int reads = 0;
};

ProcessingOptions SortBy(int column) {
  ProcessingOptions o;
  o.operation = Operation::Sort;
  o.sortColumn = column;
  return o;
}

class SortTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  std::string Path(const char* name) { return dir.filePath(name).toStdString(); }
  QTemporaryDir dir;
};

const SheetContent kFruit{"Fruit", {{"pear", "#3"}, {"apple", "#1"}, {"fig", "#2"}}};

}  // namespace

TEST_F(SortTest, EveryUsedSheetIsSortedAndAnEmptyOneLeftAlone) {
  WriteWorkbook(Path("three.xlsx"),
                {kFruit, SheetContent{"Empty"}, SheetContent{"Tools", {{"saw"}, {"axe"}, {"hammer"}}}});
  OpenedWorkbook book(Path("three.xlsx"));
  CountingOptions options(SortBy(1));
  SortWorkbook(book.Workbook(), options);
  EXPECT_EQ(book.Column("Fruit", 1, 1, 3), (Texts{"apple", "fig", "pear"}));
  EXPECT_EQ(book.Column("Fruit", 2, 1, 3), (Texts{"1", "2", "3"}));  // whole rows move
  EXPECT_EQ(book.Column("Tools", 1, 1, 3), (Texts{"axe", "hammer", "saw"}));
  EXPECT_EQ(options.reads, 2);  // once per sorted range; the empty sheet reads nothing

  // Saved and read back in a new instance.
  book.Workbook().Save();
  OpenedWorkbook again(Path("three.xlsx"));
  EXPECT_EQ(again.Column("Tools", 1, 1, 3), (Texts{"axe", "hammer", "saw"}));
}

TEST_F(SortTest, SheetWithDataInRowOneOnlyIsNotSorted) {
  // The key column lies outside the used range: passing the range to the host's
  // sort would fail, so getting through shows that it was not passed.
  WriteWorkbook(Path("row1.xlsx"), {SheetContent{"Head", {{"c", "a", "b"}}}});
  OpenedWorkbook book(Path("row1.xlsx"));
  EXPECT_NO_THROW(SortWorkbook(book.Workbook(), FixedOptions(SortBy(9))));
  EXPECT_NO_THROW(SortActiveSheet(book.Workbook(), FixedOptions(SortBy(9))));
  EXPECT_EQ(book.Column("Head", 1, 1, 1), (Texts{"c"}));
}

TEST_F(SortTest, KeyColumnsBeyondZ) {
  // Key AB (28): column A holds labels, column AB the order.
  SheetContent wide{"Wide"};
  wide.rows = {{"third"}, {"first"}, {"second"}};
  const char* order[] = {"#3", "#1", "#2"};
  for (int r = 0; r < 3; ++r) {
    wide.rows[r].resize(28);
    wide.rows[r][27] = order[r];
  }
  WriteWorkbook(Path("ab.xlsx"), {wide});
  OpenedWorkbook book(Path("ab.xlsx"));
  SortActiveSheet(book.Workbook(), FixedOptions(SortBy(ColumnNumberFromLetters("AB"))));
  EXPECT_EQ(book.Column("Wide", 1, 1, 3), (Texts{"first", "second", "third"}));

  // Key IV (256), the last entry of the column list.
  SheetContent widest{"Widest"};
  widest.rows = {{"b"}, {"c"}, {"a"}};
  const char* keys[] = {"#20", "#30", "#10"};
  for (int r = 0; r < 3; ++r) {
    widest.rows[r].resize(256);
    widest.rows[r][255] = keys[r];
  }
  WriteWorkbook(Path("iv.xlsx"), {widest});
  OpenedWorkbook iv(Path("iv.xlsx"));
  SortWorkbook(iv.Workbook(), FixedOptions(SortBy(256)));
  EXPECT_EQ(iv.Column("Widest", 1, 1, 3), (Texts{"a", "b", "c"}));
  EXPECT_EQ(iv.Column("Widest", 256, 1, 3), (Texts{"10", "20", "30"}));
}

TEST_F(SortTest, OnlyTheActiveSheetIsSorted) {
  WriteWorkbook(Path("active.xlsx"), {kFruit, SheetContent{"Tools", {{"saw"}, {"axe"}}}},
                /*activeSheet=*/1);
  OpenedWorkbook book(Path("active.xlsx"));
  SortActiveSheet(book.Workbook(), FixedOptions(SortBy(1)));
  EXPECT_EQ(book.Column("Tools", 1, 1, 2), (Texts{"axe", "saw"}));
  EXPECT_EQ(book.Column("Fruit", 1, 1, 3), (Texts{"pear", "apple", "fig"}));
}

TEST_F(SortTest, BlockIsTestedOnItsLastSheetRowNotItsHeight) {
  WriteWorkbook(Path("block.xlsx"),
                {SheetContent{"Data", {{"z", "y", "x"}, {"c", "#3"}, {"a", "#1"}, {"b", "#2"}}}});
  OpenedWorkbook book(Path("block.xlsx"));
  host::Worksheet& sheet = book.Sheet("Data");

  // A block in row 1 only is not passed to the sort (key outside it: no failure).
  EXPECT_NO_THROW(SortBlock(book.Workbook(), sheet.GetRange("A1:C1"), FixedOptions(SortBy(9))));
  // A one-row block lower down is passed to it (and the host refuses that key).
  EXPECT_THROW(SortBlock(book.Workbook(), sheet.GetRange("A3:B3"), FixedOptions(SortBy(9))),
               host::HostError);
  // Rows 2 to 4 by column B; row 1 stays where it is.
  SortBlock(book.Workbook(), sheet.GetRange("A2:B4"), FixedOptions(SortBy(2)));
  EXPECT_EQ(book.Column("Data", 1, 1, 4), (Texts{"z", "a", "b", "c"}));
}

TEST_F(SortTest, NoChosenColumnFailsBeforeAnythingIsSorted) {
  WriteWorkbook(Path("none.xlsx"), {kFruit});
  OpenedWorkbook book(Path("none.xlsx"));
  try {
    SortWorkbook(book.Workbook(), FixedOptions(SortBy(0)));
    FAIL() << "sorting without a column went through";
  } catch (const ProcedureError& e) {
    EXPECT_STREQ(e.what(), "No sort column is selected.");
  }
  EXPECT_EQ(book.Column("Fruit", 1, 1, 3), (Texts{"pear", "apple", "fig"}));
}

TEST_F(SortTest, FailureLeavesTheLaterSheetsUnsorted) {
  // Column C is inside the first sheet's used range only; the host refuses
  // the second sheet, and the third is never reached.
  WriteWorkbook(Path("fail.xlsx"),
                {SheetContent{"One", {{"b", "", "#2"}, {"a", "", "#1"}}},
                 SheetContent{"Two", {{"d"}, {"c"}}}, SheetContent{"Three", {{"f", "", "#2"}, {"e", "", "#1"}}}});
  OpenedWorkbook book(Path("fail.xlsx"));
  EXPECT_THROW(SortWorkbook(book.Workbook(), FixedOptions(SortBy(3))), host::HostError);
  EXPECT_EQ(book.Column("One", 1, 1, 2), (Texts{"a", "b"}));
  EXPECT_EQ(book.Column("Two", 1, 1, 2), (Texts{"d", "c"}));
  EXPECT_EQ(book.Column("Three", 1, 1, 2), (Texts{"f", "e"}));
}
