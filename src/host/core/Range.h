#pragma once
// A rectangular block of cells on one worksheet. A value type: it holds the
// sheet and the area, and stays valid while its workbook is open.

#include <string>

#include "host/core/CellRef.h"
#include "host/core/ColumnRef.h"
#include "host/core/RowRef.h"

namespace host {

class Worksheet;

class Range {
 public:
  // The block firstRow..lastRow x firstColumn..lastColumn (1-based, inclusive).
  Range(host::Worksheet& sheet, int firstRow, int firstColumn, int lastRow, int lastColumn);

  // Row and column number of the first cell.
  int Row() const { return firstRow_; }
  int Column() const { return firstColumn_; }
  // Row and column number of the last cell.
  int LastRow() const { return lastRow_; }
  int LastColumn() const { return lastColumn_; }

  // The rows of the range; Rows()(n) is the n-th row (1-based), whose Row()
  // is its sheet row number.
  struct RowsCollection {
    host::Worksheet* sheet;
    int firstRow;
    int count;
    int Count() const { return count; }
    RowRef operator()(int n) const;
  };
  // The columns of the range; Columns()(n).Column() is a sheet column number.
  struct ColumnsCollection {
    int firstColumn;
    int count;
    int Count() const { return count; }
    ColumnRef operator()(int n) const;
  };
  RowsCollection Rows() const;
  ColumnsCollection Columns() const;

  // The sheet that holds the range.
  host::Worksheet& Worksheet() const { return *sheet_; }

  // Reorders the rows of the range by the cells in key1's column: order1 = 1
  // ascending, 2 descending. Stable, no header row. Numbers and dates first,
  // then text (in the user's language order, see TextCollator), then FALSE,
  // TRUE, then errors; empty cells last in either order. Whole cells move,
  // within the range's columns only. Hidden rows keep their place; notes,
  // hyperlinks and cell metadata move with their cells. A range that is a
  // table's area sorts the table's data rows. When any cell moves in a
  // workbook that holds formulas or defined names, it is recalculated when
  // next opened. Throws HostError (nothing changed then) when the sheet is
  // protected against sorting, the key column lies outside the range, the
  // range would tear apart a table, merged cells or an array formula, or a
  // key cell holds a formula that was never calculated.
  void Sort(CellRef key1, int order1 = 1);

  // The absolute address, "$B$2:$D$9", or "$B$5" for a single cell.
  std::string Address() const;

  friend bool operator==(const Range& a, const Range& b) {
    return a.sheet_ == b.sheet_ && a.firstRow_ == b.firstRow_ && a.firstColumn_ == b.firstColumn_ &&
           a.lastRow_ == b.lastRow_ && a.lastColumn_ == b.lastColumn_;
  }

 private:
  host::Worksheet* sheet_;
  int firstRow_;
  int firstColumn_;
  int lastRow_;
  int lastColumn_;
};

}  // namespace host
