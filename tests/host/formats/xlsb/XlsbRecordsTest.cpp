// The records of binary workbooks as the host reads them: every cell kind's
// value, number formats from the style part, and the formula tokens (rows of
// 32 bits, columns of 14 bits with the relative flags) shifted, expanded and
// shown as text.
#include <gtest/gtest.h>

#include <cmath>

#include "formats/xlsb/XlsbFixtures.h"
#include "host/core/HostError.h"
#include "host/formats/FileFormat.h"
#include "host/formats/xlsb/XlsbFormula.h"
#include "host/formats/xlsb/XlsbWorkbook.h"

namespace {

using namespace xlsbfixtures;
using fixtures::TempDir;

// The first sheet's store with the workbook it reads its strings and styles from.
struct Opened {
  explicit Opened(const std::string& path) : book(path), sheet(book.Sheet(0)) {}
  host::xlsb::XlsbWorkbook book;
  host::SheetStore* sheet;  // owned by book
  host::SheetStore* operator->() const { return sheet; }
};



TEST(XlsbRecords, EveryCellKindReadsItsValue) {
  struct Case {
    std::string record;
    host::CellKind kind;
    double number;
    std::string text;
  };
  const Case cases[] = {
      {Number(0, 2.5), host::CellKind::Number, 2.5, ""},
      {Rk(0, (123u << 2) | 2), host::CellKind::Number, 123, ""},            // an integer
      {Rk(0, (12345u << 2) | 3), host::CellKind::Number, 123.45, ""},        // an integer / 100
      {Rk(0, 0x3FF00000), host::CellKind::Number, 1, ""},                    // the high bits of 1.0
      {Text(0, "inline"), host::CellKind::Text, 0, "inline"},
      {Shared(0, 1), host::CellKind::Text, 0, "second"},
      {Bool(0, true), host::CellKind::Boolean, 1, ""},
      {Error(0, 0x2A), host::CellKind::Error, 0, "#N/A"},
      {Error(0, 0x07), host::CellKind::Error, 0, "#DIV/0!"},
      {Blank(0), host::CellKind::Blank, 0, ""},
      {FormulaNumber(0, 7, PtgNum(7)), host::CellKind::Number, 7, ""},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string path = Write(dir, "k.xlsb", Package({{"S", Row(0) + c.record, "", {}, ""}}, {"first", "second"}));
    const Opened sheet(path);
    const host::StoredValue value = sheet->Value(1, 1);
    EXPECT_EQ(value.kind, c.kind) << c.text;
    EXPECT_NEAR(value.number, c.number, 1e-12) << c.text;
    EXPECT_EQ(value.text, c.text);
  }
}

TEST(XlsbRecords, NumberFormatsComeFromTheStylePart) {
  TempDir dir;
  const std::string styles = StylesPart({{164, "0.000"}}, {0, 164, 14});
  const std::string path =
      Write(dir, "f.xlsb", Package({{"S", Row(0) + Number(0, 1, 0) + Number(1, 1, 1) + Number(2, 1, 2), "", {}, ""}}, {}, styles));
  const Opened sheet(path);
  EXPECT_EQ(sheet->FormatCode(1, 1), "General");
  EXPECT_EQ(sheet->FormatCode(1, 2), "0.000");
  EXPECT_EQ(sheet->FormatCode(1, 3), "m/d/yyyy");
}

TEST(XlsbFormula, RowsShiftAsACopyWouldShiftThem) {
  using host::xlsb::FormulaText;
  using host::xlsb::ShiftFormulaRows;
  struct Case {
    std::string rgce;
    int delta;
    std::string text;
  };
  const Case cases[] = {
      {PtgRef(1, 0), 3, "A5"},
      {PtgRef(1, 0, false, false), 3, "$A$2"},
      {PtgRef(1, 0), -2, "#REF!"},
      {PtgRef(1048570, 0), 10, "#REF!"},
      {PtgArea(0, 2, 0, 1), 2, "A3:B5"},
      {PtgArea(0, 1048575, 0, 0), 5, "A:A"},
      {PtgRef(70000, 3616), 1, "EIC70002"},
      {PtgRef(0, 0) + PtgNum(2) + std::string(1, '\x03'), 1, "A2+2"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormulaText(ShiftFormulaRows(c.rgce, c.delta), 0, 0), c.text) << c.text;
}

TEST(XlsbFormula, ASharedFormulaBecomesTheCellsOwn) {
  const std::string shared = PtgRefN(-1, 0) + PtgNum(1) + std::string(1, '\x03');
  EXPECT_EQ(host::xlsb::FormulaText(host::xlsb::ExpandSharedFormula(shared, 4, 2), 4, 2), "C4+1");
  EXPECT_EQ(host::xlsb::FormulaText(shared, 9, 0), "A9+1");
}

TEST(XlsbFormula, DamagedTokensAreRefused) {
  for (const std::string& rgce : {std::string("\x44\x01", 2), std::string("\xFF"), std::string()}) {
    try {
      host::xlsb::ShiftFormulaRows(rgce, 1);
      ADD_FAILURE() << "shifted";
    } catch (const host::HostError& error) {
      EXPECT_EQ(std::string(error.what()).rfind("A formula is damaged: ", 0), 0u) << error.what();
    }
  }
}

// A record cut off, a cell in a negative column, and a cell of a kind whose
// values this reader cannot read (type 13 among the cell kinds), refuse the file by part, record and
// offset, untouched.
TEST(XlsbRecords, ADamagedOrUnreadableRecordIsRefusedByPartRecordAndOffset) {
  const struct {
    std::string inRow;   // records after the row's cells
    std::string atEnd;   // bytes after the part's last record
    std::string says;
  } cases[] = {
      {"", std::string("\x05\x40", 2), "the part xl/worksheets/sheet1.bin is damaged: record 5 at byte "},
      {Row(1) + std::string("\x05\x10\xff\xff\xff\xff", 6) + std::string(12, '\0'), "",
       "the part xl/worksheets/sheet1.bin is damaged: record 5 at byte "},
      {std::string("\x0D\x08", 2) + std::string(8, '\0'), "",
       "the part xl/worksheets/sheet1.bin holds cells written in a compact form this host cannot read (record 13 at byte "},
  };
  for (const auto& c : cases) {
    TempDir dir;
    auto parts = Package({{"S", Row(0) + Number(0, 1) + c.inRow, "", {}, ""}}, {});
    for (auto& [name, bytes] : parts)
      if (name == "xl/worksheets/sheet1.bin") bytes += c.atEnd;
    const std::string path = Write(dir, "d.xlsb", parts);
    const std::string before = fixtures::ReadFile(path);
    try {
      host::xlsb::XlsbWorkbook book(path);
      ADD_FAILURE() << "opened";
    } catch (const host::HostError& error) {
      EXPECT_NE(std::string(error.what()).find("Cannot open \"" + path + "\": " + c.says), std::string::npos) << error.what();
    }
    EXPECT_EQ(fixtures::ReadFile(path), before);
  }
}

TEST(XlsbRecords, ABinaryWorkbookIsToldByItsContent) {
  TempDir dir;
  const std::string path = Keys(dir, "named.xlsx");
  EXPECT_EQ(host::RecogniseFile(path), host::FileFormat::XlsbWorkbook);
  EXPECT_NE(host::FormatsOpened().find(".xlsb"), std::string::npos);
}

}  // namespace
