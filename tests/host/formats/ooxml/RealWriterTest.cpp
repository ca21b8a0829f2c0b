// Workbooks as real writers make them: streamed zip entries, alternate
// content, CDATA, line ends, UTF-16 parts and formulas that return "".

#include <gtest/gtest.h>
#include <zip.h>

#include "Fixtures.h"
#include "host/core/Application.h"
#include "host/core/Cell.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"

using fixtures::TempDir;

namespace {

std::string CentralExtraField(const std::string& path, const std::string& entry, uint16_t id) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (!archive) return "(no zip)";
  zip_uint16_t length = 0;
  zip_int64_t index = zip_name_locate(archive, entry.c_str(), 0);
  const zip_uint8_t* data =
      index < 0 ? nullptr : zip_file_extra_field_get_by_id(archive, index, id, 0, &length, ZIP_FL_CENTRAL);
  std::string field = data ? std::string(reinterpret_cast<const char*>(data), length) : "(none)";
  zip_discard(archive);
  return field;
}

std::string ArchiveComment(const std::string& path) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (!archive) return "(no zip)";
  int length = 0;
  const char* comment = zip_get_archive_comment(archive, &length, ZIP_FL_ENC_RAW);
  std::string text = comment ? std::string(comment, length) : "";
  zip_discard(archive);
  return text;
}

TEST(RealWriters, StreamedEntriesOpenAndKeepExtraFieldsAndComment) {
  TempDir dir;
  std::string path = dir.File("streamed.xlsx");
  fixtures::WriteStreamedZip(path,
                             fixtures::MinimalWorkbook("<row r=\"1\"><c r=\"A1\"><v>2</v></c></row>"
                                                       "<row r=\"2\"><c r=\"A2\"><v>1</v></c></row>"),
                             "made by a streaming writer");
  auto rawBefore = fixtures::ReadZipRaw(path);
  std::string timeBefore = CentralExtraField(path, "xl/workbook.xml", 0x5455);
  ASSERT_EQ(timeBefore.size(), 5u);
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& sheet = *book.Worksheets()[0];
    EXPECT_EQ(sheet.Cells(1, 1).Text(), "2");
    sheet.Rows(2).SetHidden(true);
    book.Save();
  }
  auto rawAfter = fixtures::ReadZipRaw(path);
  for (const auto& [name, bytes] : rawBefore) {
    if (name != "xl/worksheets/sheet1.xml") {
      EXPECT_EQ(rawAfter[name], bytes) << name;
    }
  }
  EXPECT_EQ(CentralExtraField(path, "xl/workbook.xml", 0x5455), timeBefore);
  EXPECT_EQ(CentralExtraField(path, "xl/worksheets/sheet1.xml", 0x5455), timeBefore);
  EXPECT_EQ(ArchiveComment(path), "made by a streaming writer");
  host::Application again;
  EXPECT_TRUE(again.Workbooks().Open(path).Worksheets()[0]->Rows(2).Hidden());
}

TEST(RealWriters, FormulaReturningEmptyTextIsEmptyText) {
  // What the reference program writes for =IF(B1>0,"","x") and its kin.
  const char* cells[] = {
      "<c r=\"A1\" t=\"str\"><f>IF(B1&gt;0,\"\",\"x\")</f><v/></c>",
      "<c r=\"A1\" t=\"str\"><f>IF(B1&gt;0,\"\",\"x\")</f><v></v></c>",
      "<c r=\"A1\" t=\"str\"><v/></c>",
  };
  for (const char* cell : cells) {
    TempDir dir;
    std::string path = dir.File("empty.xlsx");
    // A long sheet puts the cell far from the start of the part's buffer.
    std::string rows = std::string("<row r=\"1\">") + cell + "<c r=\"B1\"><v>1</v></c></row>";
    for (int r = 2; r < 400; ++r) rows += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) + "\"><v>" +
                                          std::to_string(r) + "</v></c></row>";
    fixtures::WriteZip(path, fixtures::MinimalWorkbook(rows));
    host::Application app;
    host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
    EXPECT_EQ(sheet.Cells(1, 1).Text(), "") << cell;
    EXPECT_EQ(sheet.Cells(1, 1).Value(), "") << cell;
    EXPECT_EQ(sheet.Cells(1, 1).Kind(), host::CellKind::Text) << cell;
    EXPECT_EQ(sheet.Cells(2, 1).Text(), "2") << cell;
  }
}

