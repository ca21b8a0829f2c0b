#include "host/odf/OdsSheet.h"

#include <algorithm>
#include <string_view>

namespace host::odf {

namespace {

int Repeat(pugi::xml_node node, const char* attribute) {
  int n = node.attribute(attribute).as_int(1);
  return n > 0 ? n : 1;
}

void SetRepeat(pugi::xml_node node, int count) {
  if (count > 1) {
    pugi::xml_attribute a = node.attribute("table:number-rows-repeated");
    if (!a) a = node.append_attribute("table:number-rows-repeated");
    a.set_value(count);
  } else {
    node.remove_attribute("table:number-rows-repeated");
  }
}

}  // namespace

OdsSheet::OdsSheet(pugi::xml_node table) : table_(table) {
  int nextRow = 1;
  ReadRows(table, nextRow);
}

// Rows stand directly in the table or inside header-row, row and row-group
// elements, in document order.
void OdsSheet::ReadRows(pugi::xml_node parent, int& nextRow) {
  for (pugi::xml_node child : parent.children()) {
    std::string_view name = child.name();
    if (name == "table:table-row") {
      int count = Repeat(child, "table:number-rows-repeated");
      ReadRow(child, nextRow, count);
      nextRow += count;
    } else if (name == "table:table-header-rows" || name == "table:table-rows" ||
               name == "table:table-row-group") {
      ReadRows(child, nextRow);
    }
  }
}

void OdsSheet::ReadRow(pugi::xml_node node, int firstRow, int count) {
  RowGroup group{firstRow, count, node, {}};
  int column = 1;
  for (pugi::xml_node cell : node.children()) {
    std::string_view name = cell.name();
    if (name != "table:table-cell" && name != "table:covered-table-cell") continue;
    int repeat = Repeat(cell, "table:number-columns-repeated");
    group.cells.push_back({column, repeat, cell});
    if (CellHasContent(cell)) {
      int lastRow = firstRow + count - 1, lastColumn = column + repeat - 1;
      if (used_.lastRow == 0) {
        used_ = {firstRow, column, lastRow, lastColumn};
      } else {
        used_.firstRow = std::min(used_.firstRow, firstRow);
        used_.firstColumn = std::min(used_.firstColumn, column);
        used_.lastRow = std::max(used_.lastRow, lastRow);
        used_.lastColumn = std::max(used_.lastColumn, lastColumn);
      }
    }
    int rowsSpanned = cell.attribute("table:number-rows-spanned").as_int(1);
    int columnsSpanned = cell.attribute("table:number-columns-spanned").as_int(1);
    if (name == "table:table-cell" && (rowsSpanned > 1 || columnsSpanned > 1)) {
      for (int r = 0; r < count; ++r)
        for (int c = 0; c < repeat; ++c)
          merged_.push_back({firstRow + r, column + c, firstRow + r + std::max(rowsSpanned, 1) - 1,
                             column + c + std::max(columnsSpanned, 1) - 1});
    }
    column += repeat;
  }
  rows_.push_back(std::move(group));
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

bool OdsSheet::IsRowHidden(int row) const {
  const RowGroup* group = GroupOf(row);
  if (!group) return false;
  std::string_view visibility = group->node.attribute("table:visibility").value();
  return visibility == "collapse" || visibility == "filter";
}

void OdsSheet::SplitRow(int row) {
  const RowGroup* found = GroupOf(row);
  if (!found || found->count == 1) return;
  size_t index = static_cast<size_t>(found - rows_.data());
  RowGroup group = rows_[index];
  int before = row - group.firstRow, after = group.firstRow + group.count - 1 - row;
  pugi::xml_node parent = group.node.parent();
  // The element stays for the rows before (or the row itself); copies follow.
  std::vector<std::pair<int, int>> parts;  // first row, count
  if (before > 0) parts.push_back({group.firstRow, before});
  parts.push_back({row, 1});
  if (after > 0) parts.push_back({row + 1, after});
  std::vector<pugi::xml_node> nodes{group.node};
  for (size_t k = 1; k < parts.size(); ++k) nodes.push_back(parent.insert_copy_after(group.node, nodes.back()));
  rows_.erase(rows_.begin() + static_cast<long>(index));
  // Read the parts again: their cells are nodes of their own elements now.
  std::vector<RowGroup> saved(rows_.begin() + static_cast<long>(index), rows_.end());
  rows_.resize(index);
  for (size_t k = 0; k < parts.size(); ++k) {
    SetRepeat(nodes[k], parts[k].second);
    std::vector<OdsArea> merged = merged_;
    OdsArea used = used_;
    ReadRow(nodes[k], parts[k].first, parts[k].second);
    merged_ = merged;  // the split changes no area
    used_ = used;
  }
  rows_.insert(rows_.end(), saved.begin(), saved.end());
}

}  // namespace host::odf
