// The BIFF8 record layer: workbooks LibreOffice wrote as .xls, and
// hand-made records for what it does not write and for damage.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <ranges>
#include <algorithm>

#include "XlsFixtures.h"
#include "host/core/HostError.h"
#include "host/formats/biff/BiffRecords.h"
#include "host/io/CompoundFile.h"
#include "host/io/CompoundFileWriter.h"
#include "host/formats/FileFormat.h"
#include "host/formats/biff/SheetRecords.h"
#include "host/formats/biff/WorkbookGlobals.h"

using fixtures::TempDir;
using namespace host::biff;
using xlsfixtures::Bof;
using xlsfixtures::Cell;
using xlsfixtures::Double;
using xlsfixtures::Eof;
using xlsfixtures::Le;
using xlsfixtures::Rec;
using host::FileFormat;
using host::RecogniseFile;

namespace {

std::string WorkbookStream(const std::string& xls) {
  CompoundFile file(xls, "fixture.xls");
  return file.ReadStream(file.Find("Workbook"));
}

// A double as Python's repr writes it (shortest text that reads back the same).
std::string PythonRepr(double value) {
  char text[32];
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  std::string out = text;
  if (out.find_first_of(".en") == std::string::npos) out += ".0";
  return out;
}

// A cell with its text and formula looked up.
struct Decoded : CellRecord {
  std::string text;
  std::string formula;
};
using Cells = std::map<std::pair<int, int>, Decoded>;

Decoded Get(const Cells& cells, int row, int column) {
  auto found = cells.find({row, column});
  return found == cells.end() ? Decoded{} : found->second;
}

Cells ByPosition(const SheetRecords& sheet, const std::vector<std::string>& sharedStrings, std::string_view stream) {
  Cells cells;
  for (const CellRef& ref : sheet.cells) {
    const CellRecord cell = DecodeCell(stream, ref);
    Decoded decoded{cell, CellText(stream, cell, sharedStrings), std::string()};
    if (cell.kind == CellKind::Formula) decoded.formula = SheetRecords::Formula(cell, stream);
    cells[{cell.row, cell.column}] = decoded;
  }
  return cells;
}

TEST(BiffRecords, ReadsTheCellsLibreOfficeWrote) {
  if (xlsfixtures::LibreOfficeXls().empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; no .xls fixture";
  std::string stream = WorkbookStream(xlsfixtures::LibreOfficeXls());
  WorkbookGlobals globals = ReadGlobals(stream, "Workbook", "fixture.xls");
  ASSERT_EQ(globals.sheets.size(), 3u);
  EXPECT_EQ(globals.sheets[0].name, "Data");
  EXPECT_EQ(globals.sheets[1].name, "Strings");
  EXPECT_EQ(globals.sheets[2].name, "Second");
  EXPECT_FALSE(globals.date1904);
  EXPECT_EQ(globals.activeSheet, 0);

  auto cells = ByPosition(ReadSheet(stream, globals.sheets[0].position, globals.sharedStrings, "Workbook", "fixture.xls"),
                          globals.sharedStrings, stream);
  auto at = [&](int row, int column) { return Get(cells, row, column); };
  const double numbers[] = {1.5, 0, 0, 42, -0.25, 123456789.125};
  for (int row : {0, 3, 4, 5}) {
    EXPECT_EQ(at(row, 0).kind, CellKind::Number) << row;
    EXPECT_EQ(at(row, 0).number, numbers[row]) << row;
  }
  EXPECT_EQ(at(1, 0).text, "pear");
  EXPECT_EQ(at(2, 0).text, "Ünïcödé ✓");
  ASSERT_EQ(at(1, 1).kind, CellKind::Formula);
  EXPECT_EQ(at(1, 1).number, 3);
  EXPECT_FALSE(at(1, 1).formula.empty());
  EXPECT_EQ(at(5, 1).kind, CellKind::Blank);
  EXPECT_EQ(at(0, 2).text, "bold plain");
}

// Every value cell of every sheet as python3-xlrd reads it.
TEST(BiffRecords, CellsAgreeWithXlrd) {
  if (xlsfixtures::LibreOfficeXls().empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; no .xls fixture";
  if (!xlsfixtures::HavePython("xlrd")) GTEST_SKIP() << "python3-xlrd is not installed; no independent reader";
  TempDir dir;
  std::string path = dir.File("fixture.xls");
  fixtures::WriteFile(path, xlsfixtures::LibreOfficeXls());
  std::vector<std::string> expected = xlsfixtures::XlrdCells(path, dir);
  ASSERT_FALSE(expected.empty()) << "xlrd cannot read the fixture";

  std::string stream = WorkbookStream(xlsfixtures::LibreOfficeXls());
  WorkbookGlobals globals = ReadGlobals(stream, "Workbook", "fixture.xls");
  std::vector<std::string> ours;
  for (size_t n = 0; n < globals.sheets.size(); ++n) {
    SheetRecords sheet = ReadSheet(stream, globals.sheets[n].position, globals.sharedStrings, "Workbook", path);
    for (const Decoded& cell : ByPosition(sheet, globals.sharedStrings, stream) | std::views::values) {
      CellKind kind = cell.kind;
      if (kind == CellKind::Formula)
        kind = cell.result == ResultKind::Number    ? CellKind::Number
               : cell.result == ResultKind::Boolean ? CellKind::Boolean
               : cell.result == ResultKind::Error   ? CellKind::Error
                                                    : CellKind::Text;
      std::string value;
      int type = 0;
      switch (kind) {
        case CellKind::Text: type = 1, value = cell.text; break;
        case CellKind::Number: type = 2, value = PythonRepr(cell.number); break;
        case CellKind::Boolean: type = 4, value = std::to_string(cell.code); break;
        case CellKind::Error: type = 5, value = std::to_string(cell.code); break;
        default: continue;
      }
      ours.push_back(std::to_string(n) + " " + std::to_string(cell.row) + " " + std::to_string(cell.column) + " " +
                     std::to_string(type) + " " + value);
    }
  }
  std::sort(expected.begin(), expected.end());
  std::sort(ours.begin(), ours.end());
  EXPECT_EQ(ours, expected);
}

TEST(BiffRecords, SharedStringsSplitAcrossContinueRecords) {
  if (xlsfixtures::LibreOfficeXls().empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; no .xls fixture";
  std::string stream = WorkbookStream(xlsfixtures::LibreOfficeXls());
  WorkbookGlobals globals = ReadGlobals(stream, "Workbook", "fixture.xls");
  RecordReader reader(stream, globals.sstOffset, "Workbook", "fixture.xls");
  Record sst;
  ASSERT_TRUE(reader.Next(sst));
  ASSERT_GE(sst.continues.size(), 4u) << "the fixture's strings no longer need CONTINUE records";

  auto cells = ByPosition(ReadSheet(stream, globals.sheets[1].position, globals.sharedStrings, "Workbook", "fixture.xls"),
                          globals.sharedStrings, stream);
  for (int i = 0; i < xlsfixtures::kManyStrings; ++i) ASSERT_EQ(Get(cells, i, 0).text, xlsfixtures::ManyString(i)) << i;
  EXPECT_EQ(Get(cells, 0, 1).text, xlsfixtures::LongString());
}

TEST(BiffRecords, RowsAndDimensionsLibreOfficeWrote) {
  if (xlsfixtures::LibreOfficeXls().empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; no .xls fixture";
  std::string stream = WorkbookStream(xlsfixtures::LibreOfficeXls());
  WorkbookGlobals globals = ReadGlobals(stream, "Workbook", "fixture.xls");
  SheetRecords data = ReadSheet(stream, globals.sheets[0].position, globals.sharedStrings, "Workbook", "fixture.xls");
  EXPECT_NE(data.dimensionsOffset, std::string::npos);
  EXPECT_EQ(data.firstRow, 0u);
  EXPECT_EQ(data.lastRowPlus1, 6u);
  EXPECT_EQ(data.lastColumnPlus1, 3);
  ASSERT_EQ(data.rows.size(), 6u);
  for (const RowRecord& row : data.rows) EXPECT_EQ(row.hidden, row.row == 3) << row.row;
}

// INDEX and DBCELL (LibreOffice writes neither): the positions INDEX lists
// and where DBCELL records stand.
TEST(BiffRecords, IndexAndDbCellPositions) {
  const std::string head = Bof(0x0010);
  const std::string rows = Rec(rt::kDimensions, Le(0, 4) + Le(2, 4) + Le(0, 2) + Le(1, 2) + Le(0, 2)) +
                           Rec(rt::kRow, Le(0, 2) + Le(0, 2) + Le(1, 2) + Le(300, 2) + Le(0, 4) + Le(0x0100, 2) + Le(15, 2)) +
                           Rec(rt::kRow, Le(1, 2) + Le(0, 2) + Le(1, 2) + Le(300, 2) + Le(0, 4) + Le(0x0120, 2) + Le(15, 2)) +
                           Rec(rt::kNumber, Cell(0, 0, 15) + Double(1)) + Rec(rt::kNumber, Cell(1, 0, 15) + Double(2));
  const size_t indexSize = 4 + 20;
  const size_t dbCell = head.size() + indexSize + rows.size();
  const std::string stream = head + Rec(rt::kIndex, Le(0, 4) + Le(0, 4) + Le(2, 4) + Le(0, 4) + Le(dbCell, 4)) + rows +
                             Rec(rt::kDbCell, Le(dbCell - head.size() - indexSize - 18, 4) + Le(0, 2)) + Eof();
  SheetRecords sheet = ReadSheet(stream, 0, {}, "Workbook", "hand.xls");
  EXPECT_EQ(sheet.indexOffset, head.size());
  EXPECT_EQ(sheet.indexedDbCells, std::vector<uint32_t>{static_cast<uint32_t>(dbCell)});
  EXPECT_EQ(sheet.dbCells, std::vector<size_t>{dbCell});
  ASSERT_EQ(sheet.rows.size(), 2u);
  EXPECT_FALSE(sheet.rows[0].hidden);
  EXPECT_TRUE(sheet.rows[1].hidden);
  EXPECT_EQ(U16(stream, sheet.rows[1].offset + 4 + 6), 300);  // the row's height, read from its record
  EXPECT_EQ(sheet.end, stream.size());
}

// Records LibreOffice does not write, decoded from hand-made bytes.
TEST(BiffRecords, DecodesHandMadeCellRecords) {
  std::string stream =
      Bof(0x0010) +
      Rec(rt::kLabel, Cell(0, 0, 15) + Le(3, 2) + Le(0, 1) + "abc") +
      Rec(rt::kLabel, Cell(0, 1, 15) + Le(2, 2) + Le(1, 1) + Le(0x00E9, 2) + Le(0x20AC, 2)) +
      Rec(rt::kRString, Cell(0, 2, 15) + Le(4, 2) + Le(0, 1) + "rich" + Le(1, 2) + Le(0, 2) + Le(5, 2)) +
      Rec(rt::kRk, Cell(1, 0, 15) + Le((1234u << 2) | 3, 4)) +
      Rec(rt::kMulRk, Le(2, 2) + Le(3, 2) + Le(15, 2) + Le(0x3FF00000, 4) + Le(16, 2) + Le((7u << 2) | 2, 4) + Le(4, 2)) +
      Rec(rt::kMulBlank, Le(3, 2) + Le(1, 2) + Le(20, 2) + Le(21, 2) + Le(22, 2) + Le(3, 2)) +
      Rec(rt::kBoolErr, Cell(4, 0, 15) + Le(0x2A, 1) + Le(1, 1)) +
      Rec(rt::kFormula, Cell(5, 0, 15) + Le(0, 1) + Le(0, 5) + Le(0xFFFF, 2) + Le(0, 2) + Le(0, 4) + Le(3, 2) +
                            std::string("\x1E\x01\x00", 3)) +
      Rec(rt::kString, Le(3, 2) + Le(0, 1) + "a") + Rec(rt::kContinue, Le(1, 1) + Le('b', 2) + Le('c', 2)) +
      Rec(rt::kFormula, Cell(5, 1, 15) + Le(1, 1) + Le(0, 1) + Le(1, 1) + Le(0, 3) + Le(0xFFFF, 2) + Le(0, 6) + Le(0, 2)) +
      Rec(rt::kFormula, Cell(5, 2, 15) + Double(0.5) + Le(0, 6) + Le(0, 2)) +
      Bof(0x0020) + Rec(rt::kNumber, Cell(9, 9, 15) + Double(99)) + Eof() +  // an embedded chart
      Rec(rt::kNumber, Cell(6, 0, 15) + Double(-2.5)) + Eof();
  SheetRecords sheet = ReadSheet(stream, 0, {}, "Workbook", "hand.xls");
  auto cells = ByPosition(sheet, {}, stream);
  EXPECT_EQ(sheet.cells.size(), 14u);
  EXPECT_EQ(Get(cells, 0, 0).text, "abc");
  EXPECT_EQ(Get(cells, 0, 1).text, "é€");
  EXPECT_EQ(Get(cells, 0, 2).text, "rich");
  EXPECT_DOUBLE_EQ(Get(cells, 1, 0).number, 12.34);
  EXPECT_EQ(Get(cells, 2, 3).number, 1.0);
  EXPECT_EQ(Get(cells, 2, 3).xf, 15);
  EXPECT_EQ(Get(cells, 2, 4).number, 7.0);
  EXPECT_EQ(Get(cells, 2, 4).xf, 16);
  EXPECT_EQ(Get(cells, 3, 2).kind, CellKind::Blank);
  EXPECT_EQ(Get(cells, 3, 3).xf, 22);
  EXPECT_EQ(Get(cells, 4, 0).kind, CellKind::Error);
  EXPECT_EQ(Get(cells, 4, 0).code, 0x2A);
  EXPECT_EQ(Get(cells, 5, 0).result, ResultKind::Text);
  EXPECT_EQ(Get(cells, 5, 0).text, "abc");
  EXPECT_EQ(Get(cells, 5, 0).formula, std::string("\x1E\x01\x00", 3));
  EXPECT_EQ(Get(cells, 5, 1).result, ResultKind::Boolean);
  EXPECT_EQ(Get(cells, 5, 1).code, 1);
  EXPECT_EQ(Get(cells, 5, 2).result, ResultKind::Number);
  EXPECT_EQ(Get(cells, 5, 2).number, 0.5);
  EXPECT_EQ(Get(cells, 6, 0).number, -2.5);
  EXPECT_FALSE(cells.count(std::make_pair(9, 9)));
}

// Globals from hand-made records, including what LibreOffice leaves at defaults.
TEST(BiffRecords, ReadsHandMadeGlobals) {
  auto sheet = [](uint32_t position, uint8_t visibility, const std::string& name) {
    return Rec(rt::kBoundSheet8, Le(position, 4) + Le(visibility, 1) + Le(0, 1) + Le(name.size(), 1) + Le(0, 1) + name);
  };
  const std::string stream = Bof(0x0005) + Rec(rt::kFormat, Le(164, 2) + Le(4, 2) + Le(0, 1) + "0.0%") +
                             Rec(rt::kXf, Le(0, 2) + Le(0, 2) + std::string(16, '\0')) +
                             Rec(rt::kXf, Le(0, 2) + Le(164, 2) + std::string(16, '\0')) +
                             Rec(rt::kDateMode, Le(1, 2)) + Rec(rt::kWindow1, std::string(10, '\0') + Le(1, 2) + Le(0, 6)) +
                             sheet(0, 0, "One") + sheet(0, 1, "Two") + Eof();
  WorkbookGlobals globals = ReadGlobals(stream, "Workbook", "g.xls");
  EXPECT_EQ(globals.formats, (std::map<uint16_t, std::string>{{164, "0.0%"}}));
  EXPECT_EQ(globals.xfFormats, (std::vector<uint16_t>{0, 164}));
  EXPECT_TRUE(globals.date1904);
  EXPECT_EQ(globals.activeSheet, 1);
  ASSERT_EQ(globals.sheets.size(), 2u);
  EXPECT_EQ(globals.sheets[1].name, "Two");
  EXPECT_EQ(globals.sheets[1].visibility, 1);
  EXPECT_EQ(globals.end, stream.size());
}

// The end of a substream passes over the substreams nested in it.
TEST(BiffRecords, SubstreamEnds) {
  const std::string globals = Bof(0x0005) + Rec(rt::kDateMode, Le(1, 2)) + Eof();
  const std::string sheet = Bof(0x0010) + Bof(0x0020) + Eof() + Rec(rt::kBlank, Cell(0, 0, 0)) + Eof();
  const std::string stream = globals + sheet;
  EXPECT_EQ(SubstreamEnd(stream, 0, "Workbook", "s.xls"), globals.size());
  EXPECT_EQ(SubstreamEnd(stream, globals.size(), "Workbook", "s.xls"), stream.size());
  EXPECT_THROW(SubstreamEnd(stream.substr(0, stream.size() - 4), globals.size(), "Workbook", "s.xls"), host::HostError);
  EXPECT_THROW(SubstreamEnd(stream, 4, "Workbook", "s.xls"), host::HostError);  // not at a BOF
}

TEST(BiffRecords, DecodesRkNumbers) {
  const std::pair<uint32_t, double> cases[] = {
      {0x3FF00000, 1.0}, {0x3FF00001, 0.01}, {(42u << 2) | 2, 42}, {static_cast<uint32_t>(-5 << 2) | 2, -5},
      {(1234u << 2) | 3, 12.34}, {0xC0040000, -2.5},
  };
  for (auto [rk, value] : cases) EXPECT_DOUBLE_EQ(DecodeRk(rk), value) << std::hex << rk;
}

// Damaged records name the stream, the record and its offset.
TEST(BiffRecords, DamagedRecordsAreNamed) {
  const std::string bof = Bof(0x0010);
  const size_t at = bof.size();
  const std::string where = "Cannot open \"t.xls\": its stream \"Workbook\" is damaged (record 0x";
  const std::pair<std::string, std::string> cases[] = {
      {bof + Rec(rt::kNumber, Cell(0, 0, 0)) + Eof(), "0203 at offset " + std::to_string(at) + " is too short"},
      {bof + Rec(rt::kLabelSst, Cell(0, 0, 0) + Le(5, 4)) + Eof(), "00FD at offset " + std::to_string(at) +
                                                                      " refers to shared string 5"},
      {bof + Rec(rt::kMulRk, Le(0, 2) + Le(1, 2) + Le(0, 6) + Le(9, 2)) + Eof(), "00BD at offset " + std::to_string(at) +
                                                                                     " gives columns that do not match"},
      {bof + Rec(rt::kFormula, Cell(0, 0, 0) + Le(0, 14) + Le(40, 2)) + Eof(), "0006 at offset " + std::to_string(at) +
                                                                                  " is shorter than its formula"},
      {bof + Rec(rt::kLabel, Cell(0, 0, 0) + Le(50, 2) + Le(0, 1) + "ab") + Eof(), "0204 at offset " +
                                                                                      std::to_string(at) + " is cut short"},
      {bof + Le(rt::kNumber, 2) + Le(100, 2) + "xx", "0203 at offset " + std::to_string(at) + " runs past the end"},
      {bof + Rec(rt::kBlank, Cell(0, 0, 0)), "000A at offset " + std::to_string(at + 10) + " is missing"},
      {bof + Rec(rt::kBlank, Cell(0, 0x4000, 0)) + Eof(), "0201 at offset " + std::to_string(at) +
                                                              " names column 16385, beyond the last a sheet can have"},
  };
  for (const auto& [stream, phrase] : cases) {
    std::string message;
    try {
      ReadSheet(stream, 0, {}, "Workbook", "t.xls");
    } catch (const host::HostError& error) {
      message = error.what();
    }
    EXPECT_EQ(message.rfind(where + phrase, 0), 0u) << message;
  }
}

TEST(BiffRecords, RefusesPasswordProtectedWorkbooks) {
  if (xlsfixtures::LibreOfficeXls().empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; no .xls fixture";
  std::string stream = WorkbookStream(xlsfixtures::LibreOfficeXls());
  // FILEPASS (RC4 CryptoAPI header) right after the globals' BOF, as encrypting writers put it.
  size_t bofEnd = 4 + (static_cast<uint8_t>(stream[2]) | static_cast<uint8_t>(stream[3]) << 8);
  stream.insert(bofEnd, Rec(rt::kFilePass, Le(1, 2) + Le(4, 2) + Le(2, 2) + std::string(48, '\x5A')));
  try {
    ReadGlobals(stream, "Workbook", "secret.xls");
    FAIL() << "a FILEPASS record was not refused";
  } catch (const host::HostError& error) {
    EXPECT_STREQ(error.what(), "\"secret.xls\" is protected with a password: this host cannot open it.");
  }
}

// LibreOffice no longer writes Excel 95 files: its .xls with the workbook
// stream named "Book" and holding a BIFF5 globals substream stands in.
TEST(BiffRecords, RefusesExcel95Workbooks) {
  if (xlsfixtures::LibreOfficeXls().empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; no .xls fixture";
  std::string bytes = xlsfixtures::LibreOfficeXls();
  int workbook = CompoundFile(bytes, "x.xls").Find("Workbook");
  xlsfixtures::EditEntry(bytes, workbook, [](std::string& raw) {
    raw.replace(0, 10, std::string("B\0o\0o\0k\0\0\0", 10));
    raw[0x40] = 10;
  });
  std::string biff5 = Rec(rt::kBof, Le(0x0500, 2) + Le(0x0005, 2) + Le(0, 4)) + Eof();
  TempDir dir;
  std::string path = dir.File("old.xls");
  fixtures::WriteFile(path, host::io::WriteCompoundFile(CompoundFile(bytes, path), {{workbook, biff5}}));
  EXPECT_EQ(RecogniseFile(path), FileFormat::Biff5Workbook);
  CompoundFile file(fixtures::ReadFile(path), path);
  ASSERT_EQ(file.Find("Book"), workbook);
  try {
    ReadGlobals(file.ReadStream(workbook), "Book", "old.xls");
    FAIL() << "an Excel 95 stream was read";
  } catch (const host::HostError& error) {
    EXPECT_STREQ(error.what(), "Cannot open \"old.xls\": it is an Excel 95 workbook; save it as Excel 97–2003 or .xlsx first.");
  }
}

}  // namespace
