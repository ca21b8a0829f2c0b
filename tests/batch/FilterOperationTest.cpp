// Filtering in the three scopes: which rows are examined, which column
// decides, the criteria's exact comparisons, and that rows are only hidden.
#include "batch/FilterOperation.h"
#include "batch/WorkbookFixtures.h"
#include "host/formats/odf/OdsFixtures.h"
#include "host/core/HostError.h"
#include "options/OptionsSource.h"
#include "support/ScriptedMessages.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <zip.h>

#include <regex>

using namespace tabulory;
using namespace tabulory::testing;
using Rows = std::vector<int>;

namespace {

FixedOptions Filter(const char* column, int criterion, const char* value = "") {
  ProcessingOptions o;
  o.operation = Operation::Filter;
  o.filterColumn = QString::fromUtf8(column);
  o.criterion = criterion;
  o.value = QString::fromUtf8(value);
  return FixedOptions(o);
}

class FilterTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  std::string Path(const char* name) { return dir.filePath(name).toStdString(); }

  // Filters a one-sheet workbook whose column A holds `texts` and gives the
  // hidden rows after a save and a fresh open.
  Rows HiddenAfter(const std::vector<std::string>& texts, const FixedOptions& options,
                   std::vector<int> hiddenBefore = {}) {
    SheetContent content{"S"};
    for (const auto& t : texts) content.rows.push_back({t, "#1"});
    content.hiddenRows = std::move(hiddenBefore);
    WriteWorkbook(Path("one.xlsx"), {content});
    {
      OpenedWorkbook book(Path("one.xlsx"));
      FilterWorkbook(book.Workbook(), options, messages);
      book.Workbook().Save();
    }
    OpenedWorkbook again(Path("one.xlsx"));
    return again.HiddenRows("S", static_cast<int>(texts.size()) + 2);
  }

  QTemporaryDir dir;
  ScriptedMessages messages;
};

// Replaces cell `cell` of the first sheet of a workbook with `xml`.
void ReplaceCell(const std::string& path, const std::string& cell, const std::string& xml) {
  const char* part = "xl/worksheets/sheet1.xml";
  zip_t* archive = zip_open(path.c_str(), 0, nullptr);
  ASSERT_NE(archive, nullptr);
  zip_stat_t st;
  ASSERT_EQ(zip_stat(archive, part, 0, &st), 0);
  std::string sheet(st.size, '\0');
  zip_file_t* file = zip_fopen(archive, part, 0);
  ASSERT_EQ(zip_fread(file, sheet.data(), st.size), static_cast<zip_int64_t>(st.size));
  zip_fclose(file);
  sheet = std::regex_replace(sheet, std::regex("<c r=\"" + cell + "\"[^>]*>.*?</c>"), xml);
  char* copy = static_cast<char*>(malloc(sheet.size()));
  memcpy(copy, sheet.data(), sheet.size());
  zip_file_replace(archive, zip_name_locate(archive, part, 0), zip_source_buffer(archive, copy, sheet.size(), 1), 0);
  ASSERT_EQ(zip_close(archive), 0);
}

}  // namespace

TEST(RowFails, CriteriaCompareExactlyAndCaseSensitively) {
  EXPECT_FALSE(RowFails(kEquals, "abc", "abc"));
  EXPECT_TRUE(RowFails(kEquals, "ABC", "abc"));
  EXPECT_TRUE(RowFails(kEquals, "abc ", "abc"));  // no trimming
  EXPECT_TRUE(RowFails(kEquals, "", "abc"));
  EXPECT_FALSE(RowFails(kContains, "abc", "b"));
  EXPECT_TRUE(RowFails(kContains, "ABC", "b"));
  EXPECT_FALSE(RowFails(kContains, "", ""));
  EXPECT_TRUE(RowFails(kIsNotBlank, "", "x"));
  EXPECT_FALSE(RowFails(kIsNotBlank, " ", "x"));
  EXPECT_TRUE(RowFails(kIsBlank, "0", ""));
  EXPECT_FALSE(RowFails(kIsBlank, "", "abc"));
  EXPECT_FALSE(RowFails(-1, "", "abc"));
  EXPECT_FALSE(RowFails(7, "anything", "abc"));
}

TEST_F(FilterTest, EqualsHidesDifferentCaseTrailingBlankAndEmpty) {
  EXPECT_EQ(HiddenAfter({"abc", "ABC", "abc ", "", "abc"}, Filter("A", kEquals, "abc")),
            (Rows{2, 3, 4}));
}

