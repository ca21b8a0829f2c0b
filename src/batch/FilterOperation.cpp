#include "batch/FilterOperation.h"

#include <vector>

#include "batch/SortOperation.h"
#include "host/core/Cell.h"
#include "host/core/Range.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"
#include "options/ColumnReference.h"
#include "options/OptionsSource.h"
#include "options/ProcessingOptions.h"

namespace tabulory {

namespace {

QString CellText(host::Worksheet& sheet, int row, int column) {
  return QString::fromStdString(sheet.Cells(row, column).Text());
}

// Calls examine(c) for every column c from 1 to lastColumn whose letters equal
// the chosen column text. Every column number is converted, also after a
// match; a number above the column limit gives no letters and matches nothing.
template <typename Examine>
void ForEachChosenColumn(int lastColumn, const OptionsSource& options, Messages& messages,
                         Examine examine) {
  for (int c = 1; c <= lastColumn; ++c) {
    const QString letters = ColumnLettersFromNumber(c, messages);
    if (!letters.isEmpty() && letters == options.FilterColumn()) examine(c);
  }
}

// Hides every row of rows firstRow..lastRow of the sheet whose cell in column c
// fails the criterion; hide(r) hides sheet row r. Every cell is read before
// the first row is hidden, so a cell the host cannot show leaves the sheet
// as it was.
template <typename Hide>
void HideFailingRows(host::Worksheet& sheet, int firstRow, int lastRow, int column,
                     const OptionsSource& options, Hide hide) {
  const int criterion = options.ChosenCriterion();
  const QString value = options.FilterValue();
  std::vector<int> failing;
  // Rows that repeat one another show the same text: read once per run.
  const std::vector<host::RowRun> runs = sheet.RepeatedRows(firstRow, lastRow);
  auto run = runs.begin();
  for (int r = firstRow; r <= lastRow;) {
    const int count = run != runs.end() && run->firstRow == r ? (run++)->count : 1;
    if (RowFails(criterion, CellText(sheet, r, column), value))
      for (int k = 0; k < count; ++k) failing.push_back(r + k);
    r += count;
  }
  for (int r : failing) hide(r);
}

void FilterSheet(host::Worksheet& sheet, const OptionsSource& options, Messages& messages) {
  const host::Range used = sheet.UsedRange();
  const int lastRow = LastRowOf(used);
  const int lastColumn = LastColumnOf(used);
  // Rows from 1, even when the used range starts lower.
  ForEachChosenColumn(lastColumn, options, messages, [&](int c) {
    HideFailingRows(sheet, 1, lastRow, c, options, [&](int r) { sheet.Rows(r).SetHidden(true); });
  });
}

}  // namespace

bool RowFails(int criterion, const QString& text, const QString& value) {
  switch (criterion) {
    case kEquals: return text != value;
    // An empty value is found in every text, the empty one included.
    case kContains: return !text.contains(value, Qt::CaseSensitive);
    case kIsNotBlank: return text.isEmpty();
    case kIsBlank: return !text.isEmpty();
    default: return false;  // no criterion chosen: nothing is hidden
  }
}

void FilterWorkbook(host::Workbook& workbook, const OptionsSource& options, Messages& messages) {
  for (host::Worksheet* sheet : workbook.Worksheets()) FilterSheet(*sheet, options, messages);
}

void FilterActiveSheet(host::Workbook& workbook, const OptionsSource& options, Messages& messages) {
  FilterSheet(workbook.ActiveSheet(), options, messages);
}

void FilterBlock(host::Workbook& /*workbook*/, const host::Range& block, const OptionsSource& options,
                 Messages& messages) {
  host::Worksheet& sheet = block.Worksheet();
  const int lastRow = LastRowOf(block);
  const int lastColumn = LastColumnOf(block);
  const int firstRow = block.Row();
  ForEachChosenColumn(lastColumn, options, messages, [&](int c) {
    HideFailingRows(sheet, firstRow, lastRow, c, options,
                    [&](int r) { block.Rows()(r - firstRow + 1).SetHidden(true); });
  });
}

}  // namespace tabulory
