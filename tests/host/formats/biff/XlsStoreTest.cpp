// The .xls workbook store: workbooks LibreOffice wrote, read through
// OpenXls, hidden, sorted and saved; the results read back by python3-xlrd,
// python3-olefile and LibreOffice.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>

#include "XlsFixtures.h"
#include "host/core/RowSort.h"
#include "host/core/WorkbookStore.h"
#include "host/core/Application.h"
#include "host/core/HostError.h"
#include "host/core/Workbook.h"
#include "host/core/Workbooks.h"
#include "host/core/Worksheet.h"
#include "host/core/Range.h"
#include "host/core/RowRef.h"
#include "host/core/Cell.h"
#include "host/core/SortPlan.h"
#include "host/io/CompoundFile.h"
#include "host/io/CompoundFileWriter.h"
#include "host/formats/biff/XlsSheet.h"
#include "host/formats/biff/XlsWorkbook.h"

using fixtures::TempDir;
using namespace host::biff;
using xlsfixtures::Cell;
using xlsfixtures::Double;
using xlsfixtures::Le;
using xlsfixtures::Rec;

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
  std::map<std::string, host::SheetStore*> byName;
  for (size_t i = 0; i < book->Sheets().size(); ++i)
    if (host::SheetStore* sheet = book->Sheet(i)) byName[book->Sheets()[i].name] = sheet;
  change(byName);
  book->RequestFullRecalculation();
  book->Save();
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
  return xlsfixtures::RunLines("/usr/bin/python3 '" + script + "' '" + path + "' 2>&1");
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The offset of the first record of type in a workbook stream.
size_t FirstRecord(const std::string& stream, uint16_t type) {
  size_t at = 0;
  while (at + 4 <= stream.size() && (static_cast<uint8_t>(stream[at]) | static_cast<uint8_t>(stream[at + 1]) << 8) != type)
    at += 4 + (static_cast<uint8_t>(stream[at + 2]) | static_cast<uint8_t>(stream[at + 3]) << 8);
  return at;
}

uint16_t W(const std::string& s, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8);
}
uint32_t D(const std::string& s, size_t at) { return W(s, at) | static_cast<uint32_t>(W(s, at + 2)) << 16; }

TEST(XlsStore, ReadsSheetsValuesFormatsAndRows) {
  NEED_XLS(SortXls());
  TempDir dir;
  auto book = OpenXls(Copy(SortXls(), dir));
  ASSERT_EQ(book->Sheets().size(), 4u);
  EXPECT_EQ(book->Sheets()[0].name, "Data");
  EXPECT_EQ(book->ActiveTab(), 0u);
  EXPECT_FALSE(book->Date1904());
  auto* data = book->Sheet(0);
  struct Case {
    int row, column;
    host::CellKind kind;
    double number;
    std::string text, format, formula;
  };
  const Case cases[] = {
      {1, 1, host::CellKind::Text, 0, "Name", "General", ""},
      {2, 1, host::CellKind::Text, 0, "elder", "General", ""},
      {2, 2, host::CellKind::Number, 5, "", "General", ""},
      {3, 3, host::CellKind::Number, 45001, "", "yyyy\\-mm\\-dd", ""},
      {4, 4, host::CellKind::Number, 16, "", "General", "B4*2"},  // a shared formula's cell, cached
      {3, 5, host::CellKind::Number, 8, "", "General", "$B$2+B3"},
      {2, 6, host::CellKind::Number, 105, "", "General", "Other!$A$1+B2"},
      // LibreOffice writes booleans as formulas of one ptgBool.
      {2, 7, host::CellKind::Boolean, 0, "", "General", "FALSE"},
      {3, 7, host::CellKind::Boolean, 1, "", "General", "TRUE"},
      {20, 20, host::CellKind::Blank, 0, "", "General", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.row) + "," + std::to_string(c.column));
    host::StoredValue v = data->Value(c.row, c.column);
    EXPECT_EQ(v.kind, c.kind);
    EXPECT_EQ(v.number, c.number);
    EXPECT_EQ(v.text, c.text);
    EXPECT_FALSE(v.uncalculated);
    EXPECT_EQ(data->FormatCode(c.row, c.column), c.format);
    EXPECT_EQ(data->Formula(c.row, c.column), c.formula);
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
  auto* locked = book->Sheet(2);
  auto* sortOk = book->Sheet(3);
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
    sheets.at("Other")->SetRowHidden(2, true);
  });
  auto lines = XlrdData(path, dir);
  for (const char* hidden : {"hidden 2", "hidden 14", "hidden 99"}) EXPECT_TRUE(Has(lines, hidden)) << hidden;
  EXPECT_FALSE(Has(lines, "hidden 5"));
  EXPECT_EQ(xlsfixtures::XlrdCells(path, dir), cellsBefore);
  ExpectSameEntries(OtherStreams(path, dir), streamsBefore);
  auto again = OpenXls(path);
  auto* data = again->Sheet(0);
  EXPECT_TRUE(data->RowHidden(3));
  EXPECT_FALSE(data->RowHidden(6));
  EXPECT_TRUE(data->RowHidden(15));
  EXPECT_TRUE(data->RowHidden(100));
  EXPECT_TRUE(again->Sheet(1)->RowHidden(2));
}

