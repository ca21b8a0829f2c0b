#pragma once
// Hiding the rows of an open workbook whose cell in the chosen column fails the
// chosen criterion, in one of the three scopes of a batch run. Rows are only
// ever hidden: a hidden row stays hidden, no cell changes. Column, criterion
// and value are read from the options while the routine runs; failures pass
// to the caller.

#include <QString>

namespace host {
class Range;
class Workbook;
}  // namespace host

namespace tabulory {

class Messages;
class OptionsSource;

// True when a cell showing `text` fails `criterion` (0 equals, 1 contains,
// 2 is not blank, 3 is blank) against `value`, so that its row is hidden. Any
// other criterion never fails. Comparisons are exact and case-sensitive.
bool RowFails(int criterion, const QString& text, const QString& value);

// On every worksheet, examines rows 1 to the last used row in the chosen
// column. Column numbers are turned into letters for every column up to the
// last used one; above 256 that shows "Number is higher than number of
// columns." through `messages` once per column. A failure stops the routine:
// the worksheets after the failing one stay as they are.
void FilterWorkbook(host::Workbook& workbook, const OptionsSource& options, Messages& messages);

// The same for the workbook's active sheet only.
void FilterActiveSheet(host::Workbook& workbook, const OptionsSource& options, Messages& messages);

// Examines the block's rows only, on the block's sheet; the test column is
// looked up among the sheet columns 1 to the block's last column, so a column
// left of the block may decide and one right of it matches nothing. The
// workbook is not used.
void FilterBlock(host::Workbook& workbook, const host::Range& block, const OptionsSource& options,
                 Messages& messages);

}  // namespace tabulory
