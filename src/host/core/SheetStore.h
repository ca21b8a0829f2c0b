#pragma once
// What a file format gives the host for one worksheet: its cells read as
// stored values, its rows' hidden flags, the areas a sort must keep whole,
// and the two changes the host makes, kept until the workbook is saved. The
// core decides every change (which rows a sort moves and where, what is
// refused, what is counted; see RowSort.h); a store answers these narrow
// questions and applies what was decided in its own records. Each format
// folder implements it; the object model (Worksheet, Cell, RowRef, Range)
// reaches the sheet only through it.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/core/CellAddress.h"
#include "host/core/SortPlan.h"
#include "host/core/StoredValue.h"

namespace host {

class SortKeyList;

// What a cell's formula is to the calculation engine before its A1 text is
// built (see SheetStore::FormulaShape).
enum class FormulaKey { None, Shaped, Unshaped };

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

  // True when the sheet is protected and sorting is not allowed on it.
  virtual bool SortProtected() const { return false; }
  // True when the sheet is protected and formatting rows is not allowed.
  virtual bool RowFormattingProtected() const { return false; }
  // True when any cell of the sheet holds a formula.
  virtual bool HoldsFormulas() const = 0;

  // The cells the format's sheet can hold: A1:XFD1048576 unless it holds
  // fewer (an .xls sheet: 65,536 rows of 256 columns) or more (a CSV file
  // has no grid: its sheet runs as far as its records).
  virtual CellArea Grid() const { return CellArea{1, 1, kMaxRows, kMaxColumns}; }
  // What a sort must keep whole besides the merged areas: the array
  // formulas' areas and the sheet's tables.
  virtual std::vector<CellArea> ArrayFormulaAreas() const { return {}; }
  virtual std::vector<TableArea> TableAreas() const { return {}; }
  // The runs of two or more rows within firstRow..lastRow (each cut to it)
  // that are copies of one another, in row order; a row in no run stands
  // alone. A format that keeps repeated rows as one record gives them, so
  // that the core reads such a run once (a run of a million empty rows costs
  // what one row costs); the default gives none. A store that gives runs
  // gets its moves over them as pieces (RowMove::pieces), not row by row.
  virtual std::vector<RowRun> RepeatedRows(int firstRow, int lastRow) const {
    (void)firstRow;
    (void)lastRow;
    return {};
  }
  // Adds the key cells of column keyColumn in rows firstRow..lastRow to keys,
  // in ascending row order; blank cells may be left out, hidden rows may be
  // included (the core leaves them out). The default reads Value(); a format
  // reads its records directly where that is faster.
  virtual void ReadSortKeys(int firstRow, int lastRow, int keyColumn, SortKeyList& keys) const;
  // Puts the cells of move.area's columns that stood in row r into row
  // move.targetOf[r - move.area.firstRow], as the core decided: cells keep
  // their values and styles, formulas shift as a copy would shift them in
  // the format's own grammar, and notes and links travel with their cells.
  // Cells outside the area stay. Returns the rows whose cells went to
  // another row; 0 when none did, and then nothing changed. Throws
  // SortRefused, with nothing changed, when the format cannot apply it.
  virtual size_t MoveRows(const RowMove& move) = 0;

  // The cell's formula as a key its shape's formulas share, for a format
  // whose formulas are not written in A1: Shaped fills key with the formula
  // in the format's own grammar, each relative coordinate written as an
  // offset from the cell (cells of one key have one A1 formula up to those
  // offsets, so the engine reads one tree for them all); None when the cell
  // holds no formula; Unshaped when the store gives no key (the engine then
  // reads Formula()).
  virtual FormulaKey FormulaShape(int row, int column, std::string& key) const {
    (void)row;
    (void)column;
    (void)key;
    return FormulaKey::Unshaped;
  }

  // The cells holding a formula, as (row, column) in row order; none where
  // the format gives the host no results to keep (see SetFormulaResult).
  virtual std::vector<std::pair<int, int>> FormulaCells() const { return {}; }
  // Keeps a formula's freshly computed result in the cell's stored-result
  // field until the save, Value() giving it from now on; false, with nothing
  // changed, when the format cannot keep it there (the result is then left
  // to the recalculation the workbook asks for when opened).
  virtual bool SetFormulaResult(int row, int column, const StoredValue& result) {
    (void)row;
    (void)column;
    (void)result;
    return false;
  }
};

}  // namespace host