// Hides of rows that have ROW records change those records' hidden flags
// and nothing else of the workbook stream: no cell record is written anew.
TEST(XlsStore, HidingRowsWithRowRecordsChangesOnlyTheirFlags) {
  NEED_XLS(SortXls());
  TempDir dir;
  std::string path = Copy(SortXls(), dir);
  auto streamOf = [](const std::string& file) {
    CompoundFile container(fixtures::ReadFile(file), file);
    return container.ReadStream(container.Find("Workbook"));
  };
  const std::string before = streamOf(path);
  {
    auto book = OpenXls(path);
    auto* data = book->Sheet(0);
    data->SetRowHidden(3, true);   // a row with a ROW record
    data->SetRowHidden(6, false);  // hidden when read
    book->Save();
  }
  const std::string after = streamOf(path);
  ASSERT_EQ(after.size(), before.size());
  std::vector<size_t> changed;
  for (size_t at = 0; at < before.size(); ++at)
    if (before[at] != after[at]) changed.push_back(at);
  ASSERT_EQ(changed.size(), 2u);
  for (size_t at : changed) {
    EXPECT_EQ((before[at] ^ after[at]) & 0xFF, 0x20);
    EXPECT_EQ(W(before, at - 16), rt::kRow);  // the flags byte of a ROW record's body
  }
}

// The .xls at path as LibreOffice saves it as .xlsx: its parts by name
// (none when LibreOffice is absent or cannot read it).
std::map<std::string, std::string> LibreOfficeXlsx(const std::string& path, const TempDir& work) {
  std::string xlsx = xlsfixtures::SofficeConvert(path, "xlsx", work);
  return xlsx.empty() ? std::map<std::string, std::string>() : fixtures::ReadZip(xlsx);
}

