// Hiding rows and saving: only the changed part is written anew, every other
// entry keeps its bytes, the file is replaced atomically and keeps its mode.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <xlsxwriter.h>

#include "Fixtures.h"
#include "host/core/Application.h"
#include "host/core/HostError.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"

using fixtures::TempDir;

namespace {

// A workbook with formats, merged cells, a hidden row, an image, a comment
// and a chart sheet: much for a save to lose.
std::string WriteRichWorkbook(const TempDir& dir) {
  std::string png = dir.File("dot.png");
  fixtures::WriteFile(png, fixtures::TinyPng());
  std::string path = dir.File("rich.xlsx");
  lxw_workbook* wb = workbook_new(path.c_str());
  lxw_worksheet* ws = workbook_add_worksheet(wb, "Main");
  lxw_format* money = workbook_add_format(wb);
  format_set_num_format(money, "$#,##0.00");
  for (int r = 0; r < 10; ++r) {
    worksheet_write_string(ws, r, 0, (r % 2) ? "odd" : "even", nullptr);
    worksheet_write_number(ws, r, 1, r * 1.5, money);
  }
  worksheet_merge_range(ws, 12, 0, 12, 2, "merged", nullptr);
  lxw_row_col_options hidden = {1, 0, 0};
  worksheet_set_row_opt(ws, 4, 20, nullptr, &hidden);
  worksheet_insert_image(ws, 2, 4, png.c_str());
  worksheet_write_comment(ws, 0, 0, "a note");
  lxw_chartsheet* cs = workbook_add_chartsheet(wb, "Plot");
  lxw_chart* chart = workbook_add_chart(wb, LXW_CHART_LINE);
  chart_add_series(chart, nullptr, "=Main!$B$1:$B$10");
  chartsheet_set_chart(cs, chart);
  EXPECT_EQ(workbook_close(wb), LXW_NO_ERROR);
  return path;
}

TEST(HideAndSave, HiddenRowsSurviveAndOtherPartsKeepTheirBytes) {
  TempDir dir;
  std::string path = WriteRichWorkbook(dir);
  auto rawBefore = fixtures::ReadZipRaw(path);
  auto before = fixtures::ReadZip(path);
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& sheet = *book.Worksheets()[0];
    EXPECT_TRUE(sheet.Rows(5).Hidden());  // hidden by the writer
    EXPECT_FALSE(sheet.Rows(2).Hidden());
    sheet.Rows(2).SetHidden(true);
    sheet.Rows(12).SetHidden(true);   // a row the sheet has no element for
    sheet.Rows(500).SetHidden(true);  // far below the data
    EXPECT_TRUE(sheet.Rows(2).Hidden());
    EXPECT_TRUE(sheet.RowHidden(12));
    book.Save();
    app.Quit();
  }
  auto rawAfter = fixtures::ReadZipRaw(path);
  auto after = fixtures::ReadZip(path);
  ASSERT_EQ(rawAfter.size(), rawBefore.size());
  for (const auto& [name, bytes] : rawBefore) {
    ASSERT_TRUE(rawAfter.count(name)) << name;
    if (name == "xl/worksheets/sheet1.xml") continue;
    EXPECT_EQ(rawAfter[name], bytes) << name << " changed";
  }
  // In the sheet only the hidden flags differ.
  std::string sheetBefore = before["xl/worksheets/sheet1.xml"];
  std::string sheetAfter = after["xl/worksheets/sheet1.xml"];
  EXPECT_NE(sheetAfter.find("<row r=\"12\" hidden=\"1\"/>"), std::string::npos);
  EXPECT_NE(sheetAfter.find("<row r=\"500\" hidden=\"1\"/>"), std::string::npos);
  std::string expected = sheetBefore;
  size_t row2 = expected.find("<row r=\"2\"");
  ASSERT_NE(row2, std::string::npos);
  size_t close = expected.find('>', row2);
  expected.insert(close, " hidden=\"1\"");
  size_t row13 = expected.find("<row r=\"13\"");
  expected.insert(row13, "<row r=\"12\" hidden=\"1\"/>");
  size_t end = expected.find("</sheetData>");
  expected.insert(end, "<row r=\"500\" hidden=\"1\"/>");
  EXPECT_EQ(sheetAfter, expected);