TEST(RealWriters, CdataAndLineEndsInCellText) {
  TempDir dir;
  std::string path = dir.File("text.xlsx");
  std::string strings =
      "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
      "<si><t><![CDATA[a<b & c]]></t></si>"
      "<si><t>a\r\nb</t></si>"
      "<si><t>a\rb</t></si>"
      "<si><t>a&#13;\nb</t></si>"
      "<si><r><t>x<!-- note -->y</t></r><r><t><![CDATA[\r\nz]]></t></r></si>"
      "</sst>";
  std::string rows =
      "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"inlineStr\"><is><t><![CDATA[1 < 2]]></t></is></c></row>"
      "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>1</v></c><c r=\"B2\" t=\"str\"><f>T(\"x\")</f><v><![CDATA[<x>]]></v></c></row>"
      "<row r=\"3\"><c r=\"A3\" t=\"s\"><v>2</v></c><c r=\"B3\"><v><![CDATA[12.5]]></v></c></row>"
      "<row r=\"4\"><c r=\"A4\" t=\"s\"><v>3</v></c><c r=\"B4\" t=\"inlineStr\"><is><t>p\r\nq</t></is></c></row>"
      "<row r=\"5\"><c r=\"A5\" t=\"s\"><v>4</v></c><c r=\"B5\" t=\"str\"><v>m\rn</v></c></row>";
  fixtures::WriteZip(path, fixtures::MinimalWorkbook(rows, strings));
  host::Application app;
  host::Worksheet& sheet = *app.Workbooks().Open(path).Worksheets()[0];
  const std::pair<std::pair<int, int>, const char*> expected[] = {
      {{1, 1}, "a<b & c"}, {{1, 2}, "1 < 2"}, {{2, 1}, "a\nb"}, {{2, 2}, "<x>"},  {{3, 1}, "a\nb"},
      {{3, 2}, "12.5"},    {{4, 1}, "a\r\nb"}, {{4, 2}, "p\nq"}, {{5, 1}, "xy\nz"}, {{5, 2}, "m\nn"},
  };
  for (const auto& [cell, text] : expected)
    EXPECT_EQ(sheet.Cells(cell.first, cell.second).Text(), text) << cell.first << "," << cell.second;
  EXPECT_EQ(sheet.Cells(3, 2).Kind(), host::CellKind::Number);
}

