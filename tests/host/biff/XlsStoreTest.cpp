// The .xls workbook store: workbooks LibreOffice wrote, read through
// OpenXls, hidden, sorted and saved; the results read back by python3-xlrd,
// python3-olefile and LibreOffice.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>

#include "XlsFixtures.h"
#include "host/HostError.h"
#include "host/SortPlan.h"
#include "host/biff/CompoundFile.h"
#include "host/biff/CompoundFileWriter.h"
#include "host/biff/XlsWorkbook.h"

using fixtures::TempDir;
using namespace host::biff;

namespace {

const std::string& SortXls() {
  static const std::string bytes = xlsfixtures::ConvertedCached(xlsfixtures::SortXlsx, "xls");
  return bytes;
}

#define NEED_XLS(bytes) \
  if ((bytes).empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; no .xls fixture"

std::string Copy(const std::string& bytes, const TempDir& dir, const std::string& name = "book.xls") {
  std::string path = dir.File(name);
  fixtures::WriteFile(path, bytes);
  return path;
}

// Opens path, takes every worksheet, runs change on them and saves.
void Change(const std::string& path,
            const std::function<void(std::map<std::string, host::SheetStore*>&)>& change) {
  auto book = OpenXls(path);
  std::vector<std::unique_ptr<host::SheetStore>> stores;
  std::map<std::string, host::SheetStore*> byName;
  for (size_t i = 0; i < book->Sheets().size(); ++i) {
    stores.push_back(book->TakeSheet(i));
    if (stores.back()) byName[book->Sheets()[i].name] = stores.back().get();
  }
  change(byName);
  book->RequestFullRecalculation();
  std::vector<const host::SheetStore*> sheets;
  for (const auto& s : stores) sheets.push_back(s.get());
  book->Save(sheets);
}

std::string Run(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
  pclose(pipe);
  return out;
}

// What python3-xlrd reads of sheet "Data": each cell as "row col value",
// hidden rows as "hidden row", notes as "note row col text", hyperlinks as
// "link row col url" (0-based rows and columns).
std::vector<std::string> XlrdData(const std::string& path, const TempDir& work) {
  std::string script = work.File("data.py");
  fixtures::WriteFile(script,
                      "import xlrd, sys\n"
                      "book = xlrd.open_workbook(sys.argv[1], formatting_info=True)\n"
                      "s = book.sheet_by_name('Data')\n"
                      "for r in range(s.nrows):\n"
                      "    for c, cell in enumerate(s.row(r)):\n"
                      "        if cell.ctype in (1, 2, 3, 4, 5): print(r, c, repr(cell.value))\n"
                      "for r, info in sorted(s.rowinfo_map.items()):\n"
                      "    if info.hidden: print('hidden', r)\n"
                      "for (r, c), note in sorted(s.cell_note_map.items()): print('note', r, c, note.text)\n"
                      "for link in s.hyperlink_list: print('link', link.frowx, link.fcolx, link.lrowx, link.url_or_path)\n");
  std::istringstream lines(Run("/usr/bin/python3 '" + script + "' '" + path + "' 2>&1"));
  std::vector<std::string> out;
  for (std::string line; std::getline(lines, line);) out.push_back(line);
  return out;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(XlsStore, ReadsSheetsValuesFormatsAndRows) {
  NEED_XLS(SortXls());
  TempDir dir;
  auto book = OpenXls(Copy(SortXls(), dir));
  ASSERT_EQ(book->Sheets().size(), 4u);
  EXPECT_EQ(book->Sheets()[0].name, "Data");
  EXPECT_EQ(book->ActiveTab(), 0u);
  EXPECT_FALSE(book->Date1904());
  auto data = book->TakeSheet(0);
  struct Case {
    int row, column;
    host::CellKind kind;
    double number;
    std::string text, format;
  };
  const Case cases[] = {
      {1, 1, host::CellKind::Text, 0, "Name", "General"},
      {2, 1, host::CellKind::Text, 0, "elder", "General"},
      {2, 2, host::CellKind::Number, 5, "", "General"},
      {3, 3, host::CellKind::Number, 45001, "", "yyyy\\-mm\\-dd"},
      {4, 4, host::CellKind::Number, 16, "", "General"},  // =B4*2, cached
      {2, 7, host::CellKind::Boolean, 0, "", "General"},
      {3, 7, host::CellKind::Boolean, 1, "", "General"},
      {20, 20, host::CellKind::Blank, 0, "", "General"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.row) + "," + std::to_string(c.column));
    host::StoredValue v = data->Value(c.row, c.column);
    EXPECT_EQ(v.kind, c.kind);
    EXPECT_EQ(v.number, c.number);
    EXPECT_EQ(v.text, c.text);
    EXPECT_FALSE(v.uncalculated);
    EXPECT_EQ(data->FormatCode(c.row, c.column), c.format);
  }
  EXPECT_TRUE(data->RowHidden(6));
  EXPECT_FALSE(data->RowHidden(5));
  EXPECT_TRUE(data->HoldsFormulas());
  host::CellArea used;
  ASSERT_TRUE(data->UsedArea(used));
  EXPECT_EQ(used.firstRow, 1);
  EXPECT_EQ(used.firstColumn, 1);
  EXPECT_EQ(used.lastColumn, 7);
  EXPECT_EQ(used.lastRow, 12);
  EXPECT_FALSE(data->SortProtected());
  auto locked = book->TakeSheet(2);
  auto sortOk = book->TakeSheet(3);
  EXPECT_TRUE(locked->SortProtected());
  EXPECT_TRUE(locked->RowFormattingProtected());
  EXPECT_FALSE(sortOk->SortProtected());
  EXPECT_FALSE(sortOk->RowFormattingProtected());
}

// Every stream but the workbook stream, with its directory entry, as olefile reads it.
std::map<std::string, xlsfixtures::OleEntry> OtherStreams(const std::string& path, const TempDir& work) {
  auto entries = xlsfixtures::OlefileEntries(path, work);
  entries.erase("Workbook");
  entries.erase("");  // the root's times change with any write
  return entries;
}

void ExpectSameEntries(const std::map<std::string, xlsfixtures::OleEntry>& a,
                       const std::map<std::string, xlsfixtures::OleEntry>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (const auto& [name, entry] : a) {
    SCOPED_TRACE(name);
    const auto& other = b.at(name);
    EXPECT_EQ(entry.type, other.type);
    EXPECT_EQ(entry.clsid, other.clsid);
    EXPECT_EQ(entry.stateBits, other.stateBits);
    EXPECT_EQ(entry.created, other.created);
    EXPECT_EQ(entry.modified, other.modified);
    EXPECT_TRUE(entry.data == other.data);
  }
}

TEST(XlsStore, HidingSetsTheRowFlagAndKeepsEverythingElse) {
  NEED_XLS(SortXls());
  if (!xlsfixtures::HavePython("xlrd") || !xlsfixtures::HavePython("olefile"))
    GTEST_SKIP() << "python3-xlrd or python3-olefile is not installed";
  TempDir dir;
  std::string path = Copy(SortXls(), dir);
  auto cellsBefore = xlsfixtures::XlrdCells(path, dir);
  auto streamsBefore = OtherStreams(path, dir);
  Change(path, [](auto& sheets) {
    host::SheetStore* data = sheets.at("Data");
    data->SetRowHidden(3, true);    // a row with a ROW record
    data->SetRowHidden(6, false);   // hidden when read
    data->SetRowHidden(15, true);   // no ROW record yet
    data->SetRowHidden(100, true);  // another row block
    EXPECT_EQ(data->RowsHiddenSinceOpen(), 3u);
    sheets.at("Other")->SetRowHidden(2, true);
  });
  auto lines = XlrdData(path, dir);
  for (const char* hidden : {"hidden 2", "hidden 14", "hidden 99"}) EXPECT_TRUE(Has(lines, hidden)) << hidden;
  EXPECT_FALSE(Has(lines, "hidden 5"));
  EXPECT_EQ(xlsfixtures::XlrdCells(path, dir), cellsBefore);
  ExpectSameEntries(OtherStreams(path, dir), streamsBefore);
  auto again = OpenXls(path);
  auto data = again->TakeSheet(0);
  EXPECT_TRUE(data->RowHidden(3));
  EXPECT_FALSE(data->RowHidden(6));
  EXPECT_TRUE(data->RowHidden(15));
  EXPECT_TRUE(data->RowHidden(100));
  EXPECT_TRUE(again->TakeSheet(1)->RowHidden(2));
}

// The formulas of sheet "Data" as LibreOffice reads the .xls at path, by
// cell ("D5" -> "B5*2"), taken from its .xlsx export.
std::map<std::string, std::string> LibreOfficeFormulas(const std::string& path, const TempDir& work) {
  std::string xlsx = xlsfixtures::SofficeConvert(path, "xlsx", work);
  std::map<std::string, std::string> formulas;
  if (xlsx.empty()) return formulas;
  std::string sheet = fixtures::ReadZip(xlsx)["xl/worksheets/sheet1.xml"];
  for (size_t at = sheet.find("<c r=\""); at != std::string::npos; at = sheet.find("<c r=\"", at + 1)) {
    size_t end = sheet.find("</c>", at);
    size_t self = sheet.find("/>", at);
    if (end == std::string::npos || (self != std::string::npos && self < end && sheet.find('>', at) == self + 1)) continue;
    std::string cell = sheet.substr(at, end - at);
    size_t f = cell.find("<f");
    if (f == std::string::npos) continue;
    size_t open = cell.find('>', f) + 1;
    std::string text = cell.substr(open, cell.find("</f>", open) - open);
    size_t amp;
    while ((amp = text.find("&amp;")) != std::string::npos) text.replace(amp, 5, "&");
    formulas[cell.substr(6, cell.find('"', 6) - 6)] = text;
  }
  return formulas;
}

TEST(XlsStore, SortMovesRecordsWholeAndHiddenRowsStay) {
  NEED_XLS(SortXls());
  if (!xlsfixtures::HavePython("xlrd") || !xlsfixtures::HavePython("olefile"))
    GTEST_SKIP() << "python3-xlrd or python3-olefile is not installed";
  TempDir dir;
  std::string path = Copy(SortXls(), dir);
  auto streamsBefore = OtherStreams(path, dir);
  Change(path, [](auto& sheets) {
    host::SheetStore* data = sheets.at("Data");
    EXPECT_TRUE(data->Sort(host::CellArea{2, 1, 9, 7}, 2, false));
    EXPECT_EQ(data->RowsMoved(), 6u);  // fig stays in row 8
  });
  // Visible rows by quantity; row 6 (grape, hidden) keeps its place.
  const std::vector<std::pair<std::string, double>> expected = {
      {"apple", 1}, {"banana", 2}, {"cherry", 3}, {"date", 4}, {"grape", 7}, {"elder", 5}, {"fig", 6}, {"honeydew", 8}};
  auto lines = XlrdData(path, dir);
  auto number = [](double v) {
    std::ostringstream out;
    out << v << ".0";
    return out.str();
  };
  for (size_t i = 0; i < expected.size(); ++i) {
    const auto& [name, qty] = expected[i];
    std::string row = std::to_string(i + 1) + " ";
    SCOPED_TRACE(row + name);
    EXPECT_TRUE(Has(lines, row + "0 '" + name + "'"));
    EXPECT_TRUE(Has(lines, row + "1 " + number(qty)));
    EXPECT_TRUE(Has(lines, row + "3 " + number(qty * 2)));   // cached results moved with their formulas
    EXPECT_TRUE(Has(lines, row + "5 " + number(100 + qty)));
  }
  EXPECT_TRUE(Has(lines, "hidden 5"));
  EXPECT_TRUE(Has(lines, "note 3 0 note on cherry"));
  EXPECT_TRUE(Has(lines, "link 8 0 8 https://example.org/honeydew"));
  ExpectSameEntries(OtherStreams(path, dir), streamsBefore);

  // Formulas shifted as a copy shifts them, as LibreOffice reads them.
  auto formulas = LibreOfficeFormulas(path, dir);
  if (formulas.empty()) GTEST_SKIP() << "LibreOffice could not read the result back";
  for (int row = 2; row <= 9; ++row) {
    std::string r = std::to_string(row);
    EXPECT_EQ(formulas["D" + r], "B" + r + "*2");
    EXPECT_EQ(formulas["E" + r], "$B$2+B" + r);
    EXPECT_EQ(formulas["F" + r], "Other!$A$1+B" + r);
  }
}

TEST(XlsStore, SortRefusesWhatWouldTearRecords) {
  NEED_XLS(SortXls());
  TempDir dir;
  auto book = OpenXls(Copy(SortXls(), dir));
  auto data = book->TakeSheet(0);
  EXPECT_THROW(data->Sort(host::CellArea{11, 1, 13, 2}, 1, false), host::SortRefused);  // merged A12:B12
  EXPECT_THROW(data->Sort(host::CellArea{2, 1, 9, 2}, 5, false), host::SortRefused);    // key outside
}

TEST(XlsStore, SavingWithoutChangesLeavesTheFileAlone) {
  NEED_XLS(SortXls());
  TempDir dir;
  std::string path = Copy(SortXls(), dir);
  struct stat before {}, after {};
  ::stat(path.c_str(), &before);
  Change(path, [](auto& sheets) {
    sheets.at("Data")->SetRowHidden(3, true);
    sheets.at("Data")->SetRowHidden(3, false);
  });
  ::stat(path.c_str(), &after);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_TRUE(fixtures::ReadFile(path) == SortXls());
}

// The offset of the first record of type in a workbook stream.
size_t FirstRecord(const std::string& stream, uint16_t type) {
  size_t at = 0;
  while (at + 4 <= stream.size() && (static_cast<uint8_t>(stream[at]) | static_cast<uint8_t>(stream[at + 1]) << 8) != type)
    at += 4 + (static_cast<uint8_t>(stream[at + 2]) | static_cast<uint8_t>(stream[at + 3]) << 8);
  return at;
}

// SortXls with its workbook stream made by edit.
std::string WithStream(const std::function<void(std::string&)>& edit) {
  CompoundFile file(SortXls(), "sort.xls");
  int workbook = file.Find("Workbook");
  std::string stream = file.ReadStream(workbook);
  edit(stream);
  return WriteCompoundFile(file, {{workbook, stream}});
}

TEST(XlsStore, RefusesWhatItCannotReadAndLeavesTheFile) {
  NEED_XLS(SortXls());
  struct Case {
    std::string name;
    std::function<std::string()> bytes;
    std::string message;
  };
  const Case cases[] = {
      {"password", [] { return WithStream([](std::string& s) {
         // FILEPASS (RC4) right after the globals' BOF record.
         std::string filePass = std::string("\x2F\x00\x36\x00\x01\x00\x01\x00\x01\x00", 10) + std::string(52, 'k');
         s.insert(20, filePass);
       }); }, "is protected with a password"},
      // LibreOffice no longer writes Excel 95: its BOF version, as BIFF5 gives it.
      {"excel 95", [] { return WithStream([](std::string& s) { s[5] = '\x05'; }); },
       "is an Excel 95 workbook: save it as Excel 97–2003 or .xlsx first"},
      {"cut short", [] { return WithStream([](std::string& s) { s.resize(FirstRecord(s, 0x0208) + 10); }); },
       "its stream \"Workbook\" is damaged (record 0x"},
      {"record too long", [] { return WithStream([](std::string& s) {
         size_t row = FirstRecord(s, 0x0208);  // a ROW record's length reaching past the stream
         s[row + 2] = '\xFF';
         s[row + 3] = '\xFF';
       }); }, "its stream \"Workbook\" is damaged (record 0x"},
      {"web page", [] { return std::string("<html><body><table><tr><td>1</td></tr></table></body></html>"); },
       "is a web page"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes = c.bytes();
    TempDir dir;
    std::string path = Copy(bytes, dir);
    try {
      OpenXls(path);
      ADD_FAILURE() << "opened";
    } catch (const host::HostError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
    EXPECT_TRUE(fixtures::ReadFile(path) == bytes);
  }
}

}  // namespace
