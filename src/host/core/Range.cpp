#include "host/core/Range.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "host/core/CellAddress.h"
#include "host/core/HostError.h"
#include "host/core/RowSort.h"
#include "host/core/SheetStore.h"
#include "host/core/SortPlan.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"
#include "host/core/calc/Recalculation.h"

namespace host {

Range::Range(host::Worksheet& sheet, int firstRow, int firstColumn, int lastRow, int lastColumn)
    : sheet_(&sheet), firstRow_(firstRow), firstColumn_(firstColumn), lastRow_(lastRow), lastColumn_(lastColumn) {
  const CellArea reach = sheet.Reach();
  if (firstRow < 1 || lastRow > reach.lastRow || firstColumn < 1 || lastColumn > reach.lastColumn ||
      firstRow > lastRow || firstColumn > lastColumn)
    throw HostError("The range lies outside the sheet (" + GridExtent(reach) + ").");
}

RowRef Range::RowsCollection::operator()(int n) const {
  if (n < 1 || n > count)
    throw HostError("Row " + std::to_string(n) + " of the range does not exist (it has " + std::to_string(count) + ").");
  return RowRef(*sheet, firstRow + n - 1);
}

ColumnRef Range::ColumnsCollection::operator()(int n) const {
  if (n < 1 || n > count)
    throw HostError("Column " + std::to_string(n) + " of the range does not exist (it has " + std::to_string(count) +
                    ").");
  return ColumnRef(firstColumn + n - 1);
}

Range::RowsCollection Range::Rows() const { return RowsCollection{sheet_, firstRow_, lastRow_ - firstRow_ + 1}; }

Range::ColumnsCollection Range::Columns() const { return ColumnsCollection{firstColumn_, lastColumn_ - firstColumn_ + 1}; }

std::string Range::Address() const { return AbsoluteAddress(CellArea{firstRow_, firstColumn_, lastRow_, lastColumn_}); }

void Range::Sort(CellRef key1, int order1) {
  Workbook& book = sheet_->Parent();
  auto fail = [&](const std::string& why) {
    throw HostError("Cannot sort " + Address() + " on sheet \"" + sheet_->Name() + "\" of \"" + book.FullName() +
                    "\": " + why + ".");
  };
  if (order1 != 1 && order1 != 2) fail("the order must be 1 (ascending) or 2 (descending)");
  if (key1.column < 1 || key1.column > kMaxColumns) fail("the key cell lies outside the sheet");
  if (key1.column < firstColumn_ || key1.column > lastColumn_)
    fail("the sort key column " + ColumnLetters(key1.column) + " lies outside the range");
  if (sheet_->Store().SortProtected()) fail("the sheet is protected against sorting");
  // Key formulas without a stored result are computed, by one engine made when the first one is met.
  std::unique_ptr<calc::CellCalculator> calculator;
  const KeyCalculator calculate = [&](int row, int column) {
    if (!calculator) calculator = std::make_unique<calc::CellCalculator>(book);
    const std::vector<host::Worksheet*> sheets = book.Worksheets();
    const int sheet = static_cast<int>(std::find(sheets.begin(), sheets.end(), sheet_) - sheets.begin());
    return calculator->Compute(sheet, row, column);
  };
  try {
    const size_t moved = SortRows(sheet_->Store(), CellArea{firstRow_, firstColumn_, lastRow_, lastColumn_},
                                  key1.column, order1 == 2, calculate);
    // The results that depend on the moved cells are computed when the
    // workbook is saved (see Workbook::Save).
    sheet_->AddRowsMoved(moved);
  } catch (const SortRefused& refused) {
    fail(refused.Reason());
  }
}

}  // namespace host
