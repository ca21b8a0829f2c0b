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
  std::vector<int> hiddenRows;
  std::vector<bool> hidden(height, false);
  for (int row = area.firstRow; row <= area.lastRow; ++row)
    if (store.RowHidden(row)) {
      hiddenRows.push_back(row);
      hidden[static_cast<size_t>(row - area.firstRow)] = true;
    }
  auto isHidden = [&](int row) { return hidden[static_cast<size_t>(row - area.firstRow)]; };

  SortKeyList list;
  store.ReadSortKeys(area.firstRow, area.lastRow, keyColumn, list);
  for (int row : list.UncalculatedRows())
    if (!isHidden(row)) throw NeverCalculatedKey(row, keyColumn);
  std::vector<SortKey>& keys = list.Keys();
  if (!hiddenRows.empty())
    keys.erase(std::remove_if(keys.begin(), keys.end(), [&](const SortKey& k) { return isHidden(k.Row()); }),
               keys.end());
  const std::vector<int> sourceOf =
      PlaceRows(area.firstRow, area.lastRow, hiddenRows, OrderKeys(std::move(keys), descending));

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
