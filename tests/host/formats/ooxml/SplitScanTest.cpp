// A large worksheet part is scanned in two halves at once. What the sheet
// reads as, and which fault a broken sheet is refused for, must not depend on
// where the halves meet: a "row" tag in the text of a cell, rows numbered only
// by their order, rows out of order where the halves meet, faults in either
// half, formulas found only in the second.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "host/core/HostError.h"
#include "host/formats/ooxml/SheetData.h"
#include "PartBytesOf.h"

namespace {

using host::ooxml::SheetData;

constexpr int kRows = 50000;  // about 7 MB of rows: above the size that is split

// The cells of row `number`, as a writer makes them.
std::string Cells(int number) {
  const std::string n = std::to_string(number);
  return "<c r=\"A" + n + "\"><v>" + n + "</v></c><c r=\"B" + n + "\" t=\"inlineStr\"><is><t>text of row " + n +
         " with some words</t></is></c>";
}

// Row i as a writer makes it; change(i, cells) may replace the row's cells
// or its start tag (an empty string keeps them).
std::string Sheet(const std::function<void(int, std::string&, std::string&)>& change = {}) {
  std::string xml = "<?xml version=\"1.0\"?><worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
  for (int i = 1; i <= kRows; ++i) {
    const std::string n = std::to_string(i);
    std::string start = "<row r=\"" + n + "\" spans=\"1:2\">";
    std::string cells = Cells(i);
    if (change) change(i, start, cells);
    xml += start + cells + "</row>";
  }
  return xml + "</sheetData></worksheet>";
}

double NumberAt(const SheetData& sheet, int row) { return sheet.Value(row, 1).number; }

TEST(SplitScan, TheSheetReadsTheSameWhereverTheHalvesMeet) {
  struct Case {
    const char* name;
    std::function<void(int, std::string&, std::string&)> change;
    std::function<void(const SheetData&)> check;
  };
  const std::string fake = "<row r=\"7\"><c r=\"A7\"><v>-1</v></c></row>";
  std::string cdata;
  while (cdata.size() < (size_t(8) << 20)) cdata += fake;
  const Case cases[] = {
      {"plain", {},
       [](const SheetData& s) {
         EXPECT_EQ(s.RowCount(), size_t(kRows));
         EXPECT_EQ(s.CellCount(), size_t(2 * kRows));
         for (int r : {1, kRows / 2, kRows / 2 + 1, kRows}) EXPECT_EQ(NumberAt(s, r), r);
         EXPECT_FALSE(s.HoldsFormulas());
       }},
      // A text so long that the middle of the part falls inside it, full of
      // row tags: the second half begins inside a cell and must be dropped.
      {"row tags in a cell's text",
       [&](int i, std::string&, std::string& cells) {
         if (i == 100) cells = "<c r=\"A100\"><v>100</v></c><c r=\"B100\" t=\"inlineStr\"><is><t><![CDATA[" + cdata +
                               "]]></t></is></c>";
       },
       [&](const SheetData& s) {
         EXPECT_EQ(s.RowCount(), size_t(kRows));
         EXPECT_EQ(NumberAt(s, 7), 7);
         EXPECT_EQ(s.Value(100, 2).text.size(), cdata.size());
         EXPECT_EQ(NumberAt(s, kRows), kRows);
       }},
      // Past the first third, rows and cells carry no numbers: each takes the
      // one after the last, which only a scan from the start knows.
      {"rows numbered by their order",
       [](int i, std::string& start, std::string& cells) {
         if (i <= kRows / 3) return;
         start = "<row>";
         cells = "<c><v>" + std::to_string(i) + "</v></c><c t=\"inlineStr\"><is><t>text of a row with no number</t></is></c>";
       },
       [](const SheetData& s) {
         EXPECT_EQ(s.RowCount(), size_t(kRows));
         for (int r : {kRows / 3, kRows / 3 + 1, kRows / 2, kRows}) EXPECT_EQ(NumberAt(s, r), r);
       }},
      {"a formula only in the second half",
       [](int i, std::string&, std::string& cells) {
         if (i == kRows - 10) cells += "<c r=\"C" + std::to_string(i) + "\"><f t=\"array\" ref=\"C" + std::to_string(i) +
                                       "\">A1*2</f><v>2</v></c>";
       },
       [](const SheetData& s) {
         EXPECT_TRUE(s.HoldsFormulas());
         ASSERT_EQ(s.ArrayFormulaAreas().size(), 1u);
         EXPECT_EQ(s.ArrayFormulaAreas()[0].firstRow, kRows - 10);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string xml = Sheet(c.change);
    SheetData sheet(PartBytesOf(xml), 0, 1);
    c.check(sheet);
  }
}

TEST(SplitScan, ABrokenSheetIsRefusedForItsFirstFault) {
  struct Case {
    const char* name;
    std::function<void(int, std::string&, std::string&)> change;
    const char* fault;
  };
  auto badType = [](int i) {
    return "<c r=\"A" + std::to_string(i) + "\"><v>1</v></c><c r=\"B" + std::to_string(i) + "\" t=\"x\"><v>1</v></c>";
  };
  const Case cases[] = {
      // From the middle on the numbers start again at 1.
      {"rows start again in the middle",
       [](int i, std::string& start, std::string& cells) {
         if (i <= kRows / 2) return;
         start = "<row r=\"" + std::to_string(i - kRows / 2) + "\">";
         cells = Cells(i - kRows / 2);
       },
       "row 1 comes after row 25000"},
      {"a fault late in the second half",
       [&](int i, std::string&, std::string& cells) {
         if (i == kRows - 5) cells = badType(i);
       },
       "cell B49995 has unknown type"},
      {"faults in both halves",
       [&](int i, std::string&, std::string& cells) {
         if (i == 200 || i == kRows - 5) cells = badType(i);
       },
       "cell B200 has unknown type"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string xml = Sheet(c.change);
    try {
      SheetData sheet(PartBytesOf(xml), 0, 1);
      ADD_FAILURE() << "the sheet was read";
    } catch (const host::XmlFault& fault) {
      EXPECT_NE(fault.message.find(c.fault), std::string::npos) << fault.message;
    }
  }
}

}  // namespace
