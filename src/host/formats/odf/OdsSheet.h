#pragma once
// One table of an OpenDocument spreadsheet, over the bytes of its element in
// content.xml: one scan finds each row's and cell's bytes and keeps compact
// records of them (no document tree). Rows and cells repeated with
// table:number-rows-repeated / table:number-columns-repeated stay one record
// each; a row or cell gets a record of its own only where an operation needs
// it. Changes are made on the records; Write gives the table's new bytes:
// the old bytes of each row and cell element where they still hold, and tags
// written anew only where a repeat was split, a row hidden or shown, or a
// formula moved.

#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/formats/odf/OdsCell.h"

#include "host/core/CellAddress.h"
#include "host/core/HugePages.h"
#include "host/core/SortPlan.h"

namespace host::odf {

// The used range of a table that holds no cell.
inline constexpr CellArea kNoCells{0, 0, 0, 0};

// A part written anew as views of its bytes, of static text and of strings
// made for it: a million and more for a large table, so in huge pages.
using Pieces = HugeVector<std::string_view>;

// A rectangle of cells, 1-based and inclusive.
class OdsSheet {
 public:
  // A run of equal cells: one table:table-cell or table:covered-table-cell.
  struct CellRun {
    int firstColumn = 0;
    int count = 0;
    uint32_t begin = 0;    // the element's bytes in the part (at most 4 GB); kRewritten: its index in rewritten_
    uint32_t length = 0;   // 0 for a cell added by a change
    int formula = -1;      // index of the formula written anew, -1 when as read
    uint8_t flags = 0;     // OdsSheet::k* below
  };
  // A run of equal rows: one table:table-row element.
  struct RowGroup {
    int firstRow = 0;
    int count = 0;
    size_t begin = 0;       // '<' of the start tag; for an added row: where it goes
    size_t startEnd = 0;    // one past the start tag
    size_t contentEnd = 0;  // '<' of the end tag (startEnd when self-closing)
    size_t end = 0;         // one past the element
    size_t tailBegin = 0;   // where the content after the cells read starts
    bool hidden = false;
    bool added = false;              // made by a change; no bytes of its own
    bool repeatChanged = false;      // its repeat count is written anew
    bool visibilityChanged = false;  // its visibility is written anew
    bool cellsChanged = false;       // its cells are written from the records
    size_t firstCell = 0;            // its cell runs: Cells(row)
    uint32_t cellCount = 0;
  };
  static constexpr uint8_t kCovered = 1, kContent = 2, kFormula = 4, kStyle = 8, kRepeatChanged = 16,
                           kRewritten = 32;

  // Reads the table element whose '<' stands at `begin` in part (which must
  // outlive the sheet): its columns, rows and cells (those within the sheet's
  // limits, XFD1048576; empty rows and cells past them are kept as they are
  // written). XmlFault when the element is not well formed or the part is
  // larger than 4 GB; HostError when a cell past the limits holds content;
  // HostError when it holds more merged cells or array formulas than the
  // host handles.
  OdsSheet(std::string_view part, size_t begin);

  // Where the table element starts and ends (one past it) in the part.
  size_t Begin() const { return begin_; }
  size_t End() const { return end_; }
  // The start tag as read, and the same made an empty element (for a part
  // read without the tables' contents).
  std::string_view StartTag() const { return part_.substr(begin_, startEnd_ - begin_); }
  // The table's own table:named-expressions element as read; empty when it has none.
  std::string_view NamedExpressions() const { return part_.substr(namesBegin_, namesEnd_ - namesBegin_); }

  const std::string& Name() const { return name_; }
  const HugeVector<RowGroup>& Rows() const { return rows_; }
  // The cell runs of a row group, in column order.
  std::span<const CellRun> Cells(const RowGroup& row) const { return {cells_.data() + row.firstCell, row.cellCount}; }
  // The bounding box of cells with content; lastRow 0 for an empty sheet.
  CellArea UsedRange() const { return used_; }
  // Merged areas: each spanning cell with the covered cells under it.
  const std::vector<CellArea>& MergedAreas() const { return merged_; }
  // The blocks of array formulas (table:number-matrix-*-spanned).
  const std::vector<CellArea>& ArrayAreas() const { return arrays_; }
  // True when the table is protected.
  bool IsProtected() const { return protected_; }

