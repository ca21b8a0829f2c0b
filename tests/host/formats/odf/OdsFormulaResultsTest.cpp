// Fresh formula results in .ods cells: one row per kind of result as
// spreadsheet programs store it, read back by the host's own cell reader;
// only the cells given a result change, repeated cells split around them;
// repeat counts that make millions of formula cells are refused.

#include <gtest/gtest.h>

#include <optional>

#include "host/core/Application.h"
#include "host/core/HostError.h"
#include "host/core/Range.h"
#include "host/core/CellRef.h"
#include "host/core/Workbooks.h"
#include "host/core/RowRef.h"
#include "host/core/SheetStore.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"
#include "host/formats/odf/OdsCell.h"
#include "host/formats/odf/OdsFixtures.h"
#include "host/formats/odf/OdsFormulaResults.h"
#include "host/formats/odf/OdsWorkbook.h"

using host::CellKind;
using host::StoredValue;

namespace {

StoredValue Result(CellKind kind, double number, const std::string& text = "") {
  StoredValue v;
  v.kind = kind;
  v.number = number;
  v.text = text;
  return v;
}

TEST(OdsFormulaResults, EachKindIsStoredAsSpreadsheetProgramsStoreIt) {
  const std::string formula = "<table:table-cell table:formula=\"of:=[.A1]\" ";
  const std::string float3 =
      formula + "office:value-type=\"float\" office:value=\"3\" calcext:value-type=\"float\"><text:p>3</text:p></table:table-cell>";
  struct Case {
    const char* what;
    std::string element;
    StoredValue result;
    const char* code;
    const char* type;      // office:value-type ("" for none)
    const char* attribute;  // the value attribute and what it holds
    const char* value;
    const char* shown;     // the paragraphs' text
  } cases[] = {
      {"number", float3, Result(CellKind::Number, 0.5), "General", "float", "office:value", "0.5", "0.5"},
      {"currency kept", formula + "office:value-type=\"currency\" office:currency=\"EUR\" office:value=\"1\"><text:p>x</text:p></table:table-cell>",
       Result(CellKind::Number, 0.5), "0.00", "currency", "office:currency", "EUR", "0.50"},
      {"percentage by format", formula + "office:value-type=\"string\" office:string-value=\"a\"/>", Result(CellKind::Number, 0.25),
       "0%", "percentage", "office:value", "0.25", "25%"},
      {"date by format", formula + "/>", Result(CellKind::Number, 45322), "yyyy-mm-dd", "date", "office:date-value",
       "2024-01-31", "2024-01-31"},
      {"date and time", formula + "office:value-type=\"date\" office:date-value=\"2020-01-01\"/>", Result(CellKind::Number, 45322.5),
       "yyyy-mm-dd hh:mm", "date", "office:date-value", "2024-01-31T12:00:00", "2024-01-31 12:00"},
      {"time by format", formula + "/>", Result(CellKind::Number, 1.5), "[hh]:mm:ss", "time",
       "office:time-value", "PT36H00M00S", "36:00:00"},
      {"boolean", float3, Result(CellKind::Boolean, 1), "General", "boolean", "office:boolean-value", "true", "TRUE"},
      {"error", float3, Result(CellKind::Error, 0, "#DIV/0!"), "General", "string", "calcext:value-type", "error", "#DIV/0!"},
      {"text with spaces", float3, Result(CellKind::Text, 0, " a  b\t<c>"), "General", "string", "office:string-value",
       " a  b\t<c>", " a  b\t<c>"},
      {"two lines", float3, Result(CellKind::Text, 0, "a\nb"), "General", "string", "office:string-value", "a\nb", "a\nb"},
      {"empty text", float3, Result(CellKind::Text, 0, ""), "General", "", "", "", ""},
      {"styled paragraph", formula + "office:value-type=\"float\" office:value=\"3\"><text:p text:style-name=\"P1\">3</text:p></table:table-cell>",
       Result(CellKind::Number, 4), "General", "float", "office:value", "4", "4"},
      {"note kept", formula + "office:value-type=\"float\" office:value=\"3\"><office:annotation><text:p>note</text:p>"
                              "</office:annotation><text:p>3</text:p></table:table-cell>",
       Result(CellKind::Number, 4), "General", "float", "office:value", "4", "4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string cell = host::odf::CellWithResult(c.element, c.result, c.code, false);
    EXPECT_EQ(host::odf::AttributeText(cell, "office:value-type"), c.type);
    EXPECT_EQ(host::odf::AttributeText(cell, "calcext:value-type"),
              c.result.kind == CellKind::Error ? "error" : c.type);
    EXPECT_EQ(host::odf::AttributeText(cell, c.attribute), c.value);
    EXPECT_EQ(host::odf::CellText(cell), c.shown);
    EXPECT_EQ(host::odf::CellFormula(cell), "of:=[.A1]");
    // No stale value of another kind is left: an error keeps an empty
    // string value beside its type, a currency its amount.
    for (std::string_view stale : {"office:value", "office:string-value", "office:boolean-value", "office:date-value",
                                   "office:time-value"}) {
      const bool held = stale == c.attribute || (c.result.kind == CellKind::Error && stale == "office:string-value") ||
                        (std::string_view(c.type) == "currency" && stale == "office:value");
      std::string_view raw;
      EXPECT_EQ(host::odf::ElementAttribute(cell, stale, raw), held) << stale;
    }
  }
  const std::string noted = host::odf::CellWithResult(cases[12].element, cases[12].result, "General", false);
  EXPECT_NE(noted.find("<office:annotation><text:p>note</text:p></office:annotation>"), std::string::npos);
}

TEST(OdsFormulaResults, OnlyTheCellsGivenAResultChange) {
  using odsfixtures::Cell;
  using odsfixtures::Number;
  fixtures::TempDir dir;
  const std::string single = Cell("table:formula=\"of:=[.A1]*2\" office:value-type=\"float\" office:value=\"2\"", "<text:p>2</text:p>");
  const std::string repeated =
      Cell("table:formula=\"of:=[.$A$1]\" office:value-type=\"float\" office:value=\"1\" table:number-columns-repeated=\"3\"",
           "<text:p>1</text:p>");
  const std::string table = "<table:table table:name=\"T\"><table:table-row>" + Number(1) + single +
                            "</table:table-row><table:table-row table:number-rows-repeated=\"3\">" + repeated +
                            "</table:table-row></table:table>";
  const std::string content = odsfixtures::Content(table);
  const std::string path = odsfixtures::WriteOds(dir, "r.ods", content);
  {
    auto book = host::odf::OpenOds(path);
    host::SheetStore& sheet = *book->Sheet(0);
    ASSERT_EQ(sheet.FormulaCells().size(), 10u);
    EXPECT_TRUE(sheet.SetFormulaResult(1, 2, Result(CellKind::Number, 99)));
    EXPECT_TRUE(sheet.SetFormulaResult(3, 2, Result(CellKind::Number, 7)));
    EXPECT_FALSE(sheet.SetFormulaResult(1, 1, Result(CellKind::Number, 5)));  // no formula there
    book->Save();
  }
  auto book = host::odf::OpenOds(path);
  host::SheetStore& sheet = *book->Sheet(0);
  for (int r = 1; r <= 4; ++r)
    for (int c = 1; c <= 3; ++c) {
      const double expected = r == 1 ? (c == 1 ? 1 : c == 2 ? 99 : -1) : r == 3 && c == 2 ? 7 : 1;
      if (expected < 0) continue;
      EXPECT_EQ(sheet.Value(r, c).number, expected) << r << "," << c;
      if (r > 1) {
        EXPECT_EQ(sheet.Formula(r, c), "$A$1") << r << "," << c;
      }
    }
  // The first row's other bytes and everything around the table are as they were.
  const std::string saved = fixtures::ReadZip(path)["content.xml"];
  const size_t at = content.find(single);
  EXPECT_EQ(saved.substr(0, at), content.substr(0, at));
  const std::string after = content.substr(content.find("</table:table>"));
  EXPECT_EQ(saved.substr(saved.size() - after.size()), after);
}

// A formula the host cannot compute (a volatile function) keeps its earlier
// result, and the workbook says so: a document has no flag that makes the
// next program recalculate it.
TEST(OdsFormulaResults, AFormulaLeftUncomputedIsSaidToKeepItsEarlierResult) {
  using odsfixtures::Cell;
  using odsfixtures::Text;
  fixtures::TempDir dir;
  const std::string now = Cell("table:formula=\"of:=NOW()\" office:value-type=\"float\" office:value=\"5\"", "<text:p>5</text:p>");
  const std::string table = "<table:table table:name=\"T\"><table:table-row>" + Text("b") + now +
                            "</table:table-row><table:table-row>" + Text("a") + now + "</table:table-row></table:table>";
  const std::string path = odsfixtures::WriteOds(dir, "now.ods", odsfixtures::Content(table));
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  book.Worksheets()[0]->UsedRange().Sort(host::Cells(1, 1));
  book.Save();
  EXPECT_EQ(book.FormulasLeftToRecalculate(), 2);
  EXPECT_FALSE(book.RecalculatedWhenOpened());
  app.Quit();
}

}  // namespace

TEST(OdsFormulaResults, FormulasRepeatedOverMillionsOfCellsAreRefusedAndTheFileKept) {
  fixtures::TempDir dir;
  const std::string table =
      "<table:table table:name=\"T\"><table:table-row>" + odsfixtures::Number(1) +
      "</table:table-row><table:table-row table:number-rows-repeated=\"1048575\">" +
      odsfixtures::Cell("table:formula=\"of:=[.$A$1]\" office:value-type=\"float\" office:value=\"1\" "
                        "table:number-columns-repeated=\"2\"",
                        "<text:p>1</text:p>") +
      "</table:table-row></table:table>";
  const std::string path = odsfixtures::WriteOds(dir, "big.ods", odsfixtures::Content(table));
  const auto before = fixtures::ReadZip(path);
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  book.Worksheets()[0]->Rows(1).SetHidden(true);
  try {
    book.Save();
    ADD_FAILURE() << "saved";
  } catch (const host::HostError& error) {
    EXPECT_NE(std::string(error.what()).find("repeats formulas over more cells than this program computes"),
              std::string::npos)
        << error.what();
  }
  EXPECT_EQ(fixtures::ReadZip(path), before);
}
