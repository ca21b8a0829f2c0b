#pragma once
// What a sort of rows may move, whatever the file format: which rows of a
// range are reordered, where each row goes, and which arrangements are
// refused because a reorder would tear a record apart (merged cells, array
// formulas, tables). The format's reader hands in plain areas; the answer is
// a permutation of row numbers or a refusal.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/core/CellAddress.h"
#include "host/core/RowNumbers.h"

namespace host {

// A table on a sheet as a plain area: its name and its whole area, header
// and totals rows included.
struct TableArea {
  std::string name;
  CellArea area;
  int headerRows = 1;
  int totalsRows = 0;
};

// Why a sort is refused, in the user's words; the caller adds the range and
// the sheet.
class SortRefused : public std::invalid_argument {
 public:
  explicit SortRefused(const std::string& reason) : std::invalid_argument(reason), reason_(reason) {}
  // Why, in the host's own words, to follow "Cannot sort <range> ...: ".
  const std::string& Reason() const noexcept { return reason_; }

 private:
  std::string reason_;
};

// The refusal of a key cell at (row, column) that holds a formula never
// calculated: it has no value to sort by.
SortRefused NeverCalculatedKey(int row, int column);

// Rows that are copies of one another (the same cells in every column, the
// same hidden state): what one repeated row record of a format holds.
struct RowRun {
  int firstRow = 0;
  int count = 0;
};

// Where the rows of one sort went: targetOf[row - area.firstRow] is the new
// row of the cells that stood in row, within area's columns.
// Rows that went together: count rows from source on went to the rows from
// target on.
struct RowPiece {
  int target = 0;
  int source = 0;
  int count = 0;
  bool operator==(const RowPiece&) const = default;
};

// targetOf is empty, and pieces (in target order, covering area's rows)
// give the move instead, for a store that names repeated rows
// (SheetStore::RepeatedRows) when the area holds any.
struct RowMove {
  CellArea area;
  RowNumbers targetOf;
  std::vector<RowPiece> pieces;
};

// The pieces of a move given row by row: sourceOf[k] is the row whose cells
// went to row firstRow + k; rows that went on together are one piece.
std::vector<RowPiece> PiecesOf(int firstRow, const RowNumbers& sourceOf);
// The same pieces (in target order) with those that run on in both target
// and source joined.
std::vector<RowPiece> JoinedPieces(const std::vector<RowPiece>& pieces);

// The rows a sort of range reorders: the range itself, or the data rows of
// the one table whose area the range is. Empty when there is nothing to
// reorder (a single row, a table without data rows). Throws SortRefused when
// the range holds part of a table, merged cells of different sizes or cut by
// the range, or an array formula that spans rows or is cut by the range.
std::optional<CellArea> RowsToReorder(const CellArea& range, const std::vector<CellArea>& merged,
                                      const std::vector<CellArea>& arrays, const std::vector<TableArea>& tables);

// The source row of every row firstRow..lastRow after the sort: hidden rows
// (ascending) keep their place; the visible rows take, in order, first the
// rows of keyedInOrder (the rows with a key, sorted) and then the other
// visible rows in their old order.
RowNumbers PlaceRows(int firstRow, int lastRow, const std::vector<int>& hiddenRows, const RowNumbers& keyedInOrder);

// The row a cell at (row, column) stands in after the moves, applied in turn.
int MovedRow(const std::vector<RowMove>& moves, int row, int column);

// The areas that cover area's cells after the moves, for a record that names
// an area and follows its cells (a hyperlink): parts no move touched keep
// their place; a moved part becomes one area per run of rows that went to
// consecutive rows together.
std::vector<CellArea> MovedAreas(const CellArea& area, const std::vector<RowMove>& moves);

}  // namespace host
