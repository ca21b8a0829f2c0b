#include "host/core/RowSort.h"

#include <malloc.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

#include "host/core/SheetStore.h"
#include "host/core/SortKeys.h"
#include "host/core/SortPlan.h"

namespace host {

namespace {

// A sort of fewer rows than this leaves too little freed memory to be worth
// giving back to the system.
constexpr int kRowsToGiveBack = 100000;

// The keys the list holds, less the hidden rows'; a visible key that was
// never calculated is computed by calculate, and refused when it cannot be.
SortKeys VisibleKeys(SortKeyList& list, int keyColumn, const std::function<bool(int)>& isHidden,
                                 bool anyHidden, const KeyCalculator& calculate) {
  bool computed = false;
  for (int row : list.UncalculatedRows()) {
    if (isHidden(row)) continue;
    std::optional<StoredValue> value = calculate ? calculate(row, keyColumn) : std::nullopt;
    if (!value) throw NeverCalculatedKey(row, keyColumn);
    list.Add(row, *value);
    computed = true;
  }
  SortKeys& keys = list.Keys();
  // The computed keys came last: back into ascending row order, which keeps equal keys stable.
  if (computed) std::sort(keys.begin(), keys.end(), [](const SortKey& a, const SortKey& b) { return a.Row() < b.Row(); });
  if (anyHidden)
    keys.erase(std::remove_if(keys.begin(), keys.end(), [&](const SortKey& k) { return isHidden(k.Row()); }),
               keys.end());
  return std::move(keys);
}

// The sort of a range whose rows the store holds one by one: a key, a
// hidden state and a target for every row.
size_t SortEachRow(SheetStore& store, const CellArea& area, int keyColumn, bool descending,
                   const KeyCalculator& calculate) {
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
  list.Reserve(height);  // at most a key a row; pages untouched past the last key
  store.ReadSortKeys(area.firstRow, area.lastRow, keyColumn, list);
  SortKeys keys = VisibleKeys(list, keyColumn, isHidden, !hiddenRows.empty(), calculate);
  const RowNumbers sourceOf =
      PlaceRows(area.firstRow, area.lastRow, hiddenRows, OrderKeys(std::move(keys), descending));

  RowMove move{area, RowNumbers(height), {}};  // sourceOf is a permutation: every entry is written
  bool changed = false;
  for (size_t t = 0; t < height; ++t) {
    const int target = area.firstRow + static_cast<int>(t);
    move.targetOf[static_cast<size_t>(sourceOf[t] - area.firstRow)] = target;
    changed = changed || sourceOf[t] != target;
  }
  return changed ? store.MoveRows(move) : 0;
}

// The sort of a range that holds runs of repeated rows: each run read once,
// moved as one, and the move given as pieces, so that a run of a million
// rows costs what one row costs.
size_t SortRuns(SheetStore& store, const CellArea& area, const std::vector<RowRun>& runs, int keyColumn,
                bool descending, const KeyCalculator& calculate) {
  struct Unit {
    RowRun rows;
    bool hidden = false;
  };
  // The range as units in row order: each run, and each row between runs.
  std::vector<Unit> units;
  SortKeyList list;
  int next = area.firstRow;
  auto single = [&](int first, int last) {
    for (int row = first; row <= last; ++row) units.push_back({RowRun{row, 1}, store.RowHidden(row)});
    if (first <= last) store.ReadSortKeys(first, last, keyColumn, list);
  };
  for (const RowRun& run : runs) {
    single(next, run.firstRow - 1);
    units.push_back({run, store.RowHidden(run.firstRow)});
    store.ReadSortKeys(run.firstRow, run.firstRow, keyColumn, list);
    next = run.firstRow + run.count;
  }
  single(next, area.lastRow);
  // The unit that starts at row (every key's row starts one).
  auto unitAt = [&](int row) {
    return static_cast<size_t>(std::lower_bound(units.begin(), units.end(), row,
                                                [](const Unit& u, int first) { return u.rows.firstRow < first; }) -
                               units.begin());
  };
  const bool anyHidden = std::any_of(units.begin(), units.end(), [](const Unit& u) { return u.hidden; });
  SortKeys keys =
      VisibleKeys(list, keyColumn, [&](int row) { return units[unitAt(row)].hidden; }, anyHidden, calculate);

  // The visible units in their new order: the keyed ones sorted (a run's one
  // key takes its rows along: equal keys keep their order, so nothing comes
  // between them), then the others in their old order.
  std::vector<size_t> order;
  std::vector<bool> keyed(units.size(), false);
  for (int row : OrderKeys(std::move(keys), descending)) {
    order.push_back(unitAt(row));
    keyed[order.back()] = true;
  }
  for (size_t u = 0; u < units.size(); ++u)
    if (!units[u].hidden && !keyed[u]) order.push_back(u);

  // Hidden units keep their places; the visible ones fill the places the
  // visible units held, in row order, a unit split where a hidden one lies
  // within its new place.
  RowMove move{area, {}, {}};
  auto slot = units.begin();
  int used = 0;  // rows of *slot taken
  auto nextSlot = [&] {
    while (slot != units.end() && slot->hidden) ++slot;
  };
  nextSlot();
  for (size_t u : order) {
    int source = units[u].rows.firstRow, count = units[u].rows.count;
    while (count > 0) {
      const int taken = std::min(count, slot->rows.count - used);
      move.pieces.push_back(RowPiece{slot->rows.firstRow + used, source, taken});
      source += taken;
      count -= taken;
      used += taken;
      if (used == slot->rows.count) {
        ++slot;
        used = 0;
        nextSlot();
      }
    }
  }
  for (const Unit& unit : units)
    if (unit.hidden) move.pieces.push_back(RowPiece{unit.rows.firstRow, unit.rows.firstRow, unit.rows.count});
  std::sort(move.pieces.begin(), move.pieces.end(),
            [](const RowPiece& a, const RowPiece& b) { return a.target < b.target; });
  move.pieces = JoinedPieces(move.pieces);
  const bool changed =
      std::any_of(move.pieces.begin(), move.pieces.end(), [](const RowPiece& p) { return p.target != p.source; });
  return changed ? store.MoveRows(move) : 0;
}

}  // namespace

size_t SortRows(SheetStore& store, const CellArea& range, int keyColumn, bool descending,
                const KeyCalculator& calculate) {
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

  const std::vector<RowRun> runs = store.RepeatedRows(area.firstRow, area.lastRow);
  const size_t moved = runs.empty() ? SortEachRow(store, area, keyColumn, descending, calculate)
                                    : SortRuns(store, area, runs, keyColumn, descending, calculate);
  // A large sort's keys and row lists are freed by now, but the allocator
  // keeps most of their pages: give them back before the save that follows
  // reads the file's bytes in again.
  if (area.lastRow - area.firstRow >= kRowsToGiveBack) malloc_trim(0);
  return moved;
}

}  // namespace host