// The formulas of sheet "Data" in LibreOffice's .xlsx export, by cell ("D5" -> "B5*2").
std::map<std::string, std::string> LibreOfficeFormulas(const std::map<std::string, std::string>& xlsx) {
  std::map<std::string, std::string> formulas;
  auto part = xlsx.find("xl/worksheets/sheet1.xml");
  if (part == xlsx.end()) return formulas;
  const std::string& sheet = part->second;
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
    EXPECT_EQ(host::SortRows(*data, host::CellArea{2, 1, 9, 7}, 2, false), 6u);  // fig stays in row 8
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
  {
    // The next program to open the workbook recalculates it: RECALCID's engine build is 0.
    CompoundFile saved(fixtures::ReadFile(path), path);
    const std::string stream = saved.ReadStream(saved.Find("Workbook"));
    const size_t recalcId = FirstRecord(stream, 0x01C1);
    ASSERT_LT(recalcId + 12, stream.size());
    EXPECT_EQ(D(stream, recalcId + 8), 0u);
  }
  EXPECT_TRUE(Has(lines, "note 3 0 note on cherry"));
  EXPECT_TRUE(Has(lines, "link 8 0 8 https://example.org/honeydew"));
  ExpectSameEntries(OtherStreams(path, dir), streamsBefore);

  // Formulas shifted as a copy shifts them, as this host and LibreOffice read them.
  auto book = OpenXls(path);
  auto* data = book->Sheet(0);
  for (int row = 2; row <= 9; ++row) {
    std::string r = std::to_string(row);
    EXPECT_EQ(data->Formula(row, 4), "B" + r + "*2");
    EXPECT_EQ(data->Formula(row, 6), "Other!$A$1+B" + r);
  }
  auto xlsx = LibreOfficeXlsx(path, dir);
  auto formulas = LibreOfficeFormulas(xlsx);
  if (formulas.empty()) GTEST_SKIP() << "LibreOffice could not read the result back";
  // The note's text box moved down one row with cherry (rows 2-7, was 1-6).
  const std::string& vml = xlsx["xl/drawings/vmlDrawing1.vml"];
  EXPECT_NE(vml.find("<x:Anchor>1, 15, 2, 10, 3, 15, 7, 4</x:Anchor>"), std::string::npos) << vml;
  EXPECT_NE(vml.find("<x:Row>3</x:Row>"), std::string::npos);
  for (int row = 2; row <= 9; ++row) {
    std::string r = std::to_string(row);
    EXPECT_EQ(formulas["D" + r], "B" + r + "*2");
    EXPECT_EQ(formulas["E" + r], "$B$2+B" + r);
    EXPECT_EQ(formulas["F" + r], "Other!$A$1+B" + r);
  }
}

TEST(XlsStore, SecondSortMovesWhatTheFirstMoved) {
  NEED_XLS(SortXls());
  TempDir dir;
  std::string path = Copy(SortXls(), dir);
  Change(path, [](auto& sheets) {
    host::SheetStore* data = sheets.at("Data");
    EXPECT_TRUE(host::SortRows(*data, host::CellArea{2, 1, 9, 7}, 2, false));
    EXPECT_TRUE(host::SortRows(*data, host::CellArea{2, 1, 9, 7}, 2, true));
  });
  auto book = OpenXls(path);
  auto* data = book->Sheet(0);
  // Descending by quantity in the visible rows; grape (7, hidden row 6) stays.
  const double expected[] = {8, 6, 5, 4, 7, 3, 2, 1};
  for (int row = 2; row <= 9; ++row) {
    SCOPED_TRACE(row);
    const double qty = expected[row - 2];
    const std::string r = std::to_string(row);
    EXPECT_EQ(data->Value(row, 2).number, qty);
    EXPECT_EQ(data->Value(row, 4).number, qty * 2);
    EXPECT_EQ(data->Formula(row, 4), "B" + r + "*2");
    EXPECT_EQ(data->Formula(row, 5), "$B$2+B" + r);
  }
}

// What a sheet shows of its first rows and columns: values, formulas, hidden rows.
std::vector<std::string> Shown(host::SheetStore& sheet) {
  std::vector<std::string> shown;
  for (int row = 1; row <= 60; ++row)
    for (int column = 1; column <= 3; ++column) {
      const host::StoredValue value = sheet.Value(row, column);
      shown.push_back(value.text + "|" + std::to_string(value.number) + "|" + sheet.Formula(row, column) +
                      (sheet.RowHidden(row) ? "|hidden" : ""));
    }
  return shown;
}

