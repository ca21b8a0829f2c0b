// A worksheet part's cells as the host's object model reads them: stored
// values decoded from the cell records, number format codes from the styles.

#include "host/formats/ooxml/OoxmlEscapes.h"
#include "host/formats/ooxml/SharedStrings.h"
#include "host/formats/ooxml/SheetData.h"
#include "host/formats/ooxml/Styles.h"

namespace host::ooxml {

void SheetData::Bind(const SharedStrings& strings, const Styles& styles, const DynamicArrayMetadata& metadata,
                     bool date1904) {
  strings_ = &strings;
  styles_ = &styles;
  metadata_ = &metadata;
  date1904_ = date1904;
}

StoredValue SheetData::Value(int row, int column) const {
  StoredValue value;
  const CellRecord* cell = Find(row, column);
  if (!cell) return value;
  if (const StoredValue* fresh = results_.empty() ? nullptr : ResultOf(*cell)) return *fresh;
  value.uncalculated = (cell->flags & kUncalculated) != 0;
  switch (cell->kind) {
    case ValueKind::Blank:
      break;
    case ValueKind::Number:
      value.kind = CellKind::Number;
      value.number = cell->value.number;
      break;
    case ValueKind::Boolean:
      value.kind = CellKind::Boolean;
      value.number = cell->value.number;
      break;
    case ValueKind::Error:
      value.kind = CellKind::Error;
      value.text = DecodeTextContent(Span(cell->value.span.offset, cell->value.span.size));
      break;
    case ValueKind::IsoDate:
      // A date written as ISO 8601 text: a number when it reads as one.
      value.text = DecodeTextContent(Span(cell->value.span.offset, cell->value.span.size));
      value.kind = IsoDateToSerial(value.text, date1904_, value.number) ? CellKind::Number : CellKind::Text;
      break;
    case ValueKind::Shared:
      value.kind = CellKind::Text;
      value.text = std::string(strings_->Get(cell->value.index));
      break;
    case ValueKind::Inline:
      value.kind = CellKind::Text;
      value.text = InlineText(*cell);
      break;
    case ValueKind::String:
      value.kind = CellKind::Text;
      value.text = DecodeTextContent(Span(cell->value.span.offset, cell->value.span.size));
      if (HasOoxmlEscape(value.text)) value.text = DecodeOoxmlEscapes(value.text);
      break;
  }
  return value;
}

std::string_view SheetData::FormatCode(int row, int column) const {
  const CellRecord* cell = Find(row, column);
  return cell ? styles_->FormatCode(cell->style) : std::string_view("General");
}

std::string SheetData::Formula(int row, int column) const {
  const CellRecord* cell = Find(row, column);
  return cell ? FormulaOf(*cell, row) : std::string();
}

}  // namespace host::ooxml
