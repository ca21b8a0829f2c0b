#include "host/core/Worksheet.h"

#include <algorithm>
#include <vector>

#include "host/core/CellAddress.h"
#include "host/core/HostError.h"
#include "host/core/SheetStore.h"
#include "host/core/Workbook.h"

namespace host {

Worksheet::Worksheet(Workbook& workbook, std::string name, int index, SheetStore& store)
    : workbook_(&workbook), name_(std::move(name)), index_(index), store_(&store) {}

Worksheet::~Worksheet() = default;

bool Worksheet::UsedArea(CellArea& area) const {
  if (!store_->UsedArea(area)) return false;
  const std::vector<CellArea> merged = store_->MergedCellAreas();
  // A merged area taken in may reach another one: grow until none does.
  for (bool grew = !merged.empty(); grew;) {
    grew = false;
    for (const CellArea& m : merged) {
      if (!area.Intersects(m)) continue;
      const CellArea both{std::min(area.firstRow, m.firstRow), std::min(area.firstColumn, m.firstColumn),
                          std::max(area.lastRow, m.lastRow), std::max(area.lastColumn, m.lastColumn)};
      if (both.firstRow != area.firstRow || both.firstColumn != area.firstColumn || both.lastRow != area.lastRow ||
          both.lastColumn != area.lastColumn) {
        area = both;
        grew = true;
      }
    }
  }
  return true;
}

Range Worksheet::UsedRange() {
  CellArea area;
  if (!UsedArea(area)) return Range(*this, 1, 1, 1, 1);
  return Range(*this, area.firstRow, area.firstColumn, area.lastRow, area.lastColumn);
}

CellArea Worksheet::Reach() const {
  // A smaller grid (an .xls sheet's) still answers for the cells past it:
  // they are empty and show.
  const CellArea grid = store_->Grid();
  return CellArea{1, 1, std::max(grid.lastRow, kMaxRows), std::max(grid.lastColumn, kMaxColumns)};
}

Cell Worksheet::Cells(int row, int column) {
  const CellArea grid = Reach();
  if (row < 1 || row > grid.lastRow || column < 1 || column > grid.lastColumn)
    throw HostError("Cells(" + std::to_string(row) + ", " + std::to_string(column) + ") lies outside sheet \"" + name_ +
                    "\" (" + GridExtent(grid) + ").");
  return Cell(*this, row, column);
}

RowRef Worksheet::Rows(int row) {
  const int lastRow = Reach().lastRow;
  if (row < 1 || row > lastRow)
    throw HostError("Row " + std::to_string(row) + " lies outside sheet \"" + name_ + "\" (rows 1 to " +
                    std::to_string(lastRow) + ").");
  return RowRef(*this, row);
}

Range Worksheet::GetRange(std::string_view a1) {
  CellArea area;
  const CellArea grid = Reach();
  if (!ParseAreaReference(a1, area, grid.lastRow))
    throw HostError("\"" + std::string(a1) + "\" is not a cell reference on sheet \"" + name_ +
                    "\" (expected something like B2:D9 within " + GridExtent(grid) + ").");
  return Range(*this, area.firstRow, area.firstColumn, area.lastRow, area.lastColumn);
}

int Worksheet::MaxRow() const {
  CellArea area;
  return UsedArea(area) ? area.lastRow : 1;
}

int Worksheet::MaxColumn() const {
  CellArea area;
  return UsedArea(area) ? area.lastColumn : 1;
}

std::vector<RowRun> Worksheet::RepeatedRows(int firstRow, int lastRow) const {
  return store_->RepeatedRows(firstRow, lastRow);
}

bool Worksheet::RowHidden(int row) const { return store_->RowHidden(row); }

void Worksheet::SetRowHidden(int row, bool hidden) {
  // A row past what the format's sheet holds is empty and shows: hiding it
  // is refused, showing it is no change.
  const int lastRow = store_->Grid().lastRow;
  if (row > lastRow) {
    if (!hidden) return;
    throw HostError("Cannot hide row " + std::to_string(row) + " of sheet \"" + name_ + "\" in \"" +
                    workbook_->FullName() + "\": the sheet holds " + std::to_string(lastRow) + " rows.");
  }
  if (store_->RowHidden(row) == hidden) return;
  store_->SetRowHidden(row, hidden);
  // A row back in the state it had at open is no change.
  auto& undone = hidden ? shownSinceOpen_ : hiddenSinceOpen_;
  auto& done = hidden ? hiddenSinceOpen_ : shownSinceOpen_;
  if (!undone.Erase(row)) done.Insert(row);
}

}  // namespace host
