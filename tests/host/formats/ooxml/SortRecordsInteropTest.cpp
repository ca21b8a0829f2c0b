// A sorted workbook with a table, notes, hyperlinks and a hidden row, read
// back by an independent program (LibreOffice, headless): every note and
// link must sit on the record it belonged to.

#include <gtest/gtest.h>
#include <xlsxwriter.h>

#include <cstdlib>
#include <map>
#include <regex>

#include "Fixtures.h"
#include "host/core/Application.h"
#include "host/core/CellAddress.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"

using fixtures::TempDir;

namespace {

// LibreOffice's own .xlsx of the workbook, written to a folder of its own.
std::string SofficeResave(const std::string& workbook, const TempDir& work) {
  std::string profile = "file://" + work.Path() + "/profile";
  std::string command = "cd '" + work.Path() + "' && timeout 180 soffice -env:UserInstallation=" + profile +
                        " --headless --convert-to xlsx --outdir '" + work.Path() + "/resaved' '" + workbook +
                        "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return "";
  return work.Path() + "/resaved/" + workbook.substr(workbook.rfind('/') + 1);
}

std::vector<std::smatch> Matches(const std::string& text, const std::string& pattern) {
  std::regex re(pattern);
  return {std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator()};
}

TEST(SortRecordsInterop, LibreOfficeSeesEachNoteAndLinkOnItsRecord) {
  if (!fixtures::HaveSoffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; interop not checked";
  TempDir dir;
  std::string path = dir.File("people.xlsx");
  const std::vector<std::string> names = {"carol", "alice", "dave", "bob", "erin"};
  {
    lxw_workbook* wb = workbook_new(path.c_str());
    lxw_worksheet* ws = workbook_add_worksheet(wb, "People");
    char nameHeader[] = "Name", cityHeader[] = "City", tableName[] = "People";
    lxw_table_column name = {}, city = {};
    name.header = nameHeader;
    city.header = cityHeader;
    lxw_table_column* columns[] = {&name, &city, nullptr};
    lxw_table_options options = {};
    options.name = tableName;
    options.columns = columns;
    worksheet_add_table(ws, 0, 0, static_cast<lxw_row_t>(names.size()), 1, &options);
    for (size_t i = 0; i < names.size(); ++i) {
      lxw_row_t row = static_cast<lxw_row_t>(i + 1);
      std::string url = "https://" + names[i] + ".example/";
      worksheet_write_url_opt(ws, row, 0, url.c_str(), nullptr, names[i].c_str(), nullptr);
      worksheet_write_string(ws, row, 1, ("city of " + names[i]).c_str(), nullptr);
      worksheet_write_comment(ws, row, 1, ("note on " + names[i]).c_str());
    }
    lxw_row_col_options hidden = {1, 0, 0};
    worksheet_set_row_opt(ws, 3, LXW_DEF_ROW_HEIGHT, nullptr, &hidden);  // dave
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
  }
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(path);
    book.Worksheets()[0]->UsedRange().Sort(host::Cells(1, 1));
    book.Save();
  }
  std::string resaved = SofficeResave(path, dir);
  ASSERT_FALSE(resaved.empty()) << "soffice could not convert the sorted workbook";
  auto parts = fixtures::ReadZip(resaved);
  host::Application app;
  host::Worksheet& sheet = *app.Workbooks().Open(resaved).Worksheets()[0];
  // The header stays, dave stays hidden in row 4, the others sort around him.
  std::vector<std::string> column;
  for (int r = 1; r <= 6; ++r) column.push_back(sheet.Cells(r, 1).Text());
  EXPECT_EQ(column, (std::vector<std::string>{"Name", "alice", "bob", "dave", "carol", "erin"}));
  EXPECT_TRUE(sheet.RowHidden(4));

  std::string comments;
  for (const auto& [name, bytes] : parts)
    if (name.find("comments") != std::string::npos && name.find("_rels") == std::string::npos) comments += bytes;
  auto notes = Matches(comments, "<comment ref=\"([A-Z]+[0-9]+)\"[\\s\\S]*?note on ([a-z]+)");
  ASSERT_EQ(notes.size(), names.size()) << comments;
  for (const auto& note : notes) {
    int row = 0, col = 0;
    ASSERT_TRUE(host::ParseCellReference(note[1].str(), row, col));
    EXPECT_EQ(sheet.Cells(row, 1).Text(), note[2].str()) << "note " << note[2] << " sits on " << note[1];
    EXPECT_EQ(col, 2);
  }

  std::map<std::string, std::string> targets;  // relationship id -> target
  for (const auto& rel : Matches(parts["xl/worksheets/_rels/sheet1.xml.rels"],
                                 "<Relationship Id=\"([^\"]+)\" Type=\"[^\"]*hyperlink\" Target=\"([^\"]+)\""))
    targets[rel[1]] = rel[2];
  for (const auto& rel : Matches(parts["xl/worksheets/_rels/sheet1.xml.rels"],
                                 "<Relationship Id=\"([^\"]+)\" Target=\"([^\"]+)\" Type=\"[^\"]*hyperlink\""))
    targets[rel[1]] = rel[2];
  auto links = Matches(parts["xl/worksheets/sheet1.xml"], "<hyperlink ref=\"([A-Z]+[0-9]+)\" r:id=\"([^\"]+)\"");
  ASSERT_EQ(links.size(), names.size()) << parts["xl/worksheets/sheet1.xml"];
  for (const auto& link : links) {
    int row = 0, col = 0;
    ASSERT_TRUE(host::ParseCellReference(link[1].str(), row, col));
    EXPECT_EQ(targets[link[2]], "https://" + sheet.Cells(row, 1).Text() + ".example/") << "link on " << link[1];
  }
}

}  // namespace