// A save that has to write into the file itself (it has another link) never
// leaves the store reading the file's new bytes for the ones it read: what it
// shows after the save, and what a second save writes, are what it was given.
TEST(XlsStore, ASaveIntoTheFileItselfLeavesTheStoreAsItWas) {
  NEED_XLS(xlsfixtures::LibreOfficeXls());
  TempDir dir;
  std::string path = Copy(xlsfixtures::LibreOfficeXls(), dir);
  auto book = OpenXls(path);
  ASSERT_EQ(book->Sheets().at(1).name, "Strings");
  host::SheetStore* strings = book->Sheet(1);
  strings->SetRowHidden(3, true);
  const std::vector<std::string> hidden = Shown(*strings);
  ASSERT_EQ(::link(path.c_str(), dir.File("other.xls").c_str()), 0);
  book->Save();
  EXPECT_EQ(Shown(*strings), hidden);
  strings->SetRowHidden(50, true);
  const std::vector<std::string> again = Shown(*strings);
  book->Save();
  EXPECT_EQ(fixtures::ReadFile(path), fixtures::ReadFile(dir.File("other.xls")));  // written into the file itself
  EXPECT_EQ(Shown(*OpenXls(path)->Sheet(1)), again);
}

TEST(XlsStore, SaveRefusesAFileChangedSinceItWasRead) {
  NEED_XLS(SortXls());
  TempDir dir;
  std::string path = Copy(SortXls(), dir);
  auto book = OpenXls(path);
  auto* data = book->Sheet(0);
  data->SetRowHidden(3, true);
  fixtures::WriteFile(path, "changed by another program");
  EXPECT_THROW(book->Save(), host::HostError);
  EXPECT_EQ(fixtures::ReadFile(path), "changed by another program");
}

TEST(XlsStore, SortRefusesWhatWouldTearRecords) {
  NEED_XLS(SortXls());
  TempDir dir;
  auto book = OpenXls(Copy(SortXls(), dir));
  auto* data = book->Sheet(0);
  EXPECT_THROW(host::SortRows(*data, host::CellArea{11, 1, 13, 2}, 1, false), host::SortRefused);  // merged A12:B12
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
       "it is an Excel 95 workbook; save it as Excel 97–2003 or .xlsx first"},
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
      host::OpenWorkbookStore(path);  // as the host opens any file: by its content
      ADD_FAILURE() << "opened";
    } catch (const host::HostError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
    EXPECT_TRUE(fixtures::ReadFile(path) == bytes);
  }
}

