// Sorting and hiding rows of binary workbooks through the host, saved in
// place: what moved (values, formulas shifted, shared formulas expanded,
// hyperlinks and notes), hidden rows (a row header made where none was),
// the parts left byte for byte, and LibreOffice reading the result.
#include <gtest/gtest.h>

#include "formats/xlsb/XlsbFixtures.h"
#include "host/core/Application.h"
#include "host/core/Cell.h"
#include "host/core/HostError.h"
#include "host/core/Range.h"
#include "host/core/RowRef.h"
#include "host/core/Workbook.h"
#include "host/core/Workbooks.h"
#include "host/core/Worksheet.h"
#include "host/formats/xlsb/XlsbRecords.h"
#include "host/core/SheetStore.h"
#include "host/core/calc/Evaluator.h"
#include "host/core/calc/WorkbookCells.h"

#include <cmath>
#include <iterator>

namespace {

using namespace xlsbfixtures;
using fixtures::TempDir;

// Keys in A (shared strings), a formula in B that refers to A of its row
// (B1 =A1&"", written as A1 itself), numbers in C; rows 1..4.
std::string Book(const TempDir& dir, const std::string& after = "", const std::string& rels = "",
                 std::vector<std::pair<std::string, std::string>> parts = {}) {
  const std::vector<std::string> keys = {"d", "b", "a", "c"};
  std::string data;
  for (int r = 0; r < 4; ++r)
    data += Row(r) + Shared(0, static_cast<uint32_t>(r)) + FormulaNumber(1, r + 1, PtgRef(static_cast<uint32_t>(r), 2)) +
            Number(2, r + 1);
  return Write(dir, "book.xlsb", Package({{"Data", data, after, std::move(parts), rels}, {"Other", Row(0) + Number(0, 9), "", {}, ""}}, keys));
}

void SortFirstSheet(const std::string& path, const std::string& range) {
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  book.Worksheets()[0]->GetRange(range).Sort(host::CellRef{1, 1});
  book.Save();
  app.Quit();
}

TEST(XlsbSortSave, RowsMoveWithTheirFormulasAndOtherPartsStayByteForByte) {
  TempDir dir;
  const std::string path = Book(dir);
  const auto before = fixtures::ReadZipRaw(path);
  SortFirstSheet(path, "A1:C4");
  host::Application app;
  host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
  const char* keys[] = {"a", "b", "c", "d"};
  const char* formulas[] = {"C1", "C2", "C3", "C4"};
  const char* numbers[] = {"3", "2", "4", "1"};
  for (int r = 1; r <= 4; ++r) {
    EXPECT_EQ(sheet.Cells(r, 1).Text(), keys[r - 1]) << r;
    EXPECT_EQ(sheet.Cells(r, 2).Formula(), formulas[r - 1]) << r;
    EXPECT_EQ(sheet.Cells(r, 3).Text(), numbers[r - 1]) << r;
  }
  app.Quit();
  const auto after = fixtures::ReadZipRaw(path);
  for (const auto& [name, bytes] : before) {
    // The workbook part asks for a full recalculation (formulas moved).
    if (name != "xl/worksheets/sheet1.bin" && name != "xl/workbook.bin") {
      EXPECT_EQ(after.at(name), bytes) << name;
    }
  }
}

// The body of the first record of type in a part, or "" when it has none.
std::string RecordBody(const std::string& part, uint32_t type) {
  host::xlsb::RecordReader reader(part, "part");
  host::xlsb::Record record;
  while (reader.Next(record))
    if (record.type == type) return std::string(record.body);
  return {};
}

// Moved formulas whose results are left leave the workbook to be recalculated
// when next opened: BrtCalcProp's fFullCalcOnLoad is set (the record made where the workbook
// part has none), and the calculation chain goes with its relationship and
// content type; every other part of the workbook part stays.
TEST(XlsbSortSave, MovedFormulasLeftUncomputedAskForAFullRecalculationAndDropTheCalculationChain) {
  // BrtCalcProp as written with the flags cleared: engine, mode, count, delta, threads, flags.
  const std::string calcProp = Record(157, U32(191029) + U32(1) + U32(100) + F64(0.001) + U32(1) + U16(0x6A));
  for (const bool hasCalcProp : {false, true}) {
    SCOPED_TRACE(hasCalcProp ? "with BrtCalcProp" : "without BrtCalcProp");
    TempDir dir;
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    std::string data;
    // =A<r>+NOW(): a result the host leaves to the recalculation.
    for (int r = 0; r < 3; ++r)
      data += Row(r) + Number(0, 3 - r) + FormulaNumber(1, 3 - r, PtgRef(static_cast<uint32_t>(r), 0) + PtgFunc(74) + PtgOp(0x03));
    auto parts = Package({{"S", data, "", {}, ""}}, {});
    std::string bookBefore;
    for (auto& [name, bytes] : parts) {
      if (name == "[Content_Types].xml")
        bytes.insert(bytes.find("</Types>"),
                     "<Override PartName=\"/xl/calcChain.bin\" ContentType=\"application/vnd.ms-excel.calcChain\"/>");
      if (name == "xl/_rels/workbook.bin.rels")
        bytes.insert(bytes.find("</Relationships>"),
                     "<Relationship Id=\"rIdC\" Type=\"" + rel + "calcChain\" Target=\"calcChain.bin\"/>");
      if (name == "xl/workbook.bin") {
        if (hasCalcProp) bytes.insert(bytes.size() - Record(132, "").size(), calcProp);
        bookBefore = bytes;
      }
    }
    parts.emplace_back("xl/calcChain.bin", Record(107, "") + Record(108, ""));
    const std::string path = Write(dir, "chain.xlsb", parts);
    SortFirstSheet(path, "A1:B3");
    auto after = fixtures::ReadZip(path);
    EXPECT_EQ(after.count("xl/calcChain.bin"), 0u);
    EXPECT_EQ(after["[Content_Types].xml"].find("calcChain"), std::string::npos);
    EXPECT_NE(after["[Content_Types].xml"].find("/xl/worksheets/sheet1.bin"), std::string::npos);
    EXPECT_EQ(after["xl/_rels/workbook.bin.rels"].find("calcChain"), std::string::npos);
    EXPECT_NE(after["xl/_rels/workbook.bin.rels"].find("worksheets/sheet1.bin"), std::string::npos);
    const std::string flags = RecordBody(after["xl/workbook.bin"], 157);
    ASSERT_EQ(flags.size(), 26u);
    EXPECT_EQ(static_cast<uint8_t>(flags[24]) & 1, 1);
    // Nothing else of the workbook part changed.
    std::string book = after["xl/workbook.bin"];
    if (hasCalcProp) {
      const size_t at = book.find(calcProp.substr(0, calcProp.size() - 2));
      ASSERT_NE(at, std::string::npos);
      book[at + calcProp.size() - 2] = '\x6A';
    } else {
      book.erase(book.find(Record(157, flags)), Record(157, flags).size());
    }
    EXPECT_TRUE(book == bookBefore);
    host::Application app;
    host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
    for (int r = 1; r <= 3; ++r) EXPECT_EQ(sheet.Cells(r, 2).Formula(), "A" + std::to_string(r) + "+NOW()") << r;
    app.Quit();
  }
}

// A sort of some of the columns: the cells of the sorted columns go to their
// new rows and stand among the cells that stayed, in column order (the sheet
// reads again, which it would refuse with a row's columns out of order).
TEST(XlsbSortSave, CellsOutsideTheSortedColumnsStayAndRowsKeepColumnOrder) {
  TempDir dir;
  const std::string path = Book(dir);
  SortFirstSheet(path, "A1:B4");
  host::Application app;
  host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
  const char* keys[] = {"a", "b", "c", "d"};
  // Moved as a copy moves it: each relative reference now names its new row's C.
  const char* formulas[] = {"C1", "C2", "C3", "C4"};
  for (int r = 1; r <= 4; ++r) {
    EXPECT_EQ(sheet.Cells(r, 1).Text(), keys[r - 1]) << r;
    EXPECT_EQ(sheet.Cells(r, 2).Formula(), formulas[r - 1]) << r;
    EXPECT_EQ(sheet.Cells(r, 3).Text(), std::to_string(r)) << r;
  }
  app.Quit();
}

TEST(XlsbSortSave, SharedFormulaMembersGetTheirOwnExpressions) {
  TempDir dir;
  // B1:B3 share =A1*2 (PtgRefN one column left); A holds 3, 1, 2.
  const std::string shared = PtgRefN(0, -1) + PtgNum(2) + std::string(1, '\x05');
  std::string data = Row(0) + Number(0, 3) + FormulaNumber(1, 6, PtgExp(0), U32(1)) + SharedFormula(0, 2, 1, 1, shared);
  data += Row(1) + Number(0, 1) + FormulaNumber(1, 2, PtgExp(0), U32(1));
  data += Row(2) + Number(0, 2) + FormulaNumber(1, 4, PtgExp(0), U32(1));
  const std::string path = Write(dir, "shared.xlsb", Package({{"S", data, "", {}, ""}}, {}));
  SortFirstSheet(path, "A1:B3");
  host::Application app;
  host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
  for (int r = 1; r <= 3; ++r) {
    EXPECT_EQ(sheet.Cells(r, 1).Text(), std::to_string(r)) << r;
    EXPECT_EQ(sheet.Cells(r, 2).Formula(), "A" + std::to_string(r) + "*2") << r;
    EXPECT_EQ(sheet.Cells(r, 2).Text(), std::to_string(2 * r)) << r;
  }
  app.Quit();
}

TEST(XlsbSortSave, HidingARowSetsItsFlagAndMakesAHeaderWhereNoneWas) {
  TempDir dir;
  const std::string path = Book(dir);
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& sheet = *book.Worksheets()[0];
    sheet.Rows(2).SetHidden(true);
    sheet.Rows(7).SetHidden(true);  // no row header, no cells
    book.Save();
    app.Quit();
  }
  host::Application app;
  host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
  for (int r = 1; r <= 8; ++r) EXPECT_EQ(sheet.RowHidden(r), r == 2 || r == 7) << r;
  EXPECT_EQ(sheet.Cells(2, 1).Text(), "b");
  app.Quit();
}