  host::Application again;
  host::Worksheet& sheet = *again.Workbooks().Open(path).Worksheets()[0];
  EXPECT_TRUE(sheet.Rows(2).Hidden());
  EXPECT_TRUE(sheet.Rows(5).Hidden());
  EXPECT_TRUE(sheet.Rows(12).Hidden());
  EXPECT_TRUE(sheet.Rows(500).Hidden());
  EXPECT_FALSE(sheet.Rows(3).Hidden());
  EXPECT_EQ(sheet.Cells(2, 2).Text(), "$1.50");
  EXPECT_EQ(sheet.Cells(13, 1).Text(), "merged");
}

TEST(HideAndSave, EveryValueReadsTheSameAfterASave) {
  TempDir dir;
  std::string path = fixtures::WriteMixedWorkbook(dir);
  auto snapshot = [](host::Workbook& book) {
    std::vector<std::string> texts;
    for (host::Worksheet* sheet : book.Worksheets())
      for (int r = 1; r <= 10; ++r)
        for (int c = 1; c <= 7; ++c)
          texts.push_back(sheet->Cells(r, c).Text() + "|" + sheet->Cells(r, c).Formula() + "|" + sheet->Cells(r, c).FormatCode());
    return texts;
  };
  std::vector<std::string> before;
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    before = snapshot(book);
    book.Worksheets()[0]->Rows(3).SetHidden(true);
    book.Worksheets()[1]->Rows(1).SetHidden(true);
    book.Save();
  }
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  EXPECT_EQ(snapshot(book), before);
  EXPECT_TRUE(book.Worksheets()[1]->Rows(1).Hidden());
  EXPECT_EQ(book.SheetCount(), 3);
}

TEST(HideAndSave, ShowingARowAgainAndHidingTwiceChangeNothingElse) {
  TempDir dir;
  std::string path = fixtures::WriteKeyColumn(dir, "k.xlsx", {"a", "b", "c"});
  std::string original = fixtures::ReadZip(path)["xl/worksheets/sheet1.xml"];
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  host::Worksheet& sheet = *book.Worksheets()[0];
  sheet.Rows(1).SetHidden(true);
  sheet.Rows(1).SetHidden(true);
  sheet.Rows(1).SetHidden(false);
  sheet.Rows(7).SetHidden(true);
  sheet.Rows(7).SetHidden(false);
  book.Save();
  EXPECT_EQ(fixtures::ReadZip(path)["xl/worksheets/sheet1.xml"], original);
}

TEST(HideAndSave, RangeRowsHideSheetRows) {
  TempDir dir;
  std::string path = fixtures::WriteKeyColumn(dir, "k.xlsx", {"a", "b", "c", "d"});
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  host::Worksheet& sheet = *book.Worksheets()[0];
  host::Range block = sheet.GetRange("B2:C4");
  block.Rows()(2).SetHidden(true);
  EXPECT_EQ(block.Rows()(2).Row(), 3);
  EXPECT_TRUE(sheet.Rows(3).Hidden());
  EXPECT_FALSE(sheet.Rows(2).Hidden());
  EXPECT_THROW(block.Rows()(4), host::HostError);
}

TEST(HideAndSave, ReadOnlyFileFailsAndStaysUntouched) {
  TempDir dir;
  std::string path = fixtures::WriteKeyColumn(dir, "k.xlsx", {"b", "a"});
  std::string bytes = fixtures::ReadFile(path);
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  book.Worksheets()[0]->Rows(1).SetHidden(true);
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  try {
    book.Save();
    FAIL() << "saving a read-only file succeeded";
  } catch (const host::HostError& error) {
    EXPECT_NE(std::string(error.what()).find("read-only"), std::string::npos) << error.what();
    EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
  }
  EXPECT_EQ(fixtures::ReadFile(path), bytes);
  app.Quit();
  // Nothing is left behind in the folder.
  int files = 0;
  for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(dir.Path())) ++files;
  EXPECT_EQ(files, 1);
}

TEST(HideAndSave, SaveKeepsTheFileModeAndSavesTwice) {
  TempDir dir;
  std::string path = fixtures::WriteKeyColumn(dir, "k.xlsx", {"b", "a"});
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  book.Worksheets()[0]->Rows(1).SetHidden(true);
  book.Save();
  book.Worksheets()[0]->Rows(2).SetHidden(true);
  book.Save();
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  host::Application again;
  host::Worksheet& sheet = *again.Workbooks().Open(path).Worksheets()[0];
  EXPECT_TRUE(sheet.Rows(1).Hidden());
  EXPECT_TRUE(sheet.Rows(2).Hidden());
}