TEST_F(FilterTest, ContainsIsCaseSensitive) {
  EXPECT_EQ(HiddenAfter({"abc", "ABC", "xbx", "B"}, Filter("A", kContains, "b")), (Rows{2, 4}));
}

TEST_F(FilterTest, BlankAndNotBlank) {
  EXPECT_EQ(HiddenAfter({"x", "", "y", ""}, Filter("A", kIsBlank, "ignored")), (Rows{1, 3}));
  EXPECT_EQ(HiddenAfter({"x", "", "y", ""}, Filter("A", kIsNotBlank)), (Rows{2, 4}));
}

TEST_F(FilterTest, NoCriterionHidesNothing) {
  EXPECT_EQ(HiddenAfter({"x", ""}, Filter("A", -1)), Rows{});
}

TEST_F(FilterTest, RowsHiddenBeforeStayHidden) {
  // Row 2 passes "equals" but was hidden before the run.
  EXPECT_EQ(HiddenAfter({"keep", "keep", "drop"}, Filter("A", kEquals, "keep"), {2}),
            (Rows{2, 3}));
}

TEST_F(FilterTest, DisplayedTextDecidesNotTheStoredValue) {
  SheetContent content{"N", {{"#3.5"}, {"#3.499"}, {"#12"}}};
  content.numberFormat = "0.00";
  WriteWorkbook(Path("numbers.xlsx"), {content});
  OpenedWorkbook book(Path("numbers.xlsx"));
  FilterWorkbook(book.Workbook(), Filter("A", kEquals, "3.50"), messages);
  EXPECT_EQ(book.HiddenRows("N", 3), (Rows{3}));  // 3.499 shows as 3.50 too
}

TEST_F(FilterTest, RowsFromOneAlsoAboveTheUsedRange) {
  SheetContent content{"Low"};
  content.firstRow = 3;
  for (int r = 3; r <= 10; ++r) content.rows.push_back({r == 6 ? "" : "v", "#1"});
  WriteWorkbook(Path("low.xlsx"), {content});
  OpenedWorkbook book(Path("low.xlsx"));
  FilterWorkbook(book.Workbook(), Filter("A", kIsNotBlank), messages);
  EXPECT_EQ(book.HiddenRows("Low", 12), (Rows{1, 2, 6}));
}

TEST_F(FilterTest, HeadingInRowOneIsTreatedLikeAnyRow) {
  EXPECT_EQ(HiddenAfter({"Name", "ann", "bob"}, Filter("A", kEquals, "bob")), (Rows{1, 2}));
}

TEST_F(FilterTest, EveryWorksheetOrOnlyTheActiveOne) {
  const std::vector<SheetContent> sheets{SheetContent{"One", {{"x", "#1"}, {"", "#1"}}},
                                      SheetContent{"Two", {{"", "#1"}, {"y", "#1"}}}};
  WriteWorkbook(Path("two.xlsx"), sheets, /*activeSheet=*/1);
  {
    OpenedWorkbook book(Path("two.xlsx"));
    FilterWorkbook(book.Workbook(), Filter("A", kIsNotBlank), messages);
    EXPECT_EQ(book.HiddenRows("One", 2), (Rows{2}));
    EXPECT_EQ(book.HiddenRows("Two", 2), (Rows{1}));
  }
  OpenedWorkbook book(Path("two.xlsx"));
  FilterActiveSheet(book.Workbook(), Filter("A", kIsNotBlank), messages);
  EXPECT_EQ(book.HiddenRows("One", 2), Rows{});
  EXPECT_EQ(book.HiddenRows("Two", 2), (Rows{1}));
}

TEST_F(FilterTest, ColumnMatchingNoColumnHidesNothingAndSaysNothing) {
  EXPECT_EQ(HiddenAfter({"x", ""}, Filter("C", kIsNotBlank)), Rows{});
  EXPECT_EQ(HiddenAfter({"x", ""}, Filter("a", kIsNotBlank)), Rows{});  // letters compare exactly
  EXPECT_EQ(HiddenAfter({"x", ""}, Filter("", kIsNotBlank)), Rows{});
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FilterTest, EveryColumnAbove256IsReportedAndTheLoopGoesOn) {
  SheetContent content{"Wide", {{"x"}, {""}, {"x"}}};
  content.rows[0].resize(258);
  content.rows[0][257] = "far";  // column 258
  WriteWorkbook(Path("wide.xlsx"), {content});
  OpenedWorkbook book(Path("wide.xlsx"));
  FilterWorkbook(book.Workbook(), Filter("A", kIsNotBlank), messages);
  EXPECT_EQ(book.HiddenRows("Wide", 3), (Rows{2}));
  EXPECT_EQ(messages.Texts(), (QStringList{"Number is higher than number of columns.",
                                           "Number is higher than number of columns."}));
}

