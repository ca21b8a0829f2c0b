#include "host/formats/odf/OdsSheetStore.h"

#include "host/core/DateSerial.h"

#include <algorithm>
#include <string_view>

#include "host/core/SortKeys.h"
#include "host/core/SortPlan.h"
#include "host/formats/odf/OdsDocument.h"
#include "host/formats/odf/OdsFormula.h"

namespace host::odf {

OdsSheetStore::OdsSheetStore(std::shared_ptr<OdsDocument> document, int sheet)
    : document_(std::move(document)), sheet_(sheet) {}

OdsSheet& OdsSheetStore::Sheet() const { return document_->Sheet(sheet_); }

namespace {

std::vector<CellArea> CoreAreas(const std::vector<OdsArea>& from) {
  std::vector<CellArea> to;
  for (const OdsArea& a : from) to.push_back({a.firstRow, a.firstColumn, a.lastRow, a.lastColumn});
  return to;
}

}  // namespace

std::vector<CellArea> OdsSheetStore::MergedCellAreas() const { return CoreAreas(Sheet().MergedAreas()); }

bool OdsSheetStore::UsedArea(CellArea& area) const {
  OdsArea used = Sheet().UsedRange();
  if (used.lastRow == 0) return false;
  area = {used.firstRow, used.firstColumn, used.lastRow, used.lastColumn};
  return true;
}

StoredValue OdsSheetStore::Value(int row, int column) const {
  std::string_view cell = Sheet().CellElement(row, column);
  StoredValue value;
  if (cell.empty()) return value;
  std::string_view raw;
  bool formula = ElementAttribute(cell, "table:formula", raw);
  if (AttributeText(cell, "calcext:value-type") == "error") {
    value.kind = CellKind::Error;
    value.text = CellText(cell);
    return value;
  }
  OdsValue stored = CellValue(cell);
  switch (stored.kind) {
    case OdsKind::Empty:
      if (formula) {
        // LibreOffice writes a formula whose result is an empty text (as
        // =IF(A2=0;"";...) gives) without a value type: its paragraph, or
        // the absence of one, is the result.
        value.kind = CellKind::Text;
        value.text = CellText(cell);
      } else if (CellHasParagraphs(cell)) {
        value.kind = CellKind::Text;
        value.text = CellText(cell);
      }
      break;
    case OdsKind::Number:
    case OdsKind::Percentage:
    case OdsKind::Currency:
      value.kind = CellKind::Number;
      value.number = stored.number;
      break;
    case OdsKind::Date:
      if (IsoDateToSerial(stored.literal, document_->Date1904(), value.number)) {
        value.kind = CellKind::Number;
        value.text = stored.literal;
      } else {
        value.kind = CellKind::Text;
        value.text = CellText(cell);
      }
      break;
    case OdsKind::Time:
      if (DurationDays(stored.literal, value.number)) {
        value.kind = CellKind::Number;
      } else {
        value.kind = CellKind::Text;
        value.text = CellText(cell);
      }
      break;
    case OdsKind::Boolean:
      value.kind = CellKind::Boolean;
      value.number = stored.number;
      break;
    case OdsKind::Text:
      value.kind = CellKind::Text;
      if (ElementAttribute(cell, "office:string-value", raw))
        value.text = DecodeAttribute(raw);
      else
        value.text = CellText(cell);
      break;
  }
  return value;
}

std::string_view OdsSheetStore::FormatCode(int row, int column) const {
  std::string_view style = Sheet().CellStyle(row, column);
  return document_->FormatCode(style.empty() ? "Default" : style);
}

std::string OdsSheetStore::Formula(int row, int column) const {
  return std::string(FormulaBody(Sheet().Formula(row, column)));
}

std::optional<std::string> OdsSheetStore::StoredText(int row, int column) const {
  std::string_view cell = Sheet().CellElement(row, column);
  if (!CellHasParagraphs(cell)) return std::nullopt;
  return CellText(cell);
}

bool OdsSheetStore::RowHidden(int row) const { return Sheet().IsRowHidden(row); }

void OdsSheetStore::SetRowHidden(int row, bool hidden) {
  bool was = Sheet().IsRowHidden(row);
  if (was == hidden) return;
  Sheet().SetRowHidden(row, hidden);
  if (hidden) {
    if (!hiddenAtOpen_.erase(row)) hiddenSinceOpen_.insert(row);
  } else {
    if (!hiddenSinceOpen_.erase(row)) hiddenAtOpen_.insert(row);
  }
}

bool OdsSheetStore::SortProtected() const { return Sheet().IsProtected(); }

bool OdsSheetStore::RowFormattingProtected() const { return Sheet().IsProtected(); }

bool OdsSheetStore::HoldsFormulas() const { return Sheet().HoldsFormulas(); }

bool OdsSheetStore::Sort(const CellArea& range, int keyColumn, bool descending) {
  OdsSheet& sheet = Sheet();
  std::optional<CellArea> reordered = RowsToReorder(range, MergedCellAreas(), CoreAreas(sheet.ArrayAreas()), {});
  if (!reordered) return false;
  CellArea area = *reordered;
  // Rows below the last used one are empty: they keep their places whatever
  // the order, so repeated empty rows to the sheet's end stay one element.
  area.lastRow = std::min(area.lastRow, sheet.UsedRange().lastRow);
  if (area.lastRow <= area.firstRow) return false;

  std::vector<int> hiddenRows;
  std::vector<StoredValue> values;
  std::vector<int> valueRows;
  for (int row = area.firstRow; row <= area.lastRow; ++row) {
    if (sheet.IsRowHidden(row)) {
      hiddenRows.push_back(row);
      continue;
    }
    StoredValue value = Value(row, keyColumn);
    if (value.uncalculated)
      throw NeverCalculatedKey(row, keyColumn);
    if (value.kind == CellKind::Blank) continue;
    values.push_back(std::move(value));
    valueRows.push_back(row);
  }
  std::vector<SortKey> keys;
  keys.reserve(values.size());
  for (size_t k = 0; k < values.size(); ++k) keys.push_back(KeyOf(valueRows[k], values[k]));
  std::vector<int> keyedInOrder = OrderKeys(std::move(keys), descending);
  std::vector<int> sourceOf = PlaceRows(area.firstRow, area.lastRow, hiddenRows, keyedInOrder);

  size_t moved = 0;
  for (size_t k = 0; k < sourceOf.size(); ++k)
    if (sourceOf[k] != area.firstRow + static_cast<int>(k) &&
        sheet.RowHoldsCells(sourceOf[k], area.firstColumn, area.lastColumn))
      ++moved;
  if (moved == 0) return false;
  sheet.PlaceRowCells(area.firstRow, area.firstColumn, area.lastColumn, sourceOf);
  rowsMoved_ += moved;
  return true;
}

}  // namespace host::odf
