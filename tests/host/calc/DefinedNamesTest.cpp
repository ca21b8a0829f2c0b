// Formulas that use defined names are computed from what the workbook's
// names stand for: a name local to a sheet comes before the workbook's own
// of the same name, a name can stand for a range or a constant, and a name
// the workbook does not define gives #NAME?. One table, over .xlsx
// (libxlsxwriter), .xls and .ods (LibreOffice's exports of that workbook)
// and .xlsb (records written by hand).

#include <gtest/gtest.h>

#include <xlsxwriter.h>

#include <filesystem>
#include <functional>

#include "Fixtures.h"
#include "formats/biff/XlsFixtures.h"
#include "formats/odf/OdsFixtures.h"
#include "formats/xlsb/XlsbFixtures.h"
#include "host/core/Application.h"
#include "host/core/Workbook.h"
#include "host/core/calc/Evaluator.h"
#include "host/core/calc/WorkbookCells.h"

using fixtures::TempDir;

namespace {

// "Data": A1:A3 10, 20, 30; "Report". Names: Amounts (Data!$A$1:$A$3) and
// Rate (2) for the workbook, Rate (0.5) local to Report.
struct Case {
  int sheet, row, column;
  const char* formula;
  double number;       // the expected result when it is a number
  const char* error;   // or the expected error
  bool inXlsb;         // the hand-written .xlsb holds the constants only
};

const Case kCases[] = {
    {0, 1, 2, "SUM(Amounts)", 60, nullptr, false},
    {0, 2, 2, "Rate*3", 6, nullptr, true},               // the workbook's Rate
    {1, 1, 1, "Rate*3", 1.5, nullptr, true},             // Report's own Rate
    {1, 2, 1, "INDEX(Amounts,2)", 20, nullptr, false},
    {1, 3, 1, "Undefined+1", 0, "#NAME?", false},
};

std::string NamesXlsx(const TempDir& dir) {
  const std::string path = dir.File("names.xlsx");
  lxw_workbook* wb = workbook_new(path.c_str());
  lxw_worksheet* sheets[] = {workbook_add_worksheet(wb, "Data"), workbook_add_worksheet(wb, "Report")};
  for (int r = 0; r < 3; ++r) worksheet_write_number(sheets[0], r, 0, 10.0 * (r + 1), nullptr);
  workbook_define_name(wb, "Amounts", "=Data!$A$1:$A$3");
  workbook_define_name(wb, "Rate", "=2");
  workbook_define_name(wb, "Report!Rate", "=0.5");
  for (const Case& c : kCases)
    if (!c.error)  // LibreOffice would not keep a formula with an unknown name
      worksheet_write_formula(sheets[c.sheet], c.row - 1, c.column - 1, (std::string("=") + c.formula).c_str(), nullptr);
  EXPECT_EQ(workbook_close(wb), LXW_NO_ERROR);
  return path;
}

std::string NamesXls(const TempDir& dir) {
  const std::string bytes = xlsfixtures::ConvertedCached(NamesXlsx, "xls");
  if (bytes.empty()) return {};
  fixtures::WriteFile(dir.File("names.xls"), bytes);
  return dir.File("names.xls");
}

// The same workbook as LibreOffice saves it as .ods: named ranges and
// expressions of the document and of Report's table.
std::string NamesOds(const TempDir& dir) {
  if (!fixtures::HaveSoffice()) return {};
  std::filesystem::create_directories(dir.File("ods"));
  return odsfixtures::SofficeConvert(NamesXlsx(dir), "ods", dir, dir.File("ods"));
}

// The binary workbook: Rate as a number token, the formulas Rate*3 as
// PtgName PtgInt PtgMul, and BrtName records after the sheets' entries.
std::string NamesXlsb(const TempDir& dir) {
  using namespace xlsbfixtures;
  const std::string rateTimes3 = std::string("\x23", 1) + U32(1) + std::string("\x1E\x03\x00\x05", 4);
  const std::string rateTimes3Local = std::string("\x23", 1) + U32(2) + std::string("\x1E\x03\x00\x05", 4);
  std::string data, report;
  for (int r = 0; r < 3; ++r) {
    data += Row(r) + Number(0, 10.0 * (r + 1));
    if (r == 1) data += FormulaNumber(1, 0, rateTimes3);
  }
  report = Row(0) + FormulaNumber(0, 0, rateTimes3Local);
  auto parts = Package({{"Data", data, "", {}, ""}, {"Report", report, "", {}, ""}}, {});
  auto name = [](uint32_t scope, const std::string& text, double value) {
    const std::string rgce = PtgNum(value);
    return Record(39, U32(0) + std::string(1, '\0') + U32(scope) + Wide(text) + U32(static_cast<uint32_t>(rgce.size())) +
                          rgce + U32(0));
  };
  for (auto& [part, bytes] : parts)
    if (part == "xl/workbook.bin") bytes += name(0xFFFFFFFFu, "Rate", 2) + name(1, "Rate", 0.5);
  return Write(dir, "names.xlsb", parts);
}

struct Writer {
  const char* name;
  std::function<std::string(const TempDir&)> write;
};

TEST(DefinedNames, FormulasUseWhatTheNamesStandFor) {
  const Writer writers[] = {{"xlsx", NamesXlsx}, {"xls", NamesXls}, {"xlsb", NamesXlsb}, {"ods", NamesOds}};
  for (const Writer& writer : writers) {
    TempDir dir;
    const std::string path = writer.write(dir);
    if (path.empty()) {
      ADD_FAILURE() << writer.name << ": no fixture (LibreOffice missing?)";
      continue;
    }
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::calc::WorkbookCells cells(book);
    host::calc::Evaluator engine(cells);
    const bool xlsb = std::string(writer.name) == "xlsb";
    for (const Case& c : kCases) {
      if (xlsb && !c.inXlsb) continue;
      const std::string where = std::string(writer.name) + " " + c.formula;
      // The formula as stored in the cell, or as text where the file has none.
      host::calc::Evaluator::Outcome outcome =
          c.error ? engine.Formula(c.formula, c.sheet, c.row, c.column) : engine.Cell(c.sheet, c.row, c.column);
      ASSERT_TRUE(outcome.evaluated) << where << ": " << outcome.why;
      if (c.error) {
        ASSERT_EQ(outcome.value.type, host::calc::Value::Type::Error) << where;
        EXPECT_EQ(host::calc::ErrorText(outcome.value.error), c.error) << where;
      } else {
        EXPECT_EQ(outcome.value.type, host::calc::Value::Type::Number) << where;
        EXPECT_DOUBLE_EQ(outcome.value.number, c.number) << where;
      }
    }
    app.Quit();
  }
}

}  // namespace
