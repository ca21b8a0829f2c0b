// Files saved by the engine, read back by an independent spreadsheet program
// (LibreOffice, headless): it must open them and see what the engine did.

#include <gtest/gtest.h>

#include "Fixtures.h"
#include "host/core/Application.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"

using fixtures::TempDir;

namespace {

TEST(Interop, LibreOfficeReadsASortedWorkbook) {
  if (!fixtures::HaveSoffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; interop not checked";
  TempDir dir;
  std::string path = fixtures::WriteKeyColumn(dir, "sorted.xlsx", {"pear", "10", "apple", "", "Banana", "2", "TRUE"});
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    book.Worksheets()[0]->GetRange("A1:B7").Sort(host::Cells(1, 1));
    book.Save();
  }
  std::vector<std::string> lines = fixtures::SofficeCsv(path, dir);
  ASSERT_EQ(lines.size(), 7u) << "soffice could not convert the saved workbook";
  EXPECT_EQ(lines, (std::vector<std::string>{"2,6", "10,2", "apple,3", "Banana,5", "pear,1", "TRUE,7", ",4"}));
}

TEST(Interop, LibreOfficeReadsMovedFormulasAndHiddenRows) {
  if (!fixtures::HaveSoffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; interop not checked";
  TempDir dir;
  std::string rows =
      "<row r=\"1\"><c r=\"A1\"><v>3</v></c><c r=\"B1\"><f>A1*2</f><v>6</v></c></row>"
      "<row r=\"2\"><c r=\"A2\"><v>1</v></c><c r=\"B2\"><f t=\"shared\" ref=\"B2:B3\" si=\"0\">A2*10</f><v>10</v></c></row>"
      "<row r=\"3\"><c r=\"A3\"><v>2</v></c><c r=\"B3\"><f t=\"shared\" si=\"0\"/><v>20</v></c></row>";
  std::string path = dir.File("formulas.xlsx");
  fixtures::WriteZip(path, fixtures::MinimalWorkbook(rows));
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& sheet = *book.Worksheets()[0];
    sheet.UsedRange().Sort(host::Cells(1, 1));
    sheet.Rows(2).SetHidden(true);
    sheet.Rows(9).SetHidden(true);
    book.Save();
  }
  std::vector<std::string> lines = fixtures::SofficeCsv(path, dir);
  ASSERT_GE(lines.size(), 3u) << "soffice could not convert the saved workbook";
  // Recalculated on load: each formula refers to its own row after the move.
  EXPECT_EQ(lines[0], "1,10");
  EXPECT_EQ(lines[1], "2,20");
  EXPECT_EQ(lines[2], "3,6");
}

TEST(Interop, LibreOfficeReadsARichWorkbookAfterHiding) {
  if (!fixtures::HaveSoffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; interop not checked";
  TempDir dir;
  std::string path = fixtures::WriteMixedWorkbook(dir);
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& sheet = *book.Worksheets()[0];
    for (int r = 1; r <= 7; ++r)
      if (sheet.Cells(r, 1).Text().find('a') == std::string::npos) sheet.Rows(r).SetHidden(true);
    sheet.GetRange("A2:D6").Sort(host::Cells(1, 1));
    book.Save();
  }
  std::vector<std::string> lines = fixtures::SofficeCsv(path, dir);
  ASSERT_GE(lines.size(), 6u) << "soffice could not convert the saved workbook";
  // "Apple" and "fig" were hidden: they keep rows 3 and 4; the visible rows
  // 2, 5 and 6 are sorted among themselves.
  EXPECT_EQ(lines[0].substr(0, 4), "Name");
  EXPECT_EQ(lines[1].substr(0, 6), "apple,");
  EXPECT_EQ(lines[2].substr(0, 6), "Apple,");
  EXPECT_EQ(lines[3].substr(0, 4), "fig,");
  EXPECT_EQ(lines[4].substr(0, 7), "banana,");
  EXPECT_EQ(lines[5].substr(0, 5), "pear,");
}

TEST(Interop, LibreOfficeReadsASortedStreamedUtf16Workbook) {
  if (!fixtures::HaveSoffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; interop not checked";
  TempDir dir;
  std::string path = dir.File("streamed.xlsx");
  // A streaming writer's package, its sheet in UTF-16 and CR LF inside a text.
  auto parts = fixtures::MinimalWorkbook(
      "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>pear</t></is></c></row>"
      "<row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t><![CDATA[apple]]></t></is></c></row>");
  for (auto& [name, xml] : parts)
    if (name == "xl/worksheets/sheet1.xml") {
      std::string utf16 = "\xFF\xFE";
      for (char c : xml) utf16 += std::string{c, '\0'};
      xml = utf16;
    }
  fixtures::WriteStreamedZip(path, parts, "streamed");
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    book.Worksheets()[0]->GetRange("A1:A2").Sort(host::Cells(1, 1));
    book.Save();
  }
  EXPECT_EQ(fixtures::SofficeCsv(path, dir), (std::vector<std::string>{"apple", "pear"}));
}

}  // namespace