TEST(XlsbSortSave, HyperlinksAndNotesTravelWithTheirCells) {
  TempDir dir;
  // A hyperlink on A1 ("d"), a note on A3 ("a").
  const std::string rels =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rIdL\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/hyperlink\" "
      "Target=\"https://example.org/\" TargetMode=\"External\"/>"
      "<Relationship Id=\"rIdC\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/comments\" "
      "Target=\"../comments1.bin\"/></Relationships>";
  const std::string comments = Record(628, "") + Record(630, "") + Record(632, Wide("me")) + Record(631, "") +
                               Record(633, "") + Record(635, U32(0) + Area(2, 2, 0, 0) + std::string(16, '\0')) +
                               Record(637, std::string(1, '\0') + Wide("note")) + Record(636, "") + Record(634, "") +
                               Record(629, "");
  const std::string path = Book(dir, Hyperlink(0, 0, 0, 0, "rIdL"), rels, {{"xl/comments1.bin", comments}});
  SortFirstSheet(path, "A1:C4");
  const auto parts = fixtures::ReadZip(path);
  const std::string& sheet = parts.at("xl/worksheets/sheet1.bin");
  const std::string link = Record(494, Area(3, 3, 0, 0) + Wide("rIdL") + Wide("") + Wide("") + Wide(""));
  EXPECT_NE(sheet.find(link), std::string::npos) << "the link went with d to row 4";
  const std::string& notes = parts.at("xl/comments1.bin");
  EXPECT_NE(notes.find(Record(635, U32(0) + Area(0, 0, 0, 0) + std::string(16, '\0'))), std::string::npos)
      << "the note went with a to row 1";
}

