#include "host/core/SortPlan.h"
#include "host/core/Characters.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>

namespace host {

namespace {

// Merged areas inside the rows: allowed only when every row has the same
// one-row merged areas, which then stay where they are.
void CheckMerged(const CellArea& rows, const std::vector<CellArea>& merged) {
  std::map<int, std::vector<std::pair<int, int>>> spansByRow;
  for (const CellArea& m : merged) {
    if (!m.Intersects(rows)) continue;
    if (!rows.Contains(m))
      throw SortRefused("the range cuts through the merged cells " + AbsoluteAddress(m));
    if (m.firstRow != m.lastRow) throw SortRefused("the range holds merged cells of different sizes");
    spansByRow[m.firstRow].emplace_back(m.firstColumn, m.lastColumn);
  }
  if (spansByRow.empty()) return;
  if (spansByRow.size() != static_cast<size_t>(rows.lastRow - rows.firstRow + 1))
    throw SortRefused("the range holds merged cells of different sizes");
  for (auto& [row, spans] : spansByRow) std::sort(spans.begin(), spans.end());
  const auto& first = spansByRow.begin()->second;
  for (const auto& [row, spans] : spansByRow)
    if (spans != first) throw SortRefused("the range holds merged cells of different sizes");
}

void CheckArrays(const CellArea& rows, const std::vector<CellArea>& arrays) {
  for (const CellArea& a : arrays) {
    if (!a.Intersects(rows)) continue;
    if (!rows.Contains(a)) throw SortRefused("the range cuts through the array formula " + AbsoluteAddress(a));
    if (a.firstRow != a.lastRow)
      throw SortRefused("the array formula " + AbsoluteAddress(a) + " spans several rows, so its rows cannot move apart");
  }
}

}  // namespace

std::optional<CellArea> RowsToReorder(const CellArea& range, const std::vector<CellArea>& merged,
                                      const std::vector<CellArea>& arrays, const std::vector<TableArea>& tables) {
  if (range.firstRow == range.lastRow) return std::nullopt;
  CellArea rows = range;
  const TableArea* covered = nullptr;
  for (const TableArea& t : tables) {
    if (!t.area.Intersects(range)) continue;
    bool exact = t.area.firstRow == range.firstRow && t.area.lastRow == range.lastRow &&
                 t.area.firstColumn == range.firstColumn && t.area.lastColumn == range.lastColumn;
    if (!exact)
      throw SortRefused("the range holds rows of the table " + Quoted(t.name) +
                        " without being the table itself (sort the table's own area, or a range beside it)");
    covered = &t;
  }
  if (covered) {
    // Header and totals rows never move: only the data rows are sorted.
    rows.firstRow = covered->area.firstRow + std::max(0, covered->headerRows);
    rows.lastRow = covered->area.lastRow - std::max(0, covered->totalsRows);
    if (rows.lastRow - rows.firstRow < 1) return std::nullopt;
  }
  CheckMerged(rows, merged);
  CheckArrays(rows, arrays);
  return rows;
}

RowNumbers PlaceRows(int firstRow, int lastRow, const std::vector<int>& hiddenRows, const RowNumbers& keyedInOrder) {
  size_t height = static_cast<size_t>(lastRow - firstRow + 1);
  RowNumbers sourceOf(height);  // every row gets its source below
  std::vector<uint8_t> state(height, 0);  // 1 hidden, 2 keyed
  for (int row : hiddenRows) {
    sourceOf[row - firstRow] = row;
    state[row - firstRow] = 1;
  }
  for (int row : keyedInOrder) state[row - firstRow] = 2;
  size_t nextKeyed = 0;
  size_t nextOther = 0;  // scan position for the visible rows without a key
  for (size_t t = 0; t < height; ++t) {
    if (state[t] == 1) continue;
    if (nextKeyed < keyedInOrder.size()) {
      sourceOf[t] = keyedInOrder[nextKeyed++];
      continue;
    }
    while (state[nextOther] != 0) ++nextOther;
    sourceOf[t] = firstRow + static_cast<int>(nextOther++);
  }
  return sourceOf;
}

std::vector<RowPiece> PiecesOf(int firstRow, const RowNumbers& sourceOf) {
  std::vector<RowPiece> pieces;
  pieces.reserve(sourceOf.size());  // at most a piece a row; growing would copy them all
  for (size_t k = 0; k < sourceOf.size(); ++k) {
    const int target = firstRow + static_cast<int>(k);
    if (!pieces.empty() && pieces.back().source + pieces.back().count == sourceOf[k])
      ++pieces.back().count;
    else
      pieces.push_back(RowPiece{target, sourceOf[k], 1});
  }
  return pieces;
}

std::vector<RowPiece> JoinedPieces(const std::vector<RowPiece>& pieces) {
  std::vector<RowPiece> joined;
  joined.reserve(pieces.size());
  for (const RowPiece& piece : pieces) {
    if (!joined.empty() && joined.back().target + joined.back().count == piece.target &&
        joined.back().source + joined.back().count == piece.source)
      joined.back().count += piece.count;
    else
      joined.push_back(piece);
  }
  return joined;
}

SortRefused NeverCalculatedKey(int row, int column) {
  return SortRefused("cell " + ColumnLetters(column) + std::to_string(row) +
                     " holds a formula that has never been calculated, so it has no value to sort by "
                     "(open and save the workbook in a spreadsheet program first)");
}

int MovedRow(const std::vector<RowMove>& moves, int row, int column) {
  for (const RowMove& m : moves)
    if (row >= m.area.firstRow && row <= m.area.lastRow && column >= m.area.firstColumn &&
        column <= m.area.lastColumn)
      row = m.targetOf[row - m.area.firstRow];
  return row;
}

std::vector<CellArea> MovedAreas(const CellArea& area, const std::vector<RowMove>& moves) {
  std::vector<CellArea> pieces{area};
  for (const RowMove& m : moves) {
    std::vector<CellArea> next;
    for (const CellArea& p : pieces) {
      if (!p.Intersects(m.area)) {
        next.push_back(p);
        continue;
      }
      CellArea in{std::max(p.firstRow, m.area.firstRow), std::max(p.firstColumn, m.area.firstColumn),
                  std::min(p.lastRow, m.area.lastRow), std::min(p.lastColumn, m.area.lastColumn)};
      // What lies outside the moved block keeps its place.
      if (p.firstRow < in.firstRow) next.push_back({p.firstRow, p.firstColumn, in.firstRow - 1, p.lastColumn});
      if (p.lastRow > in.lastRow) next.push_back({in.lastRow + 1, p.firstColumn, p.lastRow, p.lastColumn});
      if (p.firstColumn < in.firstColumn) next.push_back({in.firstRow, p.firstColumn, in.lastRow, in.firstColumn - 1});
      if (p.lastColumn > in.lastColumn) next.push_back({in.firstRow, in.lastColumn + 1, in.lastRow, p.lastColumn});
      const size_t firstMoved = next.size();
      for (int r = in.firstRow; r <= in.lastRow; ++r) {
        const int to = m.targetOf[r - m.area.firstRow];
        if (next.size() > firstMoved && next.back().lastRow + 1 == to)
          next.back().lastRow = to;
        else
          next.push_back({to, in.firstColumn, to, in.lastColumn});
      }
    }
    pieces.swap(next);
  }
  return pieces;
}

}  // namespace host