// What is wrong with the cell tables of a workbook stream, or empty: every
// INDEX entry must point at a DBCELL, every DBCELL at its block's first ROW
// record and at each row's first cell record; cells must stand in rows that
// have ROW records giving their span, in ascending order.
std::string CellTableFault(const std::string& stream) {
  std::map<size_t, uint16_t> typeAt;
  for (size_t at = 0; at + 4 <= stream.size(); at += 4 + W(stream, at + 2)) typeAt[at] = W(stream, at);
  auto isCell = [](uint16_t t) {
    return t == 0x0201 || t == 0x00BE || t == 0x027E || t == 0x00BD || t == 0x0205 || t == 0x0203 || t == 0x00FD ||
           t == 0x0204 || t == 0x00D6 || t == 0x0006;
  };
  std::map<uint16_t, std::pair<uint16_t, uint16_t>> rowSpan;  // of the current sheet
  std::map<uint16_t, std::pair<int, int>> cellSpan;
  int lastRow = -1, lastColumn = -1;
  for (auto [at, type] : typeAt) {
    const size_t body = at + 4;
    if (type == 0x0809 && W(stream, body + 2) == 0x0010) {
      rowSpan.clear();
      cellSpan.clear();
      lastRow = lastColumn = -1;
    } else if (type == 0x0208) {
      rowSpan[W(stream, body)] = {W(stream, body + 2), W(stream, body + 4)};
    } else if (isCell(type)) {
      int row = W(stream, body), first = W(stream, body + 2);
      int last = type == 0x00BD || type == 0x00BE ? W(stream, body + W(stream, at + 2) - 2) : first;
      if (row < lastRow || (row == lastRow && first <= lastColumn)) return "cells out of order at " + std::to_string(at);
      lastRow = row;
      lastColumn = last;
      if (!rowSpan.count(row)) return "a cell at " + std::to_string(at) + " in a row without ROW record";
      auto& span = cellSpan.try_emplace(row, first, last + 1).first->second;
      span.second = last + 1;
    } else if (type == 0x00D7) {
      size_t firstRow = at - D(stream, body);
      if (!typeAt.count(firstRow) || typeAt[firstRow] != 0x0208) return "DBCELL at " + std::to_string(at) + " misses its ROW";
      size_t cell = firstRow + 20;
      for (size_t k = 0; k < (W(stream, at + 2) - 4u) / 2; ++k) {
        cell += W(stream, body + 4 + 2 * k);
        uint16_t row = W(stream, firstRow + 20 * k + 4);
        if (typeAt[firstRow + 20 * k] != 0x0208) return "DBCELL at " + std::to_string(at) + " counts too many rows";
        if (cellSpan.count(row) && (!typeAt.count(cell) || !isCell(typeAt[cell]) || W(stream, cell + 4) != row))
          return "DBCELL at " + std::to_string(at) + " misses the first cell of row " + std::to_string(row);
      }
    } else if (type == 0x020B) {
      for (size_t k = 16; k + 4 <= W(stream, at + 2); k += 4)
        if (typeAt[D(stream, body + k)] != 0x00D7) return "INDEX at " + std::to_string(at) + " misses a DBCELL";
    } else if (type == 0x000A) {
      for (auto& [row, span] : cellSpan)
        if (rowSpan[row] != std::pair<uint16_t, uint16_t>(span.first, span.second))
          return "the ROW record of row " + std::to_string(row) + " gives the wrong span";
    }
  }
  return {};
}

// A worksheet as Excel lays it out, INDEX and DBCELL included: 40 rows; row
// 1 a MULRK over A:C, the others NUMBER (A), RK (B) and LABEL (C); B holds
// KeyOf(row), C "t<row>" (0-based rows).
int KeyOf(int row) { return (37 * row) % 41; }
std::string HandMadeStream() {
  auto label = [](const std::string& text) { return Le(text.size(), 2) + std::string(1, '\0') + text; };
  std::string sheetName = "Hand";
  std::string xfs;  // 15 style XFs and the cells' XF 15, all General
  for (int i = 0; i < 16; ++i) xfs += Rec(0x00E0, Le(0, 2) + Le(0, 2) + Le(i < 15 ? 0xFFF5 : 0x0001, 2) + std::string(14, '\0'));
  std::string globals = xlsfixtures::Bof(0x0005) + xfs +
                        Rec(0x0085, Le(0, 4) + Le(0, 2) + Le(sheetName.size(), 1) + std::string(1, '\0') + sheetName) +
                        xlsfixtures::Eof();
  std::string sheet = xlsfixtures::Bof(0x0010);
  const size_t indexAt = sheet.size();
  sheet += Rec(0x020B, std::string(16 + 8, '\0'));
  const size_t defColWidthAt = sheet.size();
  sheet += Rec(0x0055, Le(8, 2));
  sheet += Rec(0x0200, Le(0, 4) + Le(40, 4) + Le(0, 2) + Le(3, 2) + Le(0, 2));
  std::vector<size_t> dbCells;
  for (int block = 0; block < 2; ++block) {
    const int first = block * 32, last = block == 0 ? 31 : 39;
    const size_t rowsAt = sheet.size();
    for (int r = first; r <= last; ++r)
      sheet += Rec(0x0208, Le(r, 2) + Le(0, 2) + Le(3, 2) + Le(0x00FF, 2) + Le(0, 4) + Le(0x000F0100, 4));
    std::vector<size_t> cellsAt;
    for (int r = first; r <= last; ++r) {
      cellsAt.push_back(sheet.size());
      if (r == 0) {
        sheet += Rec(0x00BD, Le(0, 2) + Le(0, 2) + Le(15, 2) + Le(1000 << 2 | 2, 4) + Le(15, 2) +
                                 Le(KeyOf(0) << 2 | 2, 4) + Le(15, 2) + Le(7 << 2 | 2, 4) + Le(2, 2));
        continue;
      }
      sheet += Rec(0x0203, Cell(r, 0, 15) + Double(1000 + r));
      sheet += Rec(0x027E, Cell(r, 1, 15) + Le(KeyOf(r) << 2 | 2, 4));
      sheet += Rec(0x0204, Cell(r, 2, 15) + label("t" + std::to_string(r)));
    }
    std::string db = Le(sheet.size() - rowsAt, 4);
    for (size_t k = 0; k < cellsAt.size(); ++k) db += Le(cellsAt[k] - (k == 0 ? rowsAt + 20 : cellsAt[k - 1]), 2);
    dbCells.push_back(sheet.size());
    sheet += Rec(0x00D7, db);
  }
  sheet += Rec(0x023E, Le(0x06B6, 2) + std::string(16, '\0'));
  sheet += xlsfixtures::Eof();
  const size_t base = globals.size();
  std::string index = Le(0, 4) + Le(0, 4) + Le(40, 4) + Le(base + defColWidthAt, 4);
  for (size_t at : dbCells) index += Le(base + at, 4);
  sheet.replace(indexAt + 4, index.size(), index);
  globals.replace(4 + 16 + xfs.size() + 4, 4, Le(base, 4));
  return globals + sheet;
}

