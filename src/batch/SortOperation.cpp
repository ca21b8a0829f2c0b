#include "batch/SortOperation.h"

#include "app/shell/ErrorReport.h"
#include "host/core/CellRef.h"
#include "host/core/Range.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"
#include "options/OptionsSource.h"

namespace tabulory {

namespace {

constexpr int kAscending = 1;

// The key cell in row 1 of the chosen sort column, read afresh for each range.
host::CellRef KeyCell(const OptionsSource& options) {
  const int column = options.SortColumn();
  if (column < 1) throw ProcedureError(QStringLiteral("No sort column is selected."));
  return host::Cells(1, column);
}

// Sorts a range whose last row is below row 1; leaves any other alone.
void SortRangeBelowRowOne(host::Range range, const OptionsSource& options) {
  if (LastRowOf(range) > 1) range.Sort(KeyCell(options), kAscending);
}

}  // namespace

int LastRowOf(const host::Range& range) {
  const auto rows = range.Rows();
  return rows(rows.Count()).Row();
}

int LastColumnOf(const host::Range& range) {
  const auto columns = range.Columns();
  return columns(columns.Count()).Column();
}

void SortWorkbook(host::Workbook& workbook, const OptionsSource& options) {
  for (host::Worksheet* sheet : workbook.Worksheets()) SortRangeBelowRowOne(sheet->UsedRange(), options);
}

void SortActiveSheet(host::Workbook& workbook, const OptionsSource& options) {
  SortRangeBelowRowOne(workbook.ActiveSheet().UsedRange(), options);
}

void SortBlock(host::Workbook& /*workbook*/, const host::Range& block, const OptionsSource& options) {
  SortRangeBelowRowOne(block, options);
}

}  // namespace tabulory
