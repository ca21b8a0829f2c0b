#pragma once
// Helpers of the .xls tests: workbooks that LibreOffice writes as .xls from
// workbooks the tests make, direct edits of a compound file's bytes, and
// python3-olefile as an independent reader.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Fixtures.h"

namespace xlsfixtures {

// Hand-made BIFF8 records: little-endian integers, a double, a record, the
// BOF of a substream kind (0x0005 globals, 0x0010 worksheet), EOF, and the
// row, column and XF that begin a cell record.
std::string Le(uint64_t value, int width);
std::string Double(double value);
std::string Rec(uint16_t type, const std::string& body);
std::string Bof(uint16_t kind);
std::string Eof();
std::string Cell(uint16_t row, uint16_t column, uint16_t xf);

// A string longer than an SST record holds, with characters beyond Latin-1.
std::string LongString();
// Number of the short distinct strings on sheet "Strings" (column A).
constexpr int kManyStrings = 3000;
std::string ManyString(int i);

// An .xlsx (libxlsxwriter) with three sheets; returns its path in dir.
// "Data": A1 1.5, A2 "pear", A3 "Ünïcödé ✓", A4 42, A5 -0.25, A6 123456789.125,
//   B1 TRUE, B2 =A1*2, B3 ="x"&A2, B4 =1/0, B5 =A1>1, B6 blank with a format,
//   C1 a rich string "bold plain"; row 4 hidden.
// "Strings": A1.. ManyString(0..kManyStrings-1), B1 LongString().
// "Second": A1 7.
std::string RichXlsx(const fixtures::TempDir& dir);

// Converts a workbook with soffice (own profile in work) to the filter given
// ("xls", "xls:MS Excel 95", "csv"); returns the new file's path, empty on failure.
std::string SofficeConvert(const std::string& source, const std::string& filter, const fixtures::TempDir& work);

// The bytes of RichXlsx as LibreOffice writes it as .xls (made once and kept
// in the build folder); empty without soffice.
const std::string& LibreOfficeXls();

// An .xlsx (libxlsxwriter) for sorting; returns its path in dir.
// "Data": row 1 headers; rows 2-9 A fruit names (shared strings), B
//   quantities, C dates ("yyyy-mm-dd"), D =B<r>*2, E =$B$2+B<r>, F =Other!$A$1+B<r>
//   (cached values written), G TRUE/FALSE; row 6 hidden; a note on A3, a
//   hyperlink on A4; A12:B12 merged.
// "Other": A1 100. "Locked": protected, A1 1. "SortOK": protected with
//   sorting and row formatting allowed, A1 1.
std::string SortXlsx(const fixtures::TempDir& dir);
// The quantities of SortXlsx's data rows 2-9, in row order.
std::vector<double> SortQuantities();

// An .xlsx with array formulas: "Data" A1:A4 3, 1, 4, 2; B<r>:C<r> the
// one-row array {=A<r>*{10,20}}; E1:E2 the array {=A1:A2*2}.
std::string ArrayXlsx(const fixtures::TempDir& dir);

// The bytes of the workbook that make(dir) writes, as LibreOffice saves it
// with filter ("xls", "xls:MS Excel 95"); made once per content and kept in
// the build folder. Empty without soffice.
std::string ConvertedCached(const std::function<std::string(const fixtures::TempDir&)>& make,
                            const std::string& filter);

// Edits the 128 bytes of directory entry index of a small compound file
// (its FAT listed in the header) in place.
void EditEntry(std::string& file, int index, const std::function<void(std::string&)>& edit);
// Sets FAT entry sector of a small compound file.
void SetFat(std::string& file, uint32_t sector, uint32_t value);

// The output of a shell command, one string per line.
std::vector<std::string> RunLines(const std::string& command);

// True when /usr/bin/python3 imports the module.
bool HavePython(const std::string& module);

// One entry as python3-olefile reads it.
struct OleEntry {
  std::string path, clsid;
  int type = 0;
  uint64_t stateBits = 0, created = 0, modified = 0, size = 0;
  std::string data;  // streams only
};
// Every entry below the root of the compound file at path, by path; the
// root itself under "". Empty when olefile cannot read the file.
std::map<std::string, OleEntry> OlefileEntries(const std::string& path, const fixtures::TempDir& work);

// The non-empty cells of every sheet as python3-xlrd reads the .xls at path,
// one "sheet row column type value" line each (xlrd's cell types: 1 text,
// 2 number, 4 boolean, 5 error; numbers as Python's repr). Empty when xlrd
// cannot read the file.
std::vector<std::string> XlrdCells(const std::string& path, const fixtures::TempDir& work);

}  // namespace xlsfixtures