  // The bytes of the cell element at (row, column) as read, or "" where
  // there is none.
  std::string_view CellElement(int row, int column) const;
  // The cell element as it would be written now (its formula moved, its
  // repeat split); "" where there is none.
  std::string CellXml(int row, int column) const;
  std::string Text(int row, int column) const { return CellText(CellElement(row, column)); }
  OdsValue Value(int row, int column) const { return CellValue(CellElement(row, column)); }
  // The cell's formula as it stands now (e.g. "of:=[.A1]*2"), or "".
  std::string Formula(int row, int column) const;
  // The raw value of an attribute of the row element holding `row`; "" when none.
  std::string_view RowAttribute(int row, std::string_view name) const;
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
  void PlaceRowCells(int firstRow, int firstColumn, int lastColumn, const RowNumbers& sourceOf);
  // The same with the move as pieces (RowPiece: in target order, covering
  // the rows from firstRow on): a repeated row element moved whole costs one
  // piece, whatever its repeat count.
  void PlaceRowCells(int firstRow, int firstColumn, int lastColumn, const std::vector<RowPiece>& pieces);
  // True when row holds a cell with content or a style of its own within
  // columns firstColumn..lastColumn.
  bool RowHoldsCells(int row, int firstColumn, int lastColumn) const;
  // The rows of the row element that holds row (row alone where none does):
  // copies of one another, so an answer for one row holds for all.
  RowRun RowsLike(int row) const;
  // True when any cell holds a formula.
  bool HoldsFormulas() const;
  // True when the cell at (row, column) holds a formula.
  bool IsFormulaCell(int row, int column) const;
  // The cells holding a formula, as (row, column) in row order. HostError
  // when repeat counts make a million formula cells or more out of fewer elements.
  std::vector<std::pair<int, int>> FormulaCells() const;
  // Puts rewrite(element, edits) in place of the element at (row, column),
  // which holds a cell: the element as read and the edits of its start tag
  // still to be made (a moved formula, a repeat count split). Its row and
  // column repeats are split first, so that the other cells they stood for stay.
  void RewriteCell(int row, int column,
                   const std::function<std::string(std::string_view element, std::vector<AttributeEdit> edits)>& rewrite);
  // True once the table changed since it was read.
  bool Modified() const { return modified_; }

  // Appends the table element as it stands to pieces: views of the part,
  // of static text, or of strings kept in written.
  void Write(Pieces& pieces, std::deque<std::string>& written) const;
  // The table element as it stands, in one string.
  std::string Xml() const;

 private:
  class Scan;
  // What a scan of rows fills: the sheet's records, or those of the second
  // half of a table read in two halves.
  struct RowRecords {
    HugeVector<RowGroup> rows;
    HugeVector<CellRun> cells;
    std::vector<CellArea> merged;
    std::vector<CellArea> arrays;
    CellArea used = kNoCells;
  };
  const RowGroup* GroupOf(int row) const;
  const CellRun* RunAt(int row, int column) const;
  std::string_view Bytes(const CellRun& run) const {
    return run.flags & kRewritten ? std::string_view(rewritten_[run.begin]) : part_.substr(run.begin, run.length);
  }
  int RowCount() const { return rows_.empty() ? 0 : rows_.back().firstRow + rows_.back().count - 1; }
  // Adds empty rows after the table's rows up to lastRow.
  void EnsureRows(int lastRow);
  // Cuts the row groups so that each row of starts (ascending) begins one,
  // in one pass.
  void SplitAt(const std::vector<int>& starts);
  // The row's runs with a run of empty cells added up to lastColumn and
  // runs split so that firstColumn and lastColumn + 1 start runs.
  void Segmented(const RowGroup& row, int firstColumn, int lastColumn, std::vector<CellRun>& out) const;
  void RecomputeUsedRange();
  std::string CellXmlOf(const CellRun& run) const;
  // The start tag's edits a run's element still waits for.
  std::vector<AttributeEdit> PendingEdits(const CellRun& run) const;
  void WriteRow(const RowGroup& row, Pieces& pieces, std::deque<std::string>& written) const;

  std::string_view part_;
  size_t begin_ = 0, startEnd_ = 0, end_ = 0;
  bool selfClosing_ = false;
  size_t rowAnchor_ = 0;  // where rows go when the table has none
  size_t namesBegin_ = 0, namesEnd_ = 0;  // the table's named expressions
  std::string name_;
  bool protected_ = false;
  HugeVector<RowGroup> rows_;
  // The rows' cell runs, each row's in one stretch. A change gives a row a
  // new stretch (rows split from one group share theirs); a run is changed
  // in place only where its row's stretch is its own.
  HugeVector<CellRun> cells_;
  std::vector<std::pair<int, std::string_view>> columnStyles_;  // first column of a run, default cell style
  std::vector<CellArea> merged_;
  std::vector<CellArea> arrays_;
  std::vector<std::string> formulas_;  // formulas written anew
  std::deque<std::string> rewritten_;  // cell elements written anew (kRewritten runs)
CellArea used_ = kNoCells;  // lastRow 0 while the table holds no cell
  int64_t rowsPastEnd_ = 0;  // empty rows a repeat count gives past the sheet's last row
  bool modified_ = false;
};

}  // namespace host::odf
