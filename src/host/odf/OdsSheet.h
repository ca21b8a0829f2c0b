#pragma once
// One table of an OpenDocument spreadsheet, over its XML. Rows and cells
// repeated with table:number-rows-repeated / table:number-columns-repeated
// stay one element each; SplitRow gives a single row an element of its own
// only where an operation needs it.

#include <pugixml.hpp>
#include <string>
#include <vector>

#include "host/odf/OdsCell.h"

namespace host::odf {

// A rectangle of cells, 1-based and inclusive.
struct OdsArea {
  int firstRow = 0, firstColumn = 0, lastRow = 0, lastColumn = 0;
  bool operator==(const OdsArea&) const = default;
};

class OdsSheet {
 public:
  // A run of equal cells: one table:table-cell or table:covered-table-cell.
  struct CellRun {
    int firstColumn;
    int count;
    pugi::xml_node node;
  };
  // A run of equal rows: one table:table-row element.
  struct RowGroup {
    int firstRow;
    int count;
    pugi::xml_node node;
    std::vector<CellRun> cells;
  };

  // Reads the table element's rows and cells.
  explicit OdsSheet(pugi::xml_node table);

  std::string Name() const { return table_.attribute("table:name").value(); }
  const std::vector<RowGroup>& Rows() const { return rows_; }
  // The bounding box of cells with content; lastRow 0 for an empty sheet.
  OdsArea UsedRange() const { return used_; }
  // Merged areas: each spanning cell with the covered cells under it.
  const std::vector<OdsArea>& MergedAreas() const { return merged_; }

  // The cell element at (row, column), or an empty node where there is none.
  pugi::xml_node CellNode(int row, int column) const;
  std::string Text(int row, int column) const { return CellText(CellNode(row, column)); }
  OdsValue Value(int row, int column) const { return CellValue(CellNode(row, column)); }
  // Rows with visibility "collapse" or "filter" are hidden.
  bool IsRowHidden(int row) const;

  // Makes `row` a row element of its own, splitting its repeated group into
  // the rows before, the row, and the rows after; nothing when it is alone
  // already or lies past the sheet's rows.
  void SplitRow(int row);

 private:
  const RowGroup* GroupOf(int row) const;
  void ReadRow(pugi::xml_node node, int firstRow, int count);
  void ReadRows(pugi::xml_node parent, int& nextRow);

  pugi::xml_node table_;
  std::vector<RowGroup> rows_;
  std::vector<OdsArea> merged_;
  OdsArea used_;
};

}  // namespace host::odf
