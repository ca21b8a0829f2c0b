#pragma once
// One table of an OpenDocument spreadsheet, over its XML. Rows and cells
// repeated with table:number-rows-repeated / table:number-columns-repeated
// stay one element each; a row or cell gets an element of its own only
// where an operation needs it.

#include <pugixml.hpp>
#include <string>
#include <string_view>
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

  // Reads the table element's columns, rows and cells (those within the
  // sheet's limits, XFD1048576). HostError when it holds more merged cells
  // or array formulas than the host handles.
  explicit OdsSheet(pugi::xml_node table);

  std::string Name() const { return table_.attribute("table:name").value(); }
  pugi::xml_node Table() const { return table_; }
  const std::vector<RowGroup>& Rows() const { return rows_; }
  // The bounding box of cells with content; lastRow 0 for an empty sheet.
  OdsArea UsedRange() const { return used_; }
  // Merged areas: each spanning cell with the covered cells under it.
  const std::vector<OdsArea>& MergedAreas() const { return merged_; }
  // The blocks of array formulas (table:number-matrix-*-spanned).
  const std::vector<OdsArea>& ArrayAreas() const { return arrays_; }
  // True when the table is protected.
  bool IsProtected() const { return table_.attribute("table:protected").as_bool(); }

  // The cell element at (row, column), or an empty node where there is none.
  pugi::xml_node CellNode(int row, int column) const;
  std::string Text(int row, int column) const { return CellText(CellNode(row, column)); }
  OdsValue Value(int row, int column) const { return CellValue(CellNode(row, column)); }
  // The cell style that applies at (row, column): the cell's own, else the
  // row's or the column's default; "" when none.
  std::string_view CellStyle(int row, int column) const;
  // Rows with visibility "collapse" or "filter" are hidden.
  bool IsRowHidden(int row) const;

  // Makes `row` a row element of its own, splitting its repeated group into
  // the rows before, the row, and the rows after; nothing when it is alone
  // already or lies past the sheet's rows.
  void SplitRow(int row);
  // Collapses or shows one row (given an element of its own; rows past the
  // table's rows are added).
  void SetRowHidden(int row, bool hidden);
  // Row firstRow + k receives the cells of columns firstColumn..lastColumn
  // that stood in row sourceOf[k] (a permutation of those rows). Cells
  // move whole (style, annotation, links); their formulas shift by the rows
  // moved; row elements and their attributes stay.
  void PlaceRowCells(int firstRow, int firstColumn, int lastColumn, const std::vector<int>& sourceOf);
  // True when row holds a cell with content or a style of its own within
  // columns firstColumn..lastColumn.
  bool RowHoldsCells(int row, int firstColumn, int lastColumn) const;
  // True when any cell holds a formula.
  bool HoldsFormulas() const;
  // True once the table changed since it was read.
  bool Modified() const { return modified_; }

 private:
  const RowGroup* GroupOf(int row) const;
  RowGroup ScanRow(pugi::xml_node node, int firstRow, int count) const;
  void ReadRow(pugi::xml_node node, int firstRow, int count);
  void AddAreas(std::vector<OdsArea>& areas, int firstRow, int count, const CellRun& run, int rows,
                int columns) const;
  void ReadRows(pugi::xml_node parent, int& nextRow, int depth);
  void ReadColumns(pugi::xml_node parent, int& nextColumn, int depth);
  int RowCount() const { return rows_.empty() ? 0 : rows_.back().firstRow + rows_.back().count - 1; }
  // Adds empty rows after the table's rows up to lastRow.
  void EnsureRows(int lastRow);
  // Gives each row of first..last an element of its own, in one pass.
  void SplitRows(int first, int last);
  // Makes column a boundary between cell elements of the (single) row.
  void SplitCellsAt(RowGroup& row, int column);
  void RecomputeUsedRange();

  pugi::xml_node table_;
  std::vector<RowGroup> rows_;
  std::vector<std::pair<int, std::string>> columnStyles_;  // first column of a run, default cell style
  std::vector<OdsArea> merged_;
  std::vector<OdsArea> arrays_;
  OdsArea used_;
  bool modified_ = false;
};

}  // namespace host::odf