TEST(XlsStore, SortWritesConsistentRowBlocksAndSplitsMultipleCellRecords) {
  NEED_XLS(SortXls());
  const std::string hand = HandMadeStream();
  ASSERT_EQ(CellTableFault(hand), "");
  TempDir dir;
  std::string path = Copy(WithStream([&](std::string& s) { s = hand; }), dir);
  Change(path, [](auto& sheets) { EXPECT_TRUE(host::SortRows(*sheets.at("Hand"), host::CellArea{1, 2, 40, 3}, 2, false)); });
  CompoundFile saved(fixtures::ReadFile(path), path);
  const std::string stream = saved.ReadStream(saved.Find("Workbook"));
  EXPECT_EQ(CellTableFault(stream), "");
  auto book = OpenXls(path);
  auto* sheet = book->Sheet(0);
  std::vector<int> rows(40);
  for (int r = 0; r < 40; ++r) rows[r] = r;
  std::stable_sort(rows.begin(), rows.end(), [](int a, int b) { return KeyOf(a) < KeyOf(b); });
  for (int r = 0; r < 40; ++r) {
    SCOPED_TRACE(r);
    EXPECT_EQ(sheet->Value(r + 1, 1).number, r == 0 ? 1000 : 1000 + r);  // column A stays
    EXPECT_EQ(sheet->Value(r + 1, 2).number, KeyOf(rows[r]));
    EXPECT_EQ(sheet->Value(r + 1, 3).text, rows[r] == 0 ? "" : "t" + std::to_string(rows[r]));
    if (rows[r] == 0) {
      EXPECT_EQ(sheet->Value(r + 1, 3).number, 7);
    }
  }
  if (!xlsfixtures::HavePython("xlrd")) return;
  auto cells = xlsfixtures::XlrdCells(path, dir);
  EXPECT_EQ(cells.size(), 120u);
  for (int r = 0; r < 40; ++r)
    EXPECT_TRUE(Has(cells, "0 " + std::to_string(r) + " 1 2 " + std::to_string(KeyOf(rows[r])) + ".0")) << r;
}

