// A changed table written from its records: moved cells keep their bytes as
// the writer wrote them; only tags a change touches (a split repeat, a
// moved formula, a hidden row, rows added) are written anew.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "host/formats/odf/OdsSheet.h"

using host::odf::OdsSheet;

namespace {

TEST(OdsSheetWrite, KeepsTheBytesOfWhatAChangeLeaves) {
  const std::string row = "<table:table-row>", end = "</table:table-row>";
  struct Case {
    const char* name;
    std::string table;
    std::function<void(OdsSheet&)> change;
    std::string expected;
  } cases[] = {
      {"moved cells as written",
       "<table:table table:name=\"T\">" + row +
           "<table:table-cell office:value-type='string'><text:p>b<!-- c --></text:p></table:table-cell>  "
           "<table:table-cell/>" + end + "\n<table:table-row table:style-name=\"r\"><table:table-cell "
           "office:value-type=\"string\"><text:p>a &amp; z</text:p></table:table-cell>" + end + "</table:table>",
       [](OdsSheet& s) { s.PlaceRowCells(1, 1, 1, {2, 1}); },
       "<table:table table:name=\"T\">" + row +
           "<table:table-cell office:value-type=\"string\"><text:p>a &amp; z</text:p></table:table-cell>"
           "<table:table-cell/>" + end + "\n<table:table-row table:style-name=\"r\"><table:table-cell "
           "office:value-type='string'><text:p>b<!-- c --></text:p></table:table-cell>" + end + "</table:table>"},
      {"formula moved, repeat split",
       "<table:table>" + row +
           "<table:table-cell table:number-columns-repeated=\"2\" office:value-type=\"float\" office:value=\"1\"/>" +
           end + row + "<table:table-cell table:formula='of:=[.B2]&amp;\"x\"' office:value=\"2\"/>" + end +
           "</table:table>",
       [](OdsSheet& s) { s.PlaceRowCells(1, 1, 1, {2, 1}); },
       "<table:table>" + row + "<table:table-cell table:formula=\"of:=[.B1]&amp;&quot;x&quot;\" office:value=\"2\"/>" +
           "<table:table-cell office:value-type=\"float\" office:value=\"1\"/>" + end + row +
           "<table:table-cell office:value-type=\"float\" office:value=\"1\"/>" + end + "</table:table>"},
      {"one row of a repeated group hidden",
       "<table:table><table:table-row table:number-rows-repeated=\"3\" table:style-name='ro1'><table:table-cell/>" +
           end + "</table:table>",
       [](OdsSheet& s) { s.SetRowHidden(2, true); },
       "<table:table><table:table-row table:style-name='ro1'><table:table-cell/>" + end +
           "<table:table-row table:style-name='ro1' table:visibility=\"collapse\"><table:table-cell/>" + end +
           "<table:table-row table:style-name='ro1'><table:table-cell/>" + end + "</table:table>"},
      {"a repeated block moved whole stays one element",
       "<table:table>" + row + "<table:table-cell office:value-type=\"string\"><text:p>b</text:p></table:table-cell>" +
           end + "<table:table-row table:style-name=\"r\" table:number-rows-repeated=\"3\"><table:table-cell "
           "office:value-type=\"string\"><text:p>a</text:p></table:table-cell>" + end + "</table:table>",
       [](OdsSheet& s) { s.PlaceRowCells(1, 1, 1, {2, 3, 4, 1}); },
       "<table:table>" + row + "<table:table-cell office:value-type=\"string\"><text:p>a</text:p></table:table-cell>" +
           end + "<table:table-row table:style-name=\"r\" table:number-rows-repeated=\"2\"><table:table-cell "
           "office:value-type=\"string\"><text:p>a</text:p></table:table-cell>" + end +
           "<table:table-row table:style-name=\"r\"><table:table-cell office:value-type=\"string\"><text:p>b</text:p>"
           "</table:table-cell>" + end + "</table:table>"},
      {"rows added to an empty table", "<table:table table:name=\"E\" />",
       [](OdsSheet& s) { s.SetRowHidden(2, true); },
       "<table:table table:name=\"E\">" + row + "<table:table-cell/>" + end +
           "<table:table-row table:visibility=\"collapse\"><table:table-cell/>" + end + "</table:table>"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    OdsSheet sheet(c.table, 0);
    EXPECT_EQ(sheet.Xml(), c.table);
    c.change(sheet);
    EXPECT_TRUE(sheet.Modified());
    EXPECT_EQ(sheet.Xml(), c.expected);
  }
}

// A moved row takes its source's runs as they are where no other row uses
// them: a cell written anew afterwards changes that row alone, also after a
// second move and where a repeated row was split between two places.
TEST(OdsSheetWrite, ARowsCellsStayItsOwnAfterMoves) {
  auto cell = [](const char* text) {
    return std::string("<table:table-row><table:table-cell office:value-type=\"string\"><text:p>") + text +
           "</text:p></table:table-cell></table:table-row>";
  };
  const std::string table = "<table:table>" + cell("a") + cell("b") +
                            "<table:table-row table:number-rows-repeated=\"2\"><table:table-cell "
                            "office:value-type=\"string\"><text:p>c</text:p></table:table-cell></table:table-row>" +
                            "</table:table>";
  OdsSheet sheet(table, 0);
  sheet.PlaceRowCells(1, 1, 1, host::RowNumbers{3, 1, 4, 2});  // c a c b
  auto rewrite = [&](int row, const char* text) {
    sheet.RewriteCell(row, 1, [&](std::string_view, std::vector<host::odf::AttributeEdit>) {
      return std::string("<table:table-cell office:value-type=\"string\"><text:p>") + text + "</text:p></table:table-cell>";
    });
  };
  rewrite(2, "z");
  rewrite(3, "y");
  auto texts = [&] {
    std::string out;
    for (int r = 1; r <= 4; ++r) out += sheet.Text(r, 1);
    return out;
  };
  EXPECT_EQ(texts(), "czyb");
  sheet.PlaceRowCells(1, 1, 1, host::RowNumbers{4, 3, 2, 1});  // b y z c
  rewrite(4, "x");
  EXPECT_EQ(texts(), "byzx");
  const std::string xml = sheet.Xml();
  OdsSheet reread(xml, 0);
  for (int r = 1; r <= 4; ++r) EXPECT_EQ(reread.Text(r, 1), sheet.Text(r, 1)) << r;
}

}  // namespace
