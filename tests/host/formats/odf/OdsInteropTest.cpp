// Reading what LibreOffice writes: a workbook made with libxlsxwriter is
// converted to .ods by LibreOffice headless (its own profile in a temporary
// folder) and read back.
#include <gtest/gtest.h>
#include <xlsxwriter.h>

#include <cstdlib>

#include "host/Fixtures.h"
#include "host/formats/odf/OdsDocument.h"

using host::CellArea;
using host::odf::OdsDocument;
using host::odf::OdsKind;

namespace {

// Sheets "Data" (values, a merged area, a hidden row, a two-line text) and
// "Other" (data at C3:D4 only).
std::string WriteSource(const fixtures::TempDir& dir) {
  std::string path = dir.File("source.xlsx");
  lxw_workbook* wb = workbook_new(path.c_str());
  lxw_worksheet* data = workbook_add_worksheet(wb, "Data");
  lxw_worksheet* other = workbook_add_worksheet(wb, "Other");
  lxw_format* percent = workbook_add_format(wb);
  format_set_num_format(percent, "0%");
  lxw_format* wrap = workbook_add_format(wb);
  format_set_text_wrap(wrap);
  worksheet_write_string(data, 0, 0, "name", nullptr);
  worksheet_write_string(data, 0, 1, "share", nullptr);
  worksheet_write_string(data, 1, 0, "b", nullptr);
  worksheet_write_number(data, 1, 1, 0.25, percent);
  worksheet_write_string(data, 2, 0, "two\nlines", wrap);
  worksheet_write_boolean(data, 2, 1, 1, nullptr);
  lxw_row_col_options hidden = {.hidden = 1, .level = 0, .collapsed = 0};
  worksheet_set_row_opt(data, 3, LXW_DEF_ROW_HEIGHT, nullptr, &hidden);
  worksheet_write_number(data, 3, 0, 42, nullptr);
  worksheet_merge_range(data, 5, 0, 6, 2, "merged", nullptr);
  worksheet_write_number(other, 2, 2, 1, nullptr);
  worksheet_write_string(other, 3, 3, "x", nullptr);
  EXPECT_EQ(workbook_close(wb), LXW_NO_ERROR);
  return path;
}

}  // namespace

TEST(OdsInterop, ReadsWhatLibreOfficeWrites) {
  if (!fixtures::HaveSoffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  fixtures::TempDir dir;
  std::string source = WriteSource(dir);
  std::string command = "cd '" + dir.Path() + "' && timeout 180 soffice -env:UserInstallation=file://" + dir.Path() +
                        "/profile --headless --convert-to ods --outdir '" + dir.Path() + "' '" + source +
                        "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);

  OdsDocument doc(dir.File("source.ods"));
  ASSERT_EQ(doc.SheetCount(), 2);
  EXPECT_EQ(doc.Sheet(1).Name(), "Data");
  EXPECT_EQ(doc.Sheet(2).Name(), "Other");
  // A headless conversion writes no view settings: the first sheet is active.
  EXPECT_EQ(doc.ActiveSheet(), 1);

  auto& s = doc.Sheet(1);
  EXPECT_EQ(s.Text(1, 1), "name");
  EXPECT_EQ(s.Text(2, 2), "25%");
  EXPECT_EQ(s.Value(2, 2).kind, OdsKind::Percentage);
  EXPECT_DOUBLE_EQ(s.Value(2, 2).number, 0.25);
  EXPECT_EQ(s.Text(3, 1), "two\nlines");
  EXPECT_EQ(s.Text(3, 2), "TRUE");  // stored as a number with a boolean style
  EXPECT_EQ(s.Text(4, 1), "42");
  EXPECT_TRUE(s.IsRowHidden(4));
  EXPECT_FALSE(s.IsRowHidden(3));
  EXPECT_EQ(s.Text(6, 1), "merged");
  EXPECT_EQ(s.MergedAreas(), (std::vector<CellArea>{{6, 1, 7, 3}}));
  EXPECT_EQ(s.UsedRange(), (CellArea{1, 1, 6, 2}));
  EXPECT_EQ(doc.Sheet(2).UsedRange(), (CellArea{3, 3, 4, 4}));
}
