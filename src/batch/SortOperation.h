#pragma once
// Sorting the rows of an open workbook ascending by the chosen key column, in
// one of the three scopes of a batch run. The key column is read from the
// options for every range sorted; failures pass to the caller.

namespace host {
class Range;
class Workbook;
}  // namespace host

namespace tabulory {

class OptionsSource;

// Sorts the used range of every worksheet whose used rows end below row 1.
// A failure stops the routine: the worksheets after the failing one stay as
// they are.
void SortWorkbook(host::Workbook& workbook, const OptionsSource& options);

// The same for the workbook's active sheet only.
void SortActiveSheet(host::Workbook& workbook, const OptionsSource& options);

// Sorts the block when its last row lies below sheet row 1 (a block in row 1
// only is left alone; a one-row block lower down is sorted). The workbook is
// not used.
void SortBlock(host::Workbook& workbook, const host::Range& block, const OptionsSource& options);

// The sheet row number of a range's last row.
int LastRowOf(const host::Range& range);

// The sheet column number of a range's last column.
int LastColumnOf(const host::Range& range);

}  // namespace tabulory