TEST(XlsbSortSave, ProtectedSheetsRefuseTheSortUntouched) {
  TempDir dir;
  const std::string path = Book(dir, Protection(true, false));
  const std::string before = fixtures::ReadFile(path);
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  EXPECT_THROW(book.Worksheets()[0]->GetRange("A1:C4").Sort(host::CellRef{1, 1}), host::HostError);
  book.Save();
  app.Quit();
  EXPECT_EQ(fixtures::ReadFile(path), before);
}

TEST(XlsbSortSave, LibreOfficeReadsTheSortedAndHiddenRows) {
  if (!fixtures::HaveSoffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  TempDir dir;
  const std::string path = Book(dir);
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& sheet = *book.Worksheets()[0];
    sheet.GetRange("A1:C4").Sort(host::CellRef{1, 1});
    sheet.Rows(3).SetHidden(true);
    book.Save();
    app.Quit();
  }
  TempDir work;
  EXPECT_EQ(fixtures::SofficeCsv(path, work), (std::vector<std::string>{"a,3,3", "b,2,2", "c,4,4", "d,1,1"}));
  // As .xlsx, LibreOffice's row 3 is hidden.
  const std::string command = "cd '" + work.Path() + "' && timeout 180 soffice -env:UserInstallation=file://" + work.Path() +
                              "/profile --headless --convert-to xlsx --outdir '" + work.Path() + "/x' '" + path + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string xml = fixtures::ReadZip(work.Path() + "/x/book.xlsx").at("xl/worksheets/sheet1.xml");
  const size_t row3 = xml.find("<row r=\"3\"");
  ASSERT_NE(row3, std::string::npos);
  EXPECT_NE(xml.substr(row3, xml.find('>', row3) - row3).find("hidden=\"true\""), std::string::npos) << xml.substr(row3, 200);
}

