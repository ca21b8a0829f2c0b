// A large table's rows are read in two halves at once. What the table reads
// as, and which fault a broken table is refused for, must not depend on
// where the halves meet: a row tag in a cell's text or in a table nested in
// a cell, row groups and repeated rows across the middle, a long repeated
// run at the end, several tables in one part, faults in either half.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "host/core/HostError.h"
#include "host/formats/odf/OdsSheet.h"
#include "host/io/SplitScan.h"

namespace {

using host::odf::OdsSheet;

constexpr int kRows = 4000;  // about 1 MB of rows, split from 64 KB on

// Row i as a writer makes it: a number, a text.
std::string Row(int i) {
  const std::string n = std::to_string(i);
  return "<table:table-row table:style-name=\"ro1\"><table:table-cell office:value-type=\"float\" office:value=\"" + n +
         "\"><text:p>" + n + "</text:p></table:table-cell><table:table-cell office:value-type=\"string\"><text:p>text "
         "of row " + n + "</text:p></table:table-cell></table:table-row>";
}

// A table of `rows` rows; change(i, row) may replace row i's element.
std::string Table(const std::string& name, const std::function<void(int, std::string&)>& change, int rows = kRows) {
  std::string xml = "<table:table table:name=\"" + name + "\"><table:table-column table:number-columns-repeated=\"2\"/>";
  for (int i = 1; i <= rows; ++i) {
    std::string row = Row(i);
    if (change) change(i, row);
    xml += row;
  }
  return xml + "</table:table>";
}

// Everything the scan records of each table in part, one after the other,
// or the fault the part is refused for.
std::string Read(const std::string& part) {
  std::string out;
  try {
    for (size_t at = 0; at < part.size();) {
      OdsSheet sheet(part, at);
      for (const OdsSheet::RowGroup& row : sheet.Rows()) {
        out += "row " + std::to_string(row.firstRow) + "x" + std::to_string(row.count) + " " +
               std::to_string(row.begin) + " " + std::to_string(row.startEnd) + " " + std::to_string(row.contentEnd) +
               " " + std::to_string(row.end) + " " + std::to_string(row.tailBegin) + (row.hidden ? " hidden" : "") + ":";
        for (const OdsSheet::CellRun& run : sheet.Cells(row))
          out += " " + std::to_string(run.firstColumn) + "x" + std::to_string(run.count) + "@" +
                 std::to_string(run.begin) + "+" + std::to_string(run.length) + "/" + std::to_string(run.flags);
        out += "\n";
      }
      auto areas = [&out](const char* what, const std::vector<host::CellArea>& list) {
        for (const host::CellArea& a : list)
          out += std::string(what) + " " + std::to_string(a.firstRow) + "," + std::to_string(a.firstColumn) + ":" +
                 std::to_string(a.lastRow) + "," + std::to_string(a.lastColumn) + "\n";
      };
      areas("used", {sheet.UsedRange()});
      areas("merged", sheet.MergedAreas());
      areas("array", sheet.ArrayAreas());
      out += sheet.Xml() + "\n";
      at = sheet.End();
    }
  } catch (const host::XmlFault& fault) {
    out += "XmlFault: " + fault.message;
  } catch (const host::HostError& error) {
    out += "HostError: " + std::string(error.what());
  }
  return out;
}

// Reads part once on one thread and once split; the number of halves joined.
size_t ReadBothWays(const std::string& part, std::string& whole, std::string& split) {
  host::SetSplitScanMinimum(std::numeric_limits<size_t>::max());
  whole = Read(part);
  host::SetSplitScanMinimum(64 << 10);
  const size_t before = host::SplitScansJoined();
  split = Read(part);
  const size_t joined = host::SplitScansJoined() - before;
  host::SetSplitScanMinimum(size_t(4) << 20);
  return joined;
}

TEST(OdsSplitScan, TheTableReadsTheSameWhereverTheHalvesMeet) {
  struct Case {
    const char* name;
    std::function<std::string()> part;
    size_t joined;      // second halves taken
    const char* holds;  // in what is read
  };
  std::string fakeRows;
  while (fakeRows.size() < (size_t(2) << 20)) fakeRows += Row(7);
  const std::string nested = "<table:table table:name=\"inner\">" + fakeRows + "</table:table>";
  const Case cases[] = {
      {"plain", [] { return Table("T", {}); }, 1, "text of row 4000"},
      // So long a text that the middle of the part falls inside it.
      {"row tags in a cell's text",
       [&] {
         return Table("T", [&](int i, std::string& row) {
           if (i == 100)
             row = "<table:table-row><table:table-cell office:value-type=\"string\"><text:p><![CDATA[" + fakeRows +
                   "]]></text:p></table:table-cell></table:table-row>";
         });
       },
       0, "row 4000x1"},
      {"rows of a table nested in a cell",
       [&] {
         return Table("T", [&](int i, std::string& row) {
           if (i == 100) row = "<table:table-row><table:table-cell>" + nested + "</table:table-cell></table:table-row>";
         });
       },
       0, "row 4000x1"},
      // A row group around the middle, repeated rows and covered cells in it,
      // a merged cell and an array formula in the second half.
      {"a row group with repeated rows across the middle",
       [] {
         return Table("T", [](int i, std::string& row) {
           if (i % 7 == 0)
             row = "<table:table-row table:number-rows-repeated=\"3\" table:visibility=\"collapse\">"
                   "<table:table-cell table:number-columns-repeated=\"2\"/></table:table-row>";
           if (i == kRows / 2 - 100) row = "<table:table-row-group>" + row;
           if (i == kRows / 2 + 100) row += "</table:table-row-group>";
           if (i == kRows - 10)
             row = "<table:table-row><table:table-cell table:number-rows-spanned=\"2\" table:number-columns-spanned=\"2\" "
                   "office:value-type=\"float\" office:value=\"1\"/><table:covered-table-cell/></table:table-row>"
                   "<table:table-row><table:table-cell table:formula=\"of:=[.A1]\" table:number-matrix-rows-spanned=\"2\" "
                   "office:value-type=\"float\" office:value=\"1\"/><table:covered-table-cell/></table:table-row>";
         });
       },
       1, "merged"},
      // Empty rows to the sheet's end and past it, as writers fill a sheet.
      {"a long repeated run at the end",
       [] {
         return Table("T", [](int i, std::string& row) {
           if (i == kRows) row += "<table:table-row table:number-rows-repeated=\"2000000\"><table:table-cell/></table:table-row>";
         });
       },
       1, "row 4001x1044576"},
      // The first table's middle lies in the second table, which splits for itself.
      {"two tables", [] { return Table("One", {}, kRows / 2) + Table("Two", {}); }, 1, "table:name=\"Two\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string whole, split;
    EXPECT_EQ(ReadBothWays(c.part(), whole, split), c.joined);
    EXPECT_EQ(whole.find("Fault"), std::string::npos) << whole.substr(0, 200);
    EXPECT_NE(whole.find(c.holds), std::string::npos);
    EXPECT_TRUE(split == whole);
  }
}

TEST(OdsSplitScan, ABrokenTableIsRefusedForItsFirstFault) {
  struct Case {
    const char* name;
    std::function<void(int, std::string&)> change;
    const char* fault;
  };
  auto badEnd = [](std::string& row) { row.replace(row.rfind("</table:table-cell>"), 19, "</table:table-cel>"); };
  const Case cases[] = {
      {"a fault late in the second half", [&](int i, std::string& row) { if (i == kRows - 5) badEnd(row); },
       "XmlFault"},
      {"a fault in the first half", [&](int i, std::string& row) { if (i == 200) badEnd(row); }, "XmlFault"},
      {"faults in both halves",
       [&](int i, std::string& row) {
         if (i == 200) badEnd(row);
         if (i == kRows - 5) row = "<table:table-row><table:table-cell table:number-columns-repeated=\"20000\" "
                                   "office:value-type=\"float\" office:value=\"1\"/></table:table-row>";
       },
       "XmlFault"},
      {"content past the last column in the second half",
       [](int i, std::string& row) {
         if (i == kRows - 5) row = "<table:table-row><table:table-cell table:number-columns-repeated=\"20000\" "
                                   "office:value-type=\"float\" office:value=\"1\"/></table:table-row>";
       },
       "past column XFD"},
      {"content repeated past the last row",
       [](int i, std::string& row) {
         if (i == kRows - 5) row.insert(16, " table:number-rows-repeated=\"2000000\"");
       },
       "past row 1048576"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string whole, split;
    ReadBothWays(Table("T", c.change), whole, split);
    EXPECT_NE(whole.find(c.fault), std::string::npos) << whole.substr(0, 300);
    EXPECT_EQ(split, whole);
  }
}

}  // namespace
