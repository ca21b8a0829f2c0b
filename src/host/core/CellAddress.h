#pragma once
// A1-style cell addresses: column letters, cell references and the sheet's
// limits (XFD1048576).

#include <string>
#include <string_view>

namespace host {

inline constexpr int kMaxRows = 1048576;
inline constexpr int kMaxColumns = 16384;

// "A" for 1, "XFD" for 16384.
std::string ColumnLetters(int column);
// Appends the letters of column to out (no allocation when out has room).
void AppendColumnLetters(std::string& out, int column);

// Parses "B7" / "$B$7" (letters in either case) into row and column; false
// when malformed or outside the sheet.
bool ParseCellReference(std::string_view text, int& row, int& column);

// Parses a cell reference without "$" as stored in a cell's r attribute.
// Returns false when malformed or outside the sheet.
bool ParsePlainCellReference(std::string_view text, int& row, int& column);

// A block of cells, 1-based and inclusive.
struct CellArea {
  int firstRow = 1;
  int firstColumn = 1;
  int lastRow = 1;
  int lastColumn = 1;
  bool Intersects(const CellArea& o) const {
    return firstRow <= o.lastRow && o.firstRow <= lastRow && firstColumn <= o.lastColumn &&
           o.firstColumn <= lastColumn;
  }
  bool Contains(const CellArea& o) const {
    return firstRow <= o.firstRow && o.lastRow <= lastRow && firstColumn <= o.firstColumn &&
           o.lastColumn <= lastColumn;
  }
  bool operator==(const CellArea&) const = default;
};

// Parses "B2:D9", "$B$2:$D$9", "B5", whole columns "C:E" and whole rows
// "3:7"; the corners may come in any order. Rows run to lastRow (a sheet
// whose grid is longer than XFD1048576's, a CSV file's, passes its own), and
// whole columns end there. False when malformed.
bool ParseAreaReference(std::string_view text, CellArea& area, int lastRow = kMaxRows);

// "A1 to XFD1048576": the cells of a sheet's grid, as messages name them.
std::string GridExtent(const CellArea& grid);

// "$B$2:$D$9", or "$B$5" for a single cell.
std::string AbsoluteAddress(const CellArea& area);
// "B2:D9", or "B5": as a part's ref attributes name an area.
std::string PlainAddress(const CellArea& area);

}  // namespace host