TEST(RealWriters, AlternateContentTakesTheBranchTheHostUnderstands) {
  TempDir dir;
  std::string path = dir.File("alternates.xlsx");
  const std::string mc = "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\"";
  const std::string x14 = "xmlns:x14=\"http://schemas.microsoft.com/office/spreadsheetml/2009/9/main\"";
  std::string styles =
      "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" " + mc + " " + x14 +
      " xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
      "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"0.000\"/></numFmts><cellXfs count=\"3\"><xf/>"
      "<mc:AlternateContent><mc:Choice Requires=\"x14\"><xf numFmtId=\"14\"/></mc:Choice>"
      "<mc:Fallback><xf numFmtId=\"164\"/></mc:Fallback></mc:AlternateContent>"
      "<mc:AlternateContent><mc:Choice Requires=\"x\"><xf numFmtId=\"10\"/></mc:Choice>"
      "<mc:Fallback><xf numFmtId=\"164\"/></mc:Fallback></mc:AlternateContent></cellXfs></styleSheet>";
  std::string rows =
      "<row r=\"1\"><c r=\"A1\"><v>3</v></c><c r=\"B1\" s=\"1\"><v>1.5</v></c><c r=\"C1\" s=\"2\"><v>1.5</v></c></row>"
      "<mc:AlternateContent " + mc + "><mc:Choice " + x14 + " Requires=\"x14\"><row r=\"2\"><c r=\"A2\"><v>99</v></c></row>"
      "</mc:Choice><mc:Fallback><row r=\"2\"><c r=\"A2\"><v>1</v></c></row></mc:Fallback></mc:AlternateContent>"
      "<row r=\"3\"><mc:AlternateContent " + mc + "><mc:Choice " + x14 + " Requires=\"x14\"><c r=\"A3\"><v>98</v></c>"
      "</mc:Choice><mc:Fallback><c r=\"A3\"><v>2</v></c></mc:Fallback></mc:AlternateContent></row>";
  fixtures::WriteZip(path, fixtures::MinimalWorkbook(rows, "", styles));
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& sheet = *book.Worksheets()[0];
    EXPECT_EQ(sheet.Cells(1, 2).Text(), "1.500");   // the Fallback: x14 is not understood
    EXPECT_EQ(sheet.Cells(1, 3).Text(), "150.00%");  // the Choice: its namespace is understood
    EXPECT_EQ(sheet.Cells(2, 1).Text(), "1");
    EXPECT_EQ(sheet.Cells(3, 1).Text(), "2");
    sheet.GetRange("A1:A3").Sort(host::Cells(1, 1));
    book.Save();
  }
  std::string saved = fixtures::ReadZip(path)["xl/worksheets/sheet1.xml"];
  EXPECT_EQ(saved.find("AlternateContent"), std::string::npos);
  EXPECT_EQ(saved.find("99"), std::string::npos);
  host::Application again;
  host::Worksheet& sheet = *again.Workbooks().Open(path).Worksheets()[0];
  for (int r = 1; r <= 3; ++r) EXPECT_EQ(sheet.Cells(r, 1).Text(), std::to_string(r));
}

// UTF-16 with a byte-order mark, from UTF-8 text (BMP characters only).
std::string Utf16(const std::string& utf8, bool littleEndian) {
  std::string out = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = utf8[i];
    unsigned cp = c;
    int extra = c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra) cp = c & (extra == 2 ? 0x0F : 0x1F);
    for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += 1 + extra;
    char hi = static_cast<char>(cp >> 8), lo = static_cast<char>(cp & 0xFF);
    out += littleEndian ? std::string{lo, hi} : std::string{hi, lo};
  }
  return out;
}

TEST(RealWriters, Utf16PartsAreReadAndSavedAsUtf8) {
  TempDir dir;
  std::string path = dir.File("utf16.xlsx");
  auto parts = fixtures::MinimalWorkbook(
      "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row><row r=\"2\"><c r=\"A2\"><v>2</v></c></row>",
      "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><si><t>caf\xC3\xA9</t></si></sst>");
  for (auto& [name, xml] : parts) {
    if (name == "xl/worksheets/sheet1.xml" || name == "xl/sharedStrings.xml" || name == "xl/workbook.xml") {
      std::string declared = xml;
      size_t at = declared.find("encoding=\"UTF-8\"");
      if (at != std::string::npos) declared.replace(at, 16, "encoding=\"UTF-16\"");
      else declared = "<?xml version=\"1.0\" encoding=\"UTF-16\" standalone=\"yes\"?>\r\n" + declared;
      xml = Utf16(declared, name != "xl/workbook.xml");
    }
  }
  fixtures::WriteZip(path, parts);
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    host::Worksheet& sheet = *book.Worksheets()[0];
    EXPECT_EQ(sheet.Name(), "Sheet1");
    EXPECT_EQ(sheet.Cells(1, 1).Text(), "caf\xC3\xA9");
    sheet.Rows(2).SetHidden(true);
    book.Save();
  }
  std::string saved = fixtures::ReadZip(path)["xl/worksheets/sheet1.xml"];
  EXPECT_EQ(saved.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>", 0), 0u) << saved.substr(0, 80);
  host::Application again;
  host::Worksheet& sheet = *again.Workbooks().Open(path).Worksheets()[0];
  EXPECT_TRUE(sheet.Rows(2).Hidden());
  EXPECT_EQ(sheet.Cells(2, 1).Text(), "2");
}

}  // namespace
