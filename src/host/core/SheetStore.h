#pragma once
// What a file format gives the host for one worksheet: its cells read as
// stored values, its rows' hidden flags, and the two changes the host makes
// (hiding rows, sorting rows), kept until the workbook is saved. Each format
// folder implements it over its own records; the object model (Worksheet,
// Cell, RowRef, Range) reaches the sheet only through it.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/core/CellAddress.h"
#include "host/core/StoredValue.h"

namespace host {

class SheetStore {
 public:
  virtual ~SheetStore() = default;

  // The bounding box of the cells the sheet holds (with a value or only a
  // style); false when it holds none.
  virtual bool UsedArea(CellArea& area) const = 0;
  // The sheet's merged areas. The used range takes in each one that reaches
  // into it, as a merged area is one cell to the user.
  virtual std::vector<CellArea> MergedCellAreas() const { return {}; }
  // The value of the cell at (row, column), 1-based; Blank where the sheet
  // holds no cell.
  virtual StoredValue Value(int row, int column) const = 0;
  // The number format code of the cell's style; "General" when none.
  virtual std::string_view FormatCode(int row, int column) const = 0;
  // The cell's formula without its leading "=", or empty.
  virtual std::string Formula(int row, int column) const = 0;
  // The text the cell shows when the file stores it (a CSV field as
  // written, an OpenDocument cell's paragraphs); nullopt when the host
  // formats the value under the number format instead.
  virtual std::optional<std::string> StoredText(int row, int column) const {
    (void)row;
    (void)column;
    return std::nullopt;
  }

  virtual bool RowHidden(int row) const = 0;
  // Hides or shows a row; nothing else of the row changes. Throws HostError
  // (nothing changed) when the format cannot keep hidden rows.
  virtual void SetRowHidden(int row, bool hidden) = 0;
  // Rows hidden now that showed when the sheet was read.
  virtual size_t RowsHiddenSinceOpen() const = 0;

  // True when the sheet is protected and sorting is not allowed on it.
  virtual bool SortProtected() const { return false; }
  // True when the sheet is protected and formatting rows is not allowed.
  virtual bool RowFormattingProtected() const { return false; }
  // True when any cell of the sheet holds a formula.
  virtual bool HoldsFormulas() const = 0;

  // Reorders the visible rows of area within its columns by the cells of
  // keyColumn, one of area's columns (the core refuses any other) (see Range::Sort and SortPlan.h for what moves and what is
  // refused). Returns true when any cell moved. Throws SortRefused with the
  // reason; nothing changes then.
  virtual bool Sort(const CellArea& area, int keyColumn, bool descending) = 0;
  // Rows whose cells the sorts so far moved to another row.
  virtual size_t RowsMoved() const = 0;
};

}  // namespace host