TEST_F(FilterTest, BlockExaminesItsOwnRowsByAnyColumnUpToItsLast) {
  // Columns A to F, rows 1 to 12; C5:E10 is the block.
  SheetContent content{"Grid"};
  for (int r = 1; r <= 12; ++r) {
    const bool even = r % 2 == 0;
    content.rows.push_back({even ? "" : "a", "b", "c", even ? "" : "d", "e", even ? "" : "f"});
  }
  WriteWorkbook(Path("grid.xlsx"), {content});
  OpenedWorkbook book(Path("grid.xlsx"));
  host::Worksheet& sheet = book.Sheet("Grid");
  const host::Range block = sheet.GetRange("C5:E10");

  FilterBlock(book.Workbook(), block, Filter("F", kIsNotBlank), messages);
  EXPECT_EQ(book.HiddenRows("Grid", 12), Rows{});  // right of the block: nothing

  FilterBlock(book.Workbook(), block, Filter("D", kIsNotBlank), messages);
  EXPECT_EQ(book.HiddenRows("Grid", 12), (Rows{6, 8, 10}));  // rows 2, 4 and 12 not examined

  // Column A (left of the block) decides for the block's rows: "is blank"
  // hides the odd rows 5, 7 and 9; the even ones stay hidden from before.
  FilterBlock(book.Workbook(), block, Filter("A", kIsBlank), messages);
  EXPECT_EQ(book.HiddenRows("Grid", 12), (Rows{5, 6, 7, 8, 9, 10}));
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FilterTest, AFormulaNeverCalculatedStopsTheSheetBeforeAnyRowIsHidden) {
  WriteColumn(Path("script.xlsx"), {"keep", "drop", "placeholder", "drop"});
  // What scripts write: a formula without a stored result.
  ReplaceCell(Path("script.xlsx"), "A3", "<c r=\"A3\"><f>A1&amp;A2</f></c>");
  OpenedWorkbook book(Path("script.xlsx"));
  try {
    FilterWorkbook(book.Workbook(), Filter("A", kEquals, "keep"), messages);
    FAIL() << "a cell without a value was read";
  } catch (const host::HostError& error) {
    EXPECT_NE(std::string(error.what()).find("Cell A3 on sheet \"Sheet1\""), std::string::npos) << error.what();
    EXPECT_NE(std::string(error.what()).find("never been calculated"), std::string::npos) << error.what();
  }
  EXPECT_EQ(book.HiddenRows("Sheet1", 5), Rows{});
}

namespace {

// Writes an .ods whose one table "R" holds row 1 "a", then "b" repeated
// 1,000,000 times in one row element, then "a" (as LibreOffice writes
// equal rows).
std::string WriteRepeatedRowsOds(const fixtures::TempDir& dir) {
  const std::string b = odsfixtures::Text("b");
  return odsfixtures::WriteOds(
      dir, "repeated.ods",
      odsfixtures::Content("<table:table table:name=\"R\"><table:table-row>" + odsfixtures::Text("a") +
                           "</table:table-row><table:table-row table:number-rows-repeated=\"1000000\">" + b +
                           "</table:table-row><table:table-row>" + odsfixtures::Text("a") +
                           "</table:table-row></table:table>"));
}

}  // namespace

TEST_F(FilterTest, RepeatedRowsAreFilteredAsEachRowAlone) {
  fixtures::TempDir files;
  OpenedWorkbook book(WriteRepeatedRowsOds(files));
  FilterWorkbook(book.Workbook(), Filter("A", kEquals, "a"), messages);
  host::Worksheet& sheet = book.Sheet("R");
  EXPECT_EQ(sheet.RowsHiddenSinceOpen(), 1000000);
  EXPECT_FALSE(sheet.RowHidden(1));
  EXPECT_TRUE(sheet.RowHidden(2));
  EXPECT_TRUE(sheet.RowHidden(1000001));
  EXPECT_FALSE(sheet.RowHidden(1000002));
}
