// A table cell of the shape most writers use (the start tag, then one plain
// <text:p>, or the tag alone) is read straight from its bytes, every other
// spelling by the full XML reading. A cell must read the same, and a broken
// one be refused for the same fault, whichever reading takes it: each case is
// read as written and again with a space after every cell's name, which only
// the full reading takes.

#include <gtest/gtest.h>

#include <string>

#include "host/core/HostError.h"
#include "host/formats/odf/OdsSheet.h"

namespace {

using host::odf::OdsSheet;

std::string Respaced(std::string row) {
  const std::string name = "<table:table-cell";
  for (size_t at = row.find(name); at != std::string::npos; at = row.find(name, at + 1))
    row.insert(at + name.size(), " ");
  return row;
}

// What the table's cells read as, or the fault it is refused for.
std::string Reading(const std::string& row) {
  const std::string part = "<table:table table:name=\"S\"><table:table-row>" + row +
                           "</table:table-row><table:table-row><table:table-cell/></table:table-row></table:table>";
  try {
    OdsSheet sheet(part, 0);
    std::string out;
    for (const OdsSheet::CellRun& run : sheet.Cells(sheet.Rows()[0])) {
      const host::odf::OdsValue v = sheet.Value(1, run.firstColumn);
      out += std::to_string(run.firstColumn) + "x" + std::to_string(run.count) + "/" + std::to_string(run.flags) + ":" +
             std::to_string(static_cast<int>(v.kind)) + ":" + std::to_string(v.number) + ":" + v.literal + ":" +
             sheet.Text(1, run.firstColumn) + "|";
    }
    const host::CellArea used = sheet.UsedRange();
    out += "used " + std::to_string(used.lastRow) + "," + std::to_string(used.lastColumn);
    for (const host::CellArea& a : sheet.MergedAreas())
      out += " merged " + std::to_string(a.lastRow) + "," + std::to_string(a.lastColumn);
    return out;
  } catch (const host::XmlFault& fault) {
    // Where the fault stands moves with the added spaces; what it is may not.
    return "XmlFault: " + fault.message.substr(0, fault.message.rfind(" (at byte "));
  } catch (const host::HostError& error) {
    return "HostError: " + std::string(error.what());
  }
}

TEST(OdsCellShapes, ACellReadsTheSameWhicheverReadingTakesIt) {
  const char* const rows[] = {
      "<table:table-cell office:value-type=\"float\" office:value=\"12.5\" calcext:value-type=\"float\"><text:p>12.5"
      "</text:p></table:table-cell><table:table-cell/><table:table-cell office:value-type=\"string\"><text:p>a "
      "word</text:p></table:table-cell>",
      "<table:table-cell table:style-name=\"ce1\" table:number-columns-repeated=\"3\"/><table:table-cell "
      "office:value-type=\"date\" office:date-value=\"2008-10-04\"><text:p>2008-10-04</text:p></table:table-cell>",
      "<table:table-cell table:number-columns-spanned=\"2\" table:number-rows-spanned=\"2\" office:value-type=\"float\" "
      "office:value=\"1\"><text:p>1</text:p></table:table-cell><table:covered-table-cell/>",
      "<table:table-cell table:formula=\"of:=[.A2]+1\" office:value-type=\"float\" office:value=\"1\"><text:p>1"
      "</text:p></table:table-cell><table:table-cell><text:p></text:p></table:table-cell>",
      "<table:table-cell office:value-type=\"string\"><text:p>a &amp; b</text:p></table:table-cell>"
      "<table:table-cell office:value-type=\"string\"><text:p>x<text:s/>y</text:p></table:table-cell>",
      "<table:table-cell office:value-type=\"boolean\" office:boolean-value=\"true\"><text:p>TRUE</text:p>"
      "<text:p>two</text:p></table:table-cell><table:table-cell>text</table:table-cell>",
      // Faults: each must be named alike by both readings.
      "<table:table-cell office:value-type=\"float\" office:value=\"1\"><text:p>1</text:p></table:table-row>",
      "<table:table-cell office:value-type=\"float\" office:value=\"1\"><text:p>1</text:p>",
      "<table:table-cell table:number-columns-repeated=\"16384\"/><table:table-cell office:value-type=\"float\" "
      "office:value=\"1\"><text:p>1</text:p></table:table-cell>",
      "<table:table-cell office:value=\"1<\"><text:p>1</text:p></table:table-cell>",
  };
  for (const char* row : rows) {
    const std::string asWritten = Reading(row);
    EXPECT_EQ(asWritten, Reading(Respaced(row))) << row;
  }
}

}  // namespace
