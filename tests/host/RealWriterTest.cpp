// Workbooks as real writers make them: streamed zip entries, alternate
// content, CDATA, line ends, UTF-16 parts and formulas that return "".

#include <gtest/gtest.h>
#include <zip.h>

#include "Fixtures.h"
#include "host/Application.h"
#include "host/Cell.h"
#include "host/Workbook.h"
#include "host/Worksheet.h"

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

}  // namespace
