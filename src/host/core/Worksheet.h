#pragma once
// One worksheet of an open workbook: its cells, rows and used range.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/core/Cell.h"
#include "host/core/CellAddress.h"
#include "host/core/Range.h"
#include "host/core/RowRef.h"
#include "host/core/RowSet.h"
#include "host/core/SortPlan.h"

namespace host {

class Workbook;
class SheetStore;

class Worksheet {
 public:
  Worksheet(Workbook& workbook, std::string name, int index, SheetStore& store);
  ~Worksheet();
  Worksheet(const Worksheet&) = delete;
  Worksheet& operator=(const Worksheet&) = delete;

  // The sheet's name as its tab shows it.
  std::string Name() const { return name_; }
  // 1-based position among all sheets of the workbook (chart sheets counted).
  int Index() const { return index_; }

  // The bounding box of every cell the sheet holds (with a value or only a
  // style); A1 for an empty sheet.
  Range UsedRange();
  // The cells a reference may name: A1:XFD1048576, or the format's grid
  // where it runs further (a CSV file's is as long as the file).
  CellArea Reach() const;
  // The cell at (row, column); HostError outside Reach().
  Cell Cells(int row, int column);
  // Row n of the sheet; HostError outside Reach()'s rows.
  RowRef Rows(int row);
  // The range of an A1 reference: "B2:D9", "$B$2:$D$9", "B5" (also "C:C" and
  // "3:3", whole columns to Reach()'s last row). HostError when malformed or
  // beyond Reach().
  Range GetRange(std::string_view a1);

  Workbook& Parent() { return *workbook_; }
  const Workbook& Parent() const { return *workbook_; }

  // The extent a viewer shows: the last row and column of the used range.
  int MaxRow() const;
  int MaxColumn() const;
  // True when the row is hidden.
  bool RowHidden(int row) const;
  // Hides or shows the row (see RowRef::SetHidden for the checks).
  void SetRowHidden(int row, bool hidden);
  // The runs of rows within firstRow..lastRow that are copies of one
  // another (see SheetStore::RepeatedRows): what a reader of every row reads
  // once per run.
  std::vector<RowRun> RepeatedRows(int firstRow, int lastRow) const;
  // What changed since the sheet was read: rows that sorts moved to another
  // row, and rows hidden that showed.
  int RowsMoved() const { return rowsMoved_; }
  int RowsHiddenSinceOpen() const { return static_cast<int>(hiddenSinceOpen_.Size()); }
  // Counts rows a sort moved (see Range::Sort).
  void AddRowsMoved(size_t rows) { rowsMoved_ += static_cast<int>(rows); }

  // The sheet's cells as its file format holds them (for the classes of the host).
  SheetStore& Store() { return *store_; }
  const SheetStore& Store() const { return *store_; }

 private:
  // The store's used area, grown to take in every merged area that reaches
  // into it; false when the sheet holds no cell.
  bool UsedArea(CellArea& area) const;

  Workbook* workbook_;
  std::string name_;
  int index_;
  SheetStore* store_;  // owned by the workbook's store
  int rowsMoved_ = 0;
  // Rows hidden now that showed at open, and rows shown that were hidden.
  RowSet hiddenSinceOpen_;
  RowSet shownSinceOpen_;
};

}  // namespace host