// Hides alone keep the cell table as read, INDEX following the substream to
// where it stands now (the globals grow by the recalculation request).
TEST(XlsStore, HidingKeepsTheCellTableAndMovesIndexPositions) {
  NEED_XLS(SortXls());
  const std::string hand = HandMadeStream();
  TempDir dir;
  std::string path = Copy(WithStream([&](std::string& s) { s = hand; }), dir);
  Change(path, [](auto& sheets) { sheets.at("Hand")->SetRowHidden(3, true); });
  CompoundFile saved(fixtures::ReadFile(path), path);
  const std::string stream = saved.ReadStream(saved.Find("Workbook"));
  EXPECT_EQ(stream.size(), hand.size() + 12);  // RECALCID, and nothing written anew
  EXPECT_EQ(CellTableFault(stream), "");
  EXPECT_TRUE(OpenXls(path)->Sheet(0)->RowHidden(3));
}

TEST(XlsStore, OneRowArrayFormulasMoveWithTheirRowsAndTallerOnesAreRefused) {
  const std::string bytes = xlsfixtures::ConvertedCached(xlsfixtures::ArrayXlsx, "xls");
  NEED_XLS(bytes);
  TempDir dir;
  std::string path = Copy(bytes, dir);
  Change(path, [](auto& sheets) {
    host::SheetStore* data = sheets.at("Data");
    EXPECT_THROW(host::SortRows(*data, host::CellArea{1, 1, 4, 5}, 1, false), host::SortRefused);
    EXPECT_TRUE(host::SortRows(*data, host::CellArea{1, 1, 4, 3}, 1, false));
  });
  auto book = OpenXls(path);
  auto* data = book->Sheet(0);
  for (int r = 1; r <= 4; ++r) {
    EXPECT_EQ(data->Value(r, 1).number, r);
    EXPECT_EQ(data->Value(r, 2).number, r * 10);  // the cached result moved with its array
  }
  auto formulas = LibreOfficeFormulas(LibreOfficeXlsx(path, dir));
  if (formulas.empty()) GTEST_SKIP() << "LibreOffice could not read the result back";
  for (int r = 1; r <= 4; ++r) EXPECT_EQ(formulas["B" + std::to_string(r)], "A" + std::to_string(r) + "*{10,20}");
  EXPECT_EQ(formulas["E1"], "A1:A2*2");
  EXPECT_EQ(data->Formula(3, 3), "A3*{10,20}");  // an array's cell shows the array's formula
}

// The object model over an .xls: opened by content, shown under its number
// formats, hidden and sorted with the host's rules, saved in place.
TEST(XlsStore, ThroughTheObjectModel) {
  NEED_XLS(SortXls());
  if (!xlsfixtures::HavePython("xlrd")) GTEST_SKIP() << "python3-xlrd is not installed";
  TempDir dir;
  std::string path = Copy(SortXls(), dir, "old workbook.xls");
  {
    host::Application app;
    host::Workbook* book = &app.Workbooks().Open(path);
    host::Worksheet& data = book->ActiveSheet();
    EXPECT_EQ(data.Name(), "Data");
    EXPECT_EQ(data.Cells(3, 3).Text(), "2023-03-16");
    EXPECT_EQ(data.Cells(4, 4).Formula(), "B4*2");
    data.GetRange("A2:G9").Sort(host::CellRef{1, 2});
    data.Rows(3).SetHidden(true);
    book->Save();
  }
  auto lines = XlrdData(path, dir);
  EXPECT_TRUE(Has(lines, "1 0 'apple'"));
  EXPECT_TRUE(Has(lines, "hidden 2"));
  EXPECT_TRUE(Has(lines, "hidden 5"));
}

}  // namespace

