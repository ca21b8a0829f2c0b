#pragma once
// One table of an .ods workbook as the host's object model sees it: values,
// displayed texts, number formats and formulas of its cells, and the two
// changes the core decides (hidden rows, rows moved) applied to the table's
// XML until the workbook is saved.

#include <memory>

#include "host/core/SheetStore.h"
#include "host/formats/odf/OdsCell.h"

namespace host::odf {

class OdsDocument;
class OdsSheet;

class OdsSheetStore : public SheetStore {
 public:
  // The sheet'th table (1-based) of document, which the store shares.
  OdsSheetStore(std::shared_ptr<OdsDocument> document, int sheet);

  bool UsedArea(CellArea& area) const override;
  std::vector<CellArea> MergedCellAreas() const override;
  StoredValue Value(int row, int column) const override;
  // The keys as Value gives them, a text cell of the common shape viewed in
  // the part's bytes rather than copied.
  void ReadSortKeys(int firstRow, int lastRow, int keyColumn, SortKeyList& keys) const override;
  std::string_view FormatCode(int row, int column) const override;
  // The formula in A1 syntax without "=" ("A1*2" for "of:=[.A1]*2"); one
  // that has no A1 form (another document's cells) as written, with its
  // namespace ("of:=['other.ods'#$Sheet1.A1]"), which no A1 reader takes.
  std::string Formula(int row, int column) const override;
  std::optional<std::string> StoredText(int row, int column) const override;
  // The OpenFormula text's shape (see OdsFormulaShape): the formulas of a
  // filled column are translated to A1 once.
  FormulaKey FormulaShapeKey(int row, int column, std::string& key) const override;

  bool RowHidden(int row) const override;
  void SetRowHidden(int row, bool hidden) override;

  bool SortProtected() const override;
  bool RowFormattingProtected() const override;
  bool HoldsFormulas() const override;

  std::vector<CellArea> ArrayFormulaAreas() const override;
  // The rows of each repeated row element (table:number-rows-repeated).
  std::vector<RowRun> RepeatedRows(int firstRow, int lastRow) const override;
  size_t MoveRows(const RowMove& move) override;

  // Formula results kept in the cells' value attributes and paragraphs
  // (see OdsFormulaResults.h); an array formula's first cell holds its
  // formula (table:number-matrix-*-spanned) and the others its values.
  std::vector<std::pair<int, int>> FormulaCells() const override;
  bool SetFormulaResult(int row, int column, const StoredValue& result) override;
  bool SetArrayResults(const std::vector<CellResult>& results) override;

 private:
  OdsSheet& Sheet() const;
  // The value of a cell element whose start tag's attributes were read.
  StoredValue ValueOf(std::string_view cell, const CellAttributes& attributes) const;
  // Puts result in the cell's value attributes and paragraphs.
  void KeepResult(OdsSheet& sheet, int row, int column, const StoredValue& result);

  std::shared_ptr<OdsDocument> document_;
  int sheet_;
};

}  // namespace host::odf
