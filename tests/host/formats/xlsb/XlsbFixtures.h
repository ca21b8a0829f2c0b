#pragma once
// Binary workbooks (.xlsb) for the tests, written record by record as the public
// MS-XLSB document lays them out (no Debian package writes .xlsb):
// record framing, the cell kinds, row headers, shared strings, a workbook
// part and the package around them.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Fixtures.h"

namespace xlsbfixtures {

// Little-endian integers, a double, and a wide string (count of UTF-16 units, then the units).
std::string U16(uint32_t value);
std::string U32(uint32_t value);
std::string F64(double value);
std::string Wide(const std::string& ascii);

// One record: its type and size as variable-length integers, then body.
std::string Record(uint32_t type, const std::string& body);

// Sheet data records (rows and columns 0-based).
std::string Row(int row, bool hidden = false);
std::string Blank(int column, uint32_t style = 0);
std::string Number(int column, double value, uint32_t style = 0);
std::string Rk(int column, uint32_t rk);
std::string Text(int column, const std::string& text);           // BrtCellSt
std::string Shared(int column, uint32_t index, uint32_t style = 0);  // BrtCellIsst
std::string Bool(int column, bool value);
std::string Error(int column, uint8_t code);
// A formula cell with a cached number and its tokens (and extra data).
std::string FormulaNumber(int column, double cached, const std::string& rgce, const std::string& rgcb = "");
// Tokens: a relative reference, an area, a 3-D reference, a number, an operator.
std::string PtgRef(uint32_t row, uint32_t column, bool rowRelative = true, bool columnRelative = true);
std::string PtgRefN(int32_t rowOffset, int32_t columnOffset);
std::string PtgArea(uint32_t firstRow, uint32_t lastRow, uint32_t firstColumn, uint32_t lastColumn, bool relative = true);
std::string PtgRef3d(uint16_t xti, uint32_t row, uint32_t column);
std::string PtgNum(double value);
std::string PtgExp(uint32_t row);
// More tokens: an area on another sheet, a small integer, a boolean, a
// text, a function of a variable count of arguments (its iftab number), and
// a one-byte token (an operator: 0x03 add .. 0x0B equal, 0x15 parentheses).
std::string PtgArea3d(uint16_t xti, uint32_t firstRow, uint32_t lastRow, uint32_t firstColumn, uint32_t lastColumn);
std::string PtgInt(uint16_t value);
std::string PtgBool(bool value);
std::string PtgStr(const std::string& ascii);
std::string PtgFuncVar(uint8_t arguments, uint16_t function);
std::string PtgOp(uint8_t token);
std::string PtgFunc(uint16_t function);  // a function of a fixed count of arguments
std::string Area(int firstRow, int lastRow, int firstColumn, int lastColumn);  // an RfX
std::string SharedFormula(int firstRow, int lastRow, int firstColumn, int lastColumn, const std::string& rgce);
std::string MergeCells(const std::vector<std::string>& areas);
std::string Hyperlink(int firstRow, int lastRow, int firstColumn, int lastColumn, const std::string& relId);
std::string Protection(bool sortLocked, bool formatRowsLocked);

struct SheetSpec {
  std::string name;
  std::string data;   // the records between BrtBeginSheetData and BrtEndSheetData
  std::string after;  // records after BrtEndSheetData
  std::vector<std::pair<std::string, std::string>> parts;  // more parts of the sheet (name, bytes)
  std::string rels;   // the sheet's relationships XML ("" for none)
};

// The package of a workbook with the sheets, shared strings and (if given)
// the style part; the first sheet active unless activeTab says otherwise.
// With more than one sheet, 3-D reference XTI i names sheet i.
std::vector<std::pair<std::string, std::string>> Package(const std::vector<SheetSpec>& sheets,
                                                          const std::vector<std::string>& strings,
                                                          const std::string& styles = "", uint32_t activeTab = 0,
                                                          bool date1904 = false);
std::string SheetPart(const std::string& data, const std::string& after = "");
// A style part with custom formats (id, code) and cell formats by format id.
std::string StylesPart(const std::vector<std::pair<uint16_t, std::string>>& formats, const std::vector<uint16_t>& xfs);

// Writes the package as dir/file and returns the path.
std::string Write(const fixtures::TempDir& dir, const std::string& file,
                  const std::vector<std::pair<std::string, std::string>>& parts);

// The contract's workbook: keys "b", "a", "c" in A1:A3 (shared strings), the
// starting row in B; with merged, text "<key>-m" in C and C:D merged in each row.
std::string Keys(const fixtures::TempDir& dir, const std::string& file, bool merged = false);

// A workbook saved with a password to open it, as office programs store one:
// an OLE2 compound file (version 3, 512-byte sectors) holding the streams
// EncryptionInfo (agile, version 4.4) and EncryptedPackage, eight sectors
// each; their contents stand in for real ones (no reader gets past the names).
std::string EncryptedPackageFile();

}  // namespace xlsbfixtures
