#include "host/odf/OdsSheet.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "host/CellAddress.h"
#include "host/HostError.h"

#include "host/odf/OdsFormula.h"

namespace host::odf {

namespace {

constexpr int64_t kMaxAreas = 1000000;
// Row and column groups nest; groups nested deeper than any writer nests them are not read.
constexpr int kMaxGroupNesting = 64;
constexpr const char* kRowsRepeated = "table:number-rows-repeated";
constexpr const char* kColumnsRepeated = "table:number-columns-repeated";

int Repeat(pugi::xml_node node, const char* attribute) {
  int n = node.attribute(attribute).as_int(1);
  return n > 0 ? n : 1;
}

void SetRepeat(pugi::xml_node node, const char* attribute, int count) {
  if (count > 1) {
    pugi::xml_attribute a = node.attribute(attribute);
    if (!a) a = node.append_attribute(attribute);
    a.set_value(count);
  } else {
    node.remove_attribute(attribute);
  }
}

void Include(OdsArea& used, int firstRow, int firstColumn, int lastRow, int lastColumn) {
  if (used.lastRow == 0) {
    used = {firstRow, firstColumn, lastRow, lastColumn};
    return;
  }
  used.firstRow = std::min(used.firstRow, firstRow);
  used.firstColumn = std::min(used.firstColumn, firstColumn);
  used.lastRow = std::max(used.lastRow, lastRow);
  used.lastColumn = std::max(used.lastColumn, lastColumn);
}

bool IsColumnElement(std::string_view name) {
  return name == "table:table-column" || name == "table:table-columns" || name == "table:table-column-group" ||
         name == "table:table-header-columns";
}

}  // namespace

OdsSheet::OdsSheet(pugi::xml_node table) : table_(table) {
  int nextColumn = 1;
  ReadColumns(table, nextColumn, 0);
  int nextRow = 1;
  ReadRows(table, nextRow, 0);
}

void OdsSheet::ReadColumns(pugi::xml_node parent, int& nextColumn, int depth) {
  if (depth > kMaxGroupNesting) return;
  for (pugi::xml_node child : parent.children()) {
    std::string_view name = child.name();
    if (name == "table:table-column") {
      columnStyles_.emplace_back(nextColumn, child.attribute("table:default-cell-style-name").value());
      nextColumn += Repeat(child, kColumnsRepeated);
    } else if (IsColumnElement(name)) {
      ReadColumns(child, nextColumn, depth + 1);
    }
  }
}

// Rows stand directly in the table or inside header-row, row and row-group
// elements, in document order.
void OdsSheet::ReadRows(pugi::xml_node parent, int& nextRow, int depth) {
  if (depth > kMaxGroupNesting) return;
  for (pugi::xml_node child : parent.children()) {
    std::string_view name = child.name();
    if (name == "table:table-row") {
      // Rows past the sheet's last row are not read (nor changed).
      if (nextRow > kMaxRows) return;
      int count = std::min(Repeat(child, kRowsRepeated), kMaxRows - nextRow + 1);
      ReadRow(child, nextRow, count);
      nextRow += count;
    } else if (name == "table:table-header-rows" || name == "table:table-rows" ||
               name == "table:table-row-group") {
      ReadRows(child, nextRow, depth + 1);
    }
  }
}

OdsSheet::RowGroup OdsSheet::ScanRow(pugi::xml_node node, int firstRow, int count) const {
  RowGroup group{firstRow, count, node, {}};
  int column = 1;
  for (pugi::xml_node cell : node.children()) {
    std::string_view name = cell.name();
    if (name != "table:table-cell" && name != "table:covered-table-cell") continue;
    if (column > kMaxColumns) break;  // cells past the sheet's last column are not read
    int repeat = std::min(Repeat(cell, kColumnsRepeated), kMaxColumns - column + 1);
    group.cells.push_back({column, repeat, cell});
    column += repeat;
  }
  return group;
}

void OdsSheet::ReadRow(pugi::xml_node node, int firstRow, int count) {
  RowGroup group = ScanRow(node, firstRow, count);
  for (const CellRun& run : group.cells) {
    pugi::xml_node cell = run.node;
    if (CellHasContent(cell))
      Include(used_, firstRow, run.firstColumn, firstRow + count - 1, run.firstColumn + run.count - 1);
    if (std::string_view(cell.name()) != "table:table-cell") continue;
    // One pass over the attributes for the spans: sheets hold millions of cells.
    int rowsSpanned = 1, columnsSpanned = 1, matrixRows = 0, matrixColumns = 0;
    for (pugi::xml_attribute a : cell.attributes()) {
      std::string_view name = a.name();
      if (name == "table:number-rows-spanned") rowsSpanned = std::clamp(a.as_int(1), 1, kMaxRows);
      else if (name == "table:number-columns-spanned") columnsSpanned = std::clamp(a.as_int(1), 1, kMaxColumns);
      else if (name == "table:number-matrix-rows-spanned") matrixRows = std::clamp(a.as_int(1), 1, kMaxRows);
      else if (name == "table:number-matrix-columns-spanned") matrixColumns = std::clamp(a.as_int(1), 1, kMaxColumns);
    }
    if (rowsSpanned > 1 || columnsSpanned > 1) AddAreas(merged_, firstRow, count, run, rowsSpanned, columnsSpanned);
    // An array formula's cell names the block its results fill.
    if (matrixRows || matrixColumns)
      AddAreas(arrays_, firstRow, count, run, std::max(matrixRows, 1), std::max(matrixColumns, 1));
  }
  rows_.push_back(std::move(group));
}

// The blocks that a (repeated) spanning cell starts, each rows x columns.
void OdsSheet::AddAreas(std::vector<OdsArea>& areas, int firstRow, int count, const CellRun& run, int rows,
                        int columns) const {
  if (static_cast<int64_t>(count) * run.count + static_cast<int64_t>(merged_.size() + arrays_.size()) > kMaxAreas)
    throw HostError("the sheet " + Name() + " holds more merged cells or array formulas than this program handles");
  for (int r = 0; r < count; ++r)
    for (int c = 0; c < run.count; ++c)
      areas.push_back({firstRow + r, run.firstColumn + c, std::min(firstRow + r + rows - 1, kMaxRows),
                       std::min(run.firstColumn + c + columns - 1, kMaxColumns)});
}

const OdsSheet::RowGroup* OdsSheet::GroupOf(int row) const {
  auto it = std::upper_bound(rows_.begin(), rows_.end(), row,
                             [](int r, const RowGroup& g) { return r < g.firstRow; });
  if (it == rows_.begin()) return nullptr;
  --it;
  return row < it->firstRow + it->count ? &*it : nullptr;
}

pugi::xml_node OdsSheet::CellNode(int row, int column) const {
  const RowGroup* group = GroupOf(row);
  if (!group) return {};
  auto it = std::upper_bound(group->cells.begin(), group->cells.end(), column,
                             [](int c, const CellRun& run) { return c < run.firstColumn; });
  if (it == group->cells.begin()) return {};
  --it;
  return column < it->firstColumn + it->count ? it->node : pugi::xml_node();
}

std::string_view OdsSheet::CellStyle(int row, int column) const {
  if (pugi::xml_attribute own = CellNode(row, column).attribute("table:style-name")) return own.value();
  if (const RowGroup* group = GroupOf(row))
    if (pugi::xml_attribute rowStyle = group->node.attribute("table:default-cell-style-name")) return rowStyle.value();
  auto it = std::upper_bound(columnStyles_.begin(), columnStyles_.end(), column,
                             [](int c, const std::pair<int, std::string>& run) { return c < run.first; });
  if (it == columnStyles_.begin()) return {};
  return std::prev(it)->second;
}

bool OdsSheet::IsRowHidden(int row) const {
  const RowGroup* group = GroupOf(row);
  if (!group) return false;
  std::string_view visibility = group->node.attribute("table:visibility").value();
  return visibility == "collapse" || visibility == "filter";
}

bool OdsSheet::HoldsFormulas() const {
  for (const RowGroup& group : rows_)
    for (const CellRun& run : group.cells)
      if (run.node.attribute("table:formula")) return true;
  return false;
}

bool OdsSheet::RowHoldsCells(int row, int firstColumn, int lastColumn) const {
  const RowGroup* group = GroupOf(row);
  if (!group) return false;
  for (const CellRun& run : group->cells) {
    if (run.firstColumn > lastColumn) break;
    if (run.firstColumn + run.count - 1 < firstColumn) continue;
    if (CellHasContent(run.node) || run.node.attribute("table:style-name")) return true;
  }
  return false;
}

void OdsSheet::SplitRow(int row) { SplitRows(row, row); }

void OdsSheet::SplitRows(int first, int last) {
  std::vector<RowGroup> out;
  out.reserve(rows_.size() + static_cast<size_t>(std::max(0, last - first)) + 2);
  for (RowGroup& group : rows_) {
    int groupLast = group.firstRow + group.count - 1;
    if (group.count == 1 || groupLast < first || group.firstRow > last) {
      out.push_back(std::move(group));
      continue;
    }
    int a = std::max(first, group.firstRow), b = std::min(last, groupLast);
    std::vector<std::pair<int, int>> parts;  // first row, count
    if (a > group.firstRow) parts.emplace_back(group.firstRow, a - group.firstRow);
    for (int r = a; r <= b; ++r) parts.emplace_back(r, 1);
    if (b < groupLast) parts.emplace_back(b + 1, groupLast - b);
    // The element stays for the first part; copies follow it.
    pugi::xml_node parent = group.node.parent(), previous = group.node;
    for (size_t k = 0; k < parts.size(); ++k) {
      pugi::xml_node node = k == 0 ? group.node : parent.insert_copy_after(group.node, previous);
      previous = node;
      SetRepeat(node, kRowsRepeated, parts[k].second);
      out.push_back(ScanRow(node, parts[k].first, parts[k].second));
    }
  }
  rows_ = std::move(out);
}

void OdsSheet::EnsureRows(int lastRow) {
  int have = RowCount();
  if (lastRow <= have) return;
  pugi::xml_node after = rows_.empty() ? pugi::xml_node() : rows_.back().node;
  pugi::xml_node parent = after ? after.parent() : table_;
  if (!after)
    for (pugi::xml_node child : table_.children())
      if (IsColumnElement(child.name())) after = child;
  auto add = [&](int firstRow, int count) {
    pugi::xml_node row = after ? parent.insert_child_after("table:table-row", after)
                               : parent.prepend_child("table:table-row");
    SetRepeat(row, kRowsRepeated, count);
    row.append_child("table:table-cell");
    after = row;
    rows_.push_back(ScanRow(row, firstRow, count));
  };
  if (lastRow - have > 1) add(have + 1, lastRow - have - 1);
  add(lastRow, 1);
}

void OdsSheet::SetRowHidden(int row, bool hidden) {
  if (IsRowHidden(row) == hidden) return;
  EnsureRows(row);
  SplitRow(row);
  pugi::xml_node node = GroupOf(row)->node;
  if (hidden) {
    pugi::xml_attribute visibility = node.attribute("table:visibility");
    if (!visibility) visibility = node.append_attribute("table:visibility");
    visibility.set_value("collapse");
  } else {
    node.remove_attribute("table:visibility");
  }
  modified_ = true;
}

void OdsSheet::SplitCellsAt(RowGroup& row, int column) {
  for (size_t k = 0; k < row.cells.size(); ++k) {
    CellRun run = row.cells[k];
    if (column <= run.firstColumn || column >= run.firstColumn + run.count) continue;
    int before = column - run.firstColumn;
    pugi::xml_node copy = row.node.insert_copy_after(run.node, run.node);
    SetRepeat(run.node, kColumnsRepeated, before);
    SetRepeat(copy, kColumnsRepeated, run.count - before);
    row.cells[k].count = before;
    row.cells.insert(row.cells.begin() + static_cast<long>(k) + 1, CellRun{column, run.count - before, copy});
    return;
  }
}

void OdsSheet::PlaceRowCells(int firstRow, int firstColumn, int lastColumn, const std::vector<int>& sourceOf) {
  const int height = static_cast<int>(sourceOf.size());
  if (height == 0) return;
  const int lastRow = firstRow + height - 1;
  EnsureRows(lastRow);
  SplitRows(firstRow, lastRow);
  auto begin = std::lower_bound(rows_.begin(), rows_.end(), firstRow,
                                [](const RowGroup& g, int r) { return g.firstRow < r; });
  std::vector<RowGroup*> rows(static_cast<size_t>(height));
  int width = 0;
  for (int k = 0; k < height; ++k) {
    rows[k] = &*(begin + k);
    if (!rows[k]->cells.empty()) width = std::max(width, rows[k]->cells.back().firstColumn + rows[k]->cells.back().count - 1);
  }
  // Columns no row reaches hold nothing to move.
  lastColumn = std::min(lastColumn, width);
  if (lastColumn < firstColumn) return;

  // Each row gets cell elements that start at firstColumn and end at lastColumn.
  struct Segment {
    pugi::xml_node first, last, anchor;  // anchor: the node before first (empty at the row's start)
  };
  std::vector<Segment> segments(static_cast<size_t>(height));
  for (int k = 0; k < height; ++k) {
    RowGroup& row = *rows[k];
    int end = row.cells.empty() ? 0 : row.cells.back().firstColumn + row.cells.back().count - 1;
    if (end < lastColumn) {
      pugi::xml_node pad = row.cells.empty() ? row.node.append_child("table:table-cell")
                                             : row.node.insert_child_after("table:table-cell", row.cells.back().node);
      SetRepeat(pad, kColumnsRepeated, lastColumn - end);
      row.cells.push_back({end + 1, lastColumn - end, pad});
    }
    SplitCellsAt(row, firstColumn);
    SplitCellsAt(row, lastColumn + 1);
    for (const CellRun& run : row.cells) {
      if (run.firstColumn == firstColumn) segments[k].first = run.node;
      if (run.firstColumn + run.count - 1 == lastColumn) segments[k].last = run.node;
    }
    segments[k].anchor = segments[k].first.previous_sibling();
  }

  // Each moving segment goes straight to its new row, after that row's
  // anchor: the row's own segment, still ahead of its move, stays behind the
  // new one and is left contiguous. Every cell element moves once.
  bool moved = false;
  for (int k = 0; k < height; ++k) {
    int source = sourceOf[k] - firstRow;
    if (source == k) continue;
    moved = true;
    int rowDelta = k - source;
    pugi::xml_node row = rows[k]->node, previous = segments[k].anchor;
    for (pugi::xml_node n = segments[source].first; n;) {
      pugi::xml_node next = n.next_sibling();
      bool last = n == segments[source].last;
      if (pugi::xml_attribute formula = n.attribute("table:formula"))
        formula.set_value(ShiftOdsFormula(formula.value(), rowDelta).c_str());
      previous = previous ? row.insert_move_after(n, previous) : row.prepend_move(n);
      if (last) break;
      n = next;
    }
  }
  if (!moved) return;
  // The rows' runs: their own before and after the columns, the source's within.
  auto inside = [&](const CellRun& run) { return run.firstColumn >= firstColumn && run.firstColumn <= lastColumn; };
  std::vector<std::vector<CellRun>> segmentRuns(static_cast<size_t>(height));
  for (int k = 0; k < height; ++k)
    for (const CellRun& run : rows[k]->cells)
      if (inside(run)) segmentRuns[k].push_back(run);
  for (int k = 0; k < height; ++k) {
    int source = sourceOf[k] - firstRow;
    if (source == k) continue;
    std::vector<CellRun> cells;
    cells.reserve(rows[k]->cells.size());
    for (const CellRun& run : rows[k]->cells)
      if (run.firstColumn < firstColumn) cells.push_back(run);
    cells.insert(cells.end(), segmentRuns[source].begin(), segmentRuns[source].end());
    for (const CellRun& run : rows[k]->cells)
      if (run.firstColumn > lastColumn) cells.push_back(run);
    rows[k]->cells = std::move(cells);
  }
  RecomputeUsedRange();
  modified_ = true;
}

void OdsSheet::RecomputeUsedRange() {
  used_ = {};
  for (const RowGroup& group : rows_)
    for (const CellRun& run : group.cells)
      if (CellHasContent(run.node))
        Include(used_, group.firstRow, run.firstColumn, group.firstRow + group.count - 1,
                run.firstColumn + run.count - 1);
}

}  // namespace host::odf