// Every kind of token the reader knows reads as a formula the engine
// computes: attributes (SUM of one argument, IF's and CHOOSE's jumps), a
// missing argument, unary and postfix operators, whole columns, references
// to another sheet by a name that needs quotes and to a deleted one, error
// constants, a shared formula's member. Data: A1 2, A2 4.
TEST(XlsbSortSave, EveryTokenReadsAsAFormulaTheEngineComputes) {
  const std::string attrGoto = "\x19\x08" + U16(0);
  struct Case {
    std::string tokens;
    const char* text;
    double number;  // or, for an error, NAN with the error's text as shown
    const char* error;
  } cases[] = {
      {PtgArea(0, 1, 0, 0) + "\x19\x10" + U16(0), "SUM(A1:A2)", 6, ""},
      {PtgRef(0, 0) + PtgInt(2) + PtgOp(0x0B) + "\x19\x02" + U16(4) + PtgInt(10) + attrGoto + PtgInt(20) + attrGoto +
           PtgFuncVar(3, 1),
       "IF(A1=2,10,20)", 10, ""},
      {PtgInt(2) + "\x19\x04" + U16(2) + U16(6) + U16(13) + U16(20) + PtgInt(7) + attrGoto + PtgInt(8) + attrGoto +
           PtgFuncVar(3, 100),
       "CHOOSE(2,7,8)", 8, ""},
      {PtgRef(0, 0) + PtgInt(2) + PtgOp(0x0B) + PtgOp(0x16) + PtgInt(1) + PtgFuncVar(3, 1), "IF(A1=2,,1)", 0, ""},
      {PtgRef(0, 0) + PtgOp(0x14) + PtgOp(0x13), "-A1%", -0.02, ""},
      {PtgArea(0, 1048575, 0, 0) + PtgFuncVar(1, 4), "SUM(A:A)", 6, ""},
      {PtgRef3d(1, 0, 0) + PtgNum(1.5) + PtgOp(0x05), "'Other Sheet'!A1*1.5", 13.5, ""},
      {"\x3C" + U16(1) + U32(0) + U16(0) + PtgInt(1) + PtgOp(0x03), "'Other Sheet'!#REF!+1", NAN, "#REF!"},
      {std::string("\x1C\x2A", 2) + PtgFunc(2), "ISNA(#N/A)", 1, ""},
      {PtgExp(11), "A12*2", 0, ""},  // the shared formula A12*2 written after it
  };
  std::string data = Row(0) + Number(0, 2) + Row(1) + Number(0, 4);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const int row = static_cast<int>(i) + 2;
    data += Row(row) + FormulaNumber(1, 0, cases[i].tokens, cases[i].tokens.rfind("\x01", 0) == 0 ? U32(1) : "");
    if (cases[i].tokens.rfind("\x01", 0) == 0) data += SharedFormula(row, row, 1, 1, PtgRefN(0, -1) + PtgInt(2) + PtgOp(0x05));
  }
  TempDir dir;
  const std::string path = Write(dir, "tokens.xlsb", Package({{"Data", data, "", {}, ""}, {"Other Sheet", Row(0) + Number(0, 9), "", {}, ""}}, {}));
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  host::calc::WorkbookCells cells(book);
  host::calc::Evaluator engine(cells);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const int row = static_cast<int>(i) + 3;
    EXPECT_EQ(book.Worksheets()[0]->Store().Formula(row, 2), c.text);
    const host::calc::Evaluator::Outcome got = engine.Cell(0, row, 2);
    ASSERT_TRUE(got.evaluated) << c.text << ": " << got.why;
    if (*c.error) {
      EXPECT_EQ(host::calc::ErrorText(got.value.error), c.error) << c.text;
    } else {
      EXPECT_DOUBLE_EQ(got.value.number, c.number) << c.text;
    }
  }
  app.Quit();
}

}  // namespace
