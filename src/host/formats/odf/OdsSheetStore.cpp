#include "host/formats/odf/OdsSheetStore.h"

#include "host/core/DateSerial.h"

#include <algorithm>
#include <string_view>

#include "host/core/SortKeys.h"
#include "host/core/SortPlan.h"
#include "host/formats/odf/OdsDocument.h"
#include "host/formats/odf/OdsFormula.h"
#include "host/formats/odf/OpenFormula.h"

namespace host::odf {

OdsSheetStore::OdsSheetStore(std::shared_ptr<OdsDocument> document, int sheet)
    : document_(std::move(document)), sheet_(sheet) {}

OdsSheet& OdsSheetStore::Sheet() const { return document_->Sheet(sheet_); }

std::vector<CellArea> OdsSheetStore::MergedCellAreas() const { return Sheet().MergedAreas(); }

bool OdsSheetStore::UsedArea(CellArea& area) const {
  const CellArea used = Sheet().UsedRange();
  if (used.lastRow == 0) return false;
  area = used;
  return true;
}

StoredValue OdsSheetStore::Value(int row, int column) const {
  std::string_view cell = Sheet().CellElement(row, column);
  if (cell.empty()) return {};
  return ValueOf(cell, ReadCellAttributes(cell));
}

void OdsSheetStore::ReadSortKeys(int firstRow, int lastRow, int keyColumn, SortKeyList& keys) const {
  const OdsSheet& sheet = Sheet();
  for (int row = firstRow; row <= lastRow; ++row) {
    std::string_view cell = sheet.CellElement(row, keyColumn);
    if (cell.empty()) continue;
    const CellAttributes attributes = ReadCellAttributes(cell);
    // A text cell without a formula, a value attribute or an error result,
    // whose one paragraph is plain characters: that text is its value.
    std::string_view text;
    if (!attributes.formula.data() && !attributes.stringValue.data() && attributes.valueType == "string" &&
        attributes.calcValueType != "error" && PlainParagraphText(cell, attributes.tagLength, text))
      keys.AddTextView(row, text);
    else
      keys.Add(row, ValueOf(cell, attributes));
  }
}

StoredValue OdsSheetStore::ValueOf(std::string_view cell, const CellAttributes& attributes) const {
  StoredValue value;
  const bool formula = attributes.formula.data() != nullptr;
  if (attributes.calcValueType == "error") {
    value.kind = CellKind::Error;
    value.text = CellText(cell);
    return value;
  }
  OdsValue stored = CellValue(attributes);
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
      if (attributes.stringValue.data())
        value.text = DecodeAttribute(attributes.stringValue);
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
  std::string written = Sheet().Formula(row, column);
  if (written.empty()) return written;
  std::optional<std::string> a1 = OpenFormulaToA1(written);
  return a1 ? std::move(*a1) : written;
}

FormulaKey OdsSheetStore::FormulaShapeKey(int row, int column, std::string& key) const {
  const std::string written = Sheet().Formula(row, column);
  if (written.empty()) return FormulaKey::None;
  return OdsFormulaShape(written, row, column, key) ? FormulaKey::Keyed : FormulaKey::TextOnly;
}

std::optional<std::string> OdsSheetStore::StoredText(int row, int column) const {
  std::string_view cell = Sheet().CellElement(row, column);
  if (!CellHasParagraphs(cell)) return std::nullopt;
  return CellText(cell);
}

bool OdsSheetStore::RowHidden(int row) const { return Sheet().IsRowHidden(row); }

void OdsSheetStore::SetRowHidden(int row, bool hidden) {
  if (Sheet().IsRowHidden(row) != hidden) Sheet().SetRowHidden(row, hidden);
}

bool OdsSheetStore::SortProtected() const { return Sheet().IsProtected(); }

bool OdsSheetStore::RowFormattingProtected() const { return Sheet().IsProtected(); }

bool OdsSheetStore::HoldsFormulas() const { return Sheet().HoldsFormulas(); }

std::vector<CellArea> OdsSheetStore::ArrayFormulaAreas() const { return Sheet().ArrayAreas(); }

std::vector<RowRun> OdsSheetStore::RepeatedRows(int firstRow, int lastRow) const {
  std::vector<RowRun> runs;
  const auto& groups = Sheet().Rows();
  // From the group that holds firstRow on (groups run in row order).
  auto from = std::upper_bound(groups.begin(), groups.end(), firstRow,
                               [](int row, const OdsSheet::RowGroup& g) { return row < g.firstRow; });
  if (from != groups.begin()) --from;
  for (auto group = from; group != groups.end() && group->firstRow <= lastRow; ++group) {
    const int first = std::max(group->firstRow, firstRow);
    const int last = std::min(group->firstRow + group->count - 1, lastRow);
    if (last > first) runs.push_back(RowRun{first, last - first + 1});
  }
  return runs;
}

size_t OdsSheetStore::MoveRows(const RowMove& move) {
  const CellArea& area = move.area;
  OdsSheet& sheet = Sheet();
  std::vector<RowPiece> pieces = move.pieces;
  if (pieces.empty()) {
    RowNumbers sourceOf(move.targetOf.size());  // targetOf is a permutation: every entry is written
    for (size_t k = 0; k < move.targetOf.size(); ++k)
      sourceOf[static_cast<size_t>(move.targetOf[k] - area.firstRow)] = area.firstRow + static_cast<int>(k);
    pieces = PiecesOf(area.firstRow, sourceOf);
  }
  // The rows that went elsewhere and hold cells, counted a row element at a
  // time: its rows hold the same cells.
  size_t moved = 0;
  for (const RowPiece& piece : pieces) {
    if (piece.target == piece.source) continue;
    for (int row = piece.source; row < piece.source + piece.count;) {
      const RowRun like = sheet.RowsLike(row);
      const int end = std::min(like.firstRow + like.count, piece.source + piece.count);
      if (sheet.RowHoldsCells(row, area.firstColumn, area.lastColumn)) moved += static_cast<size_t>(end - row);
      row = end;
    }
  }
  if (moved > 0) sheet.PlaceRowCells(area.firstRow, area.firstColumn, area.lastColumn, pieces);
  return moved;
}

}  // namespace host::odf
