#include "host/core/RowSort.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "host/core/SheetStore.h"
#include "host/core/SortKeys.h"
#include "host/core/SortPlan.h"

namespace host {

size_t SortRows(SheetStore& store, const CellArea& range, int keyColumn, bool descending) {
  std::optional<CellArea> reordered =
      RowsToReorder(range, store.MergedCellAreas(), store.ArrayFormulaAreas(), store.TableAreas());
  CellArea used;
  if (!reordered || !store.UsedArea(used)) return 0;
  // Rows below the last used one are empty, and nothing lies beyond what the
  // format holds: they keep their places whatever the order, so a range of
  // whole columns costs what the sheet holds.
  CellArea area = *reordered;
  const CellArea grid = store.Grid();
  area.lastRow = std::min({area.lastRow, used.lastRow, grid.lastRow});
  area.lastColumn = std::min(area.lastColumn, grid.lastColumn);
  if (area.lastRow <= area.firstRow || area.firstColumn > area.lastColumn) return 0;

  const size_t height = static_cast<size_t>(area.lastRow - area.firstRow + 1);
  // A run of repeated rows is read once: its first row's hidden state and
  // key stand for all of its rows.
  const std::vector<RowRun> runs = store.RepeatedRows(area.firstRow, area.lastRow);
  std::vector<int> hiddenRows;
  std::vector<bool> hidden(height, false);
  auto markHidden = [&](int first, int count) {
    if (!store.RowHidden(first)) return;
    for (int row = first; row < first + count; ++row) {
      hiddenRows.push_back(row);
      hidden[static_cast<size_t>(row - area.firstRow)] = true;
    }
  };
  SortKeyList list;
  int next = area.firstRow;
  for (const RowRun& run : runs) {
    for (int row = next; row < run.firstRow; ++row) markHidden(row, 1);
    if (next < run.firstRow) store.ReadSortKeys(next, run.firstRow - 1, keyColumn, list);
    markHidden(run.firstRow, run.count);
    store.ReadSortKeys(run.firstRow, run.firstRow, keyColumn, list);
    next = run.firstRow + run.count;
  }
  for (int row = next; row <= area.lastRow; ++row) markHidden(row, 1);
  if (next <= area.lastRow) store.ReadSortKeys(next, area.lastRow, keyColumn, list);
  auto isHidden = [&](int row) { return hidden[static_cast<size_t>(row - area.firstRow)]; };

  for (int row : list.UncalculatedRows())
    if (!isHidden(row)) throw NeverCalculatedKey(row, keyColumn);
  std::vector<SortKey>& keys = list.Keys();
  if (!hiddenRows.empty())
    keys.erase(std::remove_if(keys.begin(), keys.end(), [&](const SortKey& k) { return isHidden(k.Row()); }),
               keys.end());
  std::vector<int> keyed = OrderKeys(std::move(keys), descending);
  // A run's one key takes all its rows along, in their order: equal keys
  // keep their order, so nothing else could come between them.
  if (!runs.empty()) {
    std::vector<int> rows;
    rows.reserve(keyed.size());
    for (int row : keyed) {
      auto run = std::lower_bound(runs.begin(), runs.end(), row,
                                  [](const RowRun& r, int first) { return r.firstRow < first; });
      const int count = run != runs.end() && run->firstRow == row ? run->count : 1;
      for (int k = 0; k < count; ++k) rows.push_back(row + k);
    }
    keyed = std::move(rows);
  }
  const std::vector<int> sourceOf = PlaceRows(area.firstRow, area.lastRow, hiddenRows, keyed);

  RowMove move{area, std::vector<int>(height)};
  bool changed = false;
  for (size_t t = 0; t < height; ++t) {
    const int target = area.firstRow + static_cast<int>(t);
    move.targetOf[static_cast<size_t>(sourceOf[t] - area.firstRow)] = target;
    changed = changed || sourceOf[t] != target;
  }
  return changed ? store.MoveRows(move) : 0;
}

}  // namespace host
