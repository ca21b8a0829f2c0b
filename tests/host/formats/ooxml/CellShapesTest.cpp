// The common shape of a cell (<c r=".." s=".." t=".."><v>..</v></c>) is read
// straight from its bytes, every other spelling by the full XML reading. A cell
// must read the same, and a broken one be refused for the same fault, whichever
// reading takes it: each case is read as written and again with one more space
// after "<c", which only the full reading takes.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/core/HostError.h"
#include "host/formats/ooxml/SheetData.h"
#include "PartBytesOf.h"

namespace {

using host::ooxml::SheetData;

std::string SheetOf(const std::string& row) {
  return "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData><row r=\"1\">" +
         row + "</row></sheetData></worksheet>";
}

// Every "<c " given one more space.
std::string Respaced(std::string row) {
  for (size_t at = row.find("<c "); at != std::string::npos; at = row.find("<c ", at + 4)) row.insert(at + 2, " ");
  return row;
}

// What the cells of row 1 read as, or the fault the sheet is refused for.
std::string Reading(const std::string& row) {
  try {
    SheetData sheet(PartBytesOf(SheetOf(row)), 2, 4);
    std::string out;
    for (int column = 1; column <= 3; ++column) {
      const SheetData::CellRecord* cell = sheet.Find(1, column);
      if (cell && cell->kind == SheetData::ValueKind::Shared) {  // no strings bound: its index
        out += "shared " + std::to_string(cell->value.index) + ":s" + std::to_string(cell->style) + "|";
        continue;
      }
      const host::StoredValue v = sheet.Value(1, column);
      out += std::to_string(static_cast<int>(v.kind)) + ":" + std::to_string(v.number) + ":" + v.text + ":" +
             (v.uncalculated ? "u" : "") + (cell ? ":s" + std::to_string(cell->style) + ":f" +
                                                         std::to_string(cell->flags)
                                                   : ":none") +
             "|";
    }
    return out;
  } catch (const host::XmlFault& fault) {
    // Where the fault stands moves with the added spaces; what it is may not.
    return "fault: " + fault.message.substr(0, fault.message.rfind(" (at byte "));
  }
}

TEST(CellShapes, ACellReadsTheSameWhicheverReadingTakesIt) {
  const char* const rows[] = {
      "<c r=\"A1\"><v>12.5</v></c><c r=\"B1\" s=\"3\" t=\"str\"><v>some text</v></c><c r=\"C1\" t=\"b\"><v>1</v></c>",
      "<c r=\"A1\" t=\"e\"><v>#N/A</v></c><c r=\"B1\" s=\"2\"/><c r=\"C1\" t=\"n\"><v> 7 </v></c>",
      "<c r=\"A1\" t=\"d\"><v>2024-05-01T12:00:00</v></c><c r=\"B1\"></c><c r=\"C1\"><v></v></c>",
      "<c r=\"A1\" t=\"str\"><v>a&amp;b</v></c><c r=\"B1\" t=\"inlineStr\"><is><t>inline</t></is></c>"
      "<c r=\"C1\" s=\"1\"><f>A1</f><v>3</v></c>",
      "<c r=\"A1\" s=\"1\" t=\"s\"><v>1</v></c><c r=\"C1\" t=\"\"><v>-0.25E2</v></c>",
      // Faults: each must be named alike by both readings.
      "<c r=\"A1\" s=\"9\"><v>1</v></c>",
      "<c r=\"A2\"><v>1</v></c>",
      "<c r=\"A1\" t=\"x\"><v>1</v></c>",
      "<c r=\"A1\"><v>abc</v></c>",
      "<c r=\"B1\"><v>1</v></c><c r=\"A1\"><v>2</v></c>",
      "<c r=\"A1\" t=\"s\"><v>5</v></c>",
      "<c r=\"A1\" t=\"b\"><v>2</v></c>",
      "<c r=\"A1\" s=\"x1\"><v>1</v></c>",
      "<c r=\"ZZZZ1\"><v>1</v></c>",
  };
  for (const char* row : rows) {
    const std::string asWritten = Reading(row);
    EXPECT_EQ(asWritten, Reading(Respaced(row))) << row;
    EXPECT_NE(asWritten.find(':'), std::string::npos) << row;
  }
}

}  // namespace