TEST(HideAndSave, UnchangedWorkbookSavesEveryEntryAsItWas) {
  TempDir dir;
  std::string path = fixtures::WriteMixedWorkbook(dir);
  auto rawBefore = fixtures::ReadZipRaw(path);
  host::Application app;
  app.Workbooks().Open(path).Save();
  EXPECT_EQ(fixtures::ReadZipRaw(path), rawBefore);
}

TEST(HideAndSave, MacroWorkbooksAndTemplatesKeepTheirFormat) {
  TempDir dir;
  struct Kind {
    const char* name;
    const char* contentType;
  };
  const Kind kinds[] = {
      {"macros.xlsm", "application/vnd.ms-excel.sheet.macroEnabled.main+xml"},
      {"template.xltx", "application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml"},
      {"macro-template.xltm", "application/vnd.ms-excel.template.macroEnabled.main+xml"},
  };
  std::string vba = std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(3000, '\x07');
  for (const Kind& kind : kinds) {
    auto parts = fixtures::MinimalWorkbook("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>");
    for (auto& [name, xml] : parts) {
      if (name == "[Content_Types].xml") {
        xml.replace(xml.find("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"), 74, kind.contentType);
        xml.insert(xml.find("</Types>"), "<Default Extension=\"bin\" ContentType=\"application/vnd.ms-office.vbaProject\"/>");
      }
      if (name == "xl/_rels/workbook.xml.rels")
        xml.insert(xml.find("</Relationships>"),
                   "<Relationship Id=\"rId7\" Type=\"http://schemas.microsoft.com/office/2006/relationships/vbaProject\" "
                   "Target=\"vbaProject.bin\"/>");
    }
    parts.emplace_back("xl/vbaProject.bin", vba);
    parts.emplace_back("customXml/item1.xml", "<unknown xmlns=\"urn:x\"><kept/></unknown>");
    std::string path = dir.File(kind.name);
    fixtures::WriteZip(path, parts);
    auto before = fixtures::ReadZipRaw(path);
    {
      host::Application app;
      host::Workbook& book = app.Workbooks().Open(path);
      book.Worksheets()[0]->Rows(1).SetHidden(true);
      book.Save();
    }
    auto after = fixtures::ReadZipRaw(path);
    EXPECT_EQ(after["xl/vbaProject.bin"], before["xl/vbaProject.bin"]) << kind.name;
    EXPECT_EQ(after["[Content_Types].xml"], before["[Content_Types].xml"]) << kind.name;
    EXPECT_EQ(after["customXml/item1.xml"], before["customXml/item1.xml"]) << kind.name;
    EXPECT_EQ(fixtures::ReadZip(path)["xl/vbaProject.bin"], vba);
    host::Application app;
    EXPECT_TRUE(app.Workbooks().Open(path).Worksheets()[0]->Rows(1).Hidden()) << kind.name;
  }
}

TEST(HideAndSave, HidingInAnEmptySheetMakesSheetData) {
  TempDir dir;
  std::string path = dir.File("empty.xlsx");
  auto parts = fixtures::MinimalWorkbook("");
  for (auto& [name, xml] : parts)
    if (name == "xl/worksheets/sheet1.xml") xml.replace(xml.find("<sheetData></sheetData>"), 23, "<sheetData/>");
  fixtures::WriteZip(path, parts);
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    book.Worksheets()[0]->Rows(3).SetHidden(true);
    book.Save();
  }
  std::string xml = fixtures::ReadZip(path)["xl/worksheets/sheet1.xml"];
  EXPECT_NE(xml.find("<sheetData><row r=\"3\" hidden=\"1\"/></sheetData>"), std::string::npos) << xml;
  host::Application app;
  EXPECT_TRUE(app.Workbooks().Open(path).Worksheets()[0]->Rows(3).Hidden());
}

}  // namespace

TEST(HideAndSave, TheSameChangeGivesTheSameBytesWhenSavedLater) {
  TempDir dir;
  const std::string first = WriteRichWorkbook(dir);
  const std::string second = dir.File("again.xlsx");
  std::filesystem::copy_file(first, second);
  auto hideAndSave = [](const std::string& path) {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    book.Worksheets()[0]->Rows(3).SetHidden(true);
    book.Save();
    app.Quit();
  };
  hideAndSave(first);
  // Zip entry times have a two-second grain: save the copy in a later slot.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  hideAndSave(second);
  EXPECT_EQ(fixtures::ReadFile(first), fixtures::ReadFile(second));
}