// A hyperlink over several rows, as the reference program writes one (one
// HLINK record with rwFirst < rwLast): after the sort each of its cells keeps
// the link, and the record is split into one per run of rows its cells went
// to; python3-xlrd reads the links where the cells now stand.
TEST(XlsStore, ALinkOverSeveralRowsFollowsEachOfItsCells) {
  NEED_XLS(SortXls());
  if (!xlsfixtures::HavePython("xlrd")) GTEST_SKIP() << "python3-xlrd is not installed";
  TempDir dir;
  // The link on A4 (honeydew) made to cover A4:A7.
  std::string path = Copy(WithStream([](std::string& s) {
                            const size_t link = FirstRecord(s, 0x01B8);
                            ASSERT_EQ(W(s, link + 4), 3);
                            s[link + 6] = 6;
                          }),
                          dir);
  Change(path, [](auto& sheets) { EXPECT_TRUE(host::SortRows(*sheets.at("Data"), host::CellArea{2, 1, 9, 7}, 2, false)); });
  auto lines = XlrdData(path, dir);
  // honeydew, apple, grape (hidden, stays) and banana went to rows 9, 2, 6 and 3.
  std::vector<std::string> links;
  for (const std::string& line : lines)
    if (line.rfind("link ", 0) == 0) links.push_back(line);
  std::sort(links.begin(), links.end());
  EXPECT_EQ(links, (std::vector<std::string>{"link 1 0 1 https://example.org/honeydew", "link 2 0 2 https://example.org/honeydew",
                                             "link 5 0 5 https://example.org/honeydew", "link 8 0 8 https://example.org/honeydew"}));
  EXPECT_TRUE(Has(lines, "1 0 'apple'"));
  EXPECT_TRUE(Has(lines, "2 0 'banana'"));
}

TEST(XlsStore, MovedRowsCellsStandInTheOrderASortOfThemGives) {
  // Sheets as (row, column) of their cells (0-based), a move as the area
  // (1-based) and each area row's target: rows with as many cells in the
  // area's columns each, rows with gaps, cells left and right of the area.
  struct Case {
    std::vector<std::pair<uint16_t, uint16_t>> cells;
    host::CellArea area;
    host::RowNumbers targetOf;
  };
  const Case cases[] = {
      {{{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}, {3, 0}}, {1, 1, 3, 2}, {3, 1, 2}},
      {{{0, 0}, {0, 1}, {1, 1}, {2, 0}, {2, 1}, {4, 0}}, {1, 1, 5, 2}, {5, 4, 1, 3, 2}},
      {{{0, 0}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {1, 5}, {2, 0}, {2, 2}, {2, 3}}, {1, 3, 3, 4}, {2, 3, 1}},
      {{{1, 0}, {1, 2}, {1, 3}, {2, 2}, {2, 4}, {3, 0}, {3, 1}, {3, 2}, {5, 2}}, {2, 2, 4, 3}, {4, 2, 3}},
      {{{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {3, 0}, {3, 1}}, {1, 1, 4, 2}, {4, 2, 3, 1}},
  };
  for (const Case& c : cases) {
    std::vector<CellRef> cells;
    for (const auto& [row, column] : c.cells) {
      CellRef& cell = cells.emplace_back();
      cell.row = row;
      cell.column = column;
      cell.recordOffset = static_cast<uint32_t>(cells.size());
    }
    std::vector<CellRef> expected = cells;
    for (CellRef& cell : expected)
      if (cell.row + 1 >= c.area.firstRow && cell.row + 1 <= c.area.lastRow && cell.column + 1 >= c.area.firstColumn &&
          cell.column + 1 <= c.area.lastColumn)
        cell.row = static_cast<uint16_t>(c.targetOf[cell.row + 1 - c.area.firstRow] - 1);
    SortCells(expected);
    MoveCellRows(cells, c.area, c.targetOf);
    ASSERT_EQ(cells.size(), expected.size());
    for (size_t i = 0; i < cells.size(); ++i)
      EXPECT_TRUE(cells[i].row == expected[i].row && cells[i].column == expected[i].column &&
                  cells[i].recordOffset == expected[i].recordOffset)
          << "cell " << i << " of the case moving rows " << c.area.firstRow << " to " << c.area.lastRow;
  }
}
