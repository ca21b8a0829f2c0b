#include "host/Cell.h"

#include <charconv>

#include "host/CellAddress.h"
#include "host/HostError.h"
#include "host/NumberFormat.h"
#include "host/SharedStrings.h"
#include "host/SheetData.h"
#include "host/Styles.h"
#include "host/Workbook.h"
#include "host/WorkbookFile.h"
#include "host/Worksheet.h"

namespace host {

namespace {

using Kind = SheetData::ValueKind;

std::string ShortestNumber(double value) {
  char buffer[64];
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, ec == std::errc() ? ptr : buffer);
}

std::string StoredText(const SheetData& data, const SheetData::CellRecord& cell, const WorkbookFile& file) {
  switch (cell.kind) {
    case Kind::Shared:
      return std::string(file.Strings().Get(cell.value.index));
    case Kind::Inline:
      return data.InlineText(cell);
    case Kind::String: {
      std::string text = DecodeTextContent(data.Span(cell.value.span.offset, cell.value.span.size));
      return HasOoxmlEscape(text) ? DecodeOoxmlEscapes(text) : text;
    }
    case Kind::Error:
    case Kind::IsoDate:
      return DecodeTextContent(data.Span(cell.value.span.offset, cell.value.span.size));
    case Kind::Boolean:
      return cell.value.number != 0 ? "TRUE" : "FALSE";
    case Kind::Number:
      return ShortestNumber(cell.value.number);
    case Kind::Blank:
      return {};
  }
  return {};
}

}  // namespace

std::string Cell::Text() const {
  const SheetData& data = sheet_->Data();
  const SheetData::CellRecord* cell = data.Find(row_, column_);
  if (!cell) return {};
  const WorkbookFile& file = sheet_->Parent().File();
  if (cell->flags & SheetData::kUncalculated)
    throw HostError("Cell " + ColumnLetters(column_) + std::to_string(row_) + " on sheet \"" + sheet_->Name() +
                    "\" of \"" + file.Path() +
                    "\" holds a formula that has never been calculated, so the text it shows is unknown "
                    "(open and save the workbook in a spreadsheet program first).");
  std::string_view code = file.StyleSheet().FormatCode(cell->style);
  switch (cell->kind) {
    case Kind::Blank:
      return {};
    case Kind::Number:
      return FormatNumber(cell->value.number, code, file.Date1904());
    case Kind::Boolean:
      return cell->value.number != 0 ? "TRUE" : "FALSE";
    case Kind::Error:
      return StoredText(data, *cell, file);
    case Kind::IsoDate: {
      std::string raw = StoredText(data, *cell, file);
      double serial = 0;
      if (SheetData::IsoDateToSerial(raw, file.Date1904(), serial)) return FormatNumber(serial, code, file.Date1904());
      return raw;
    }
    case Kind::Shared:
      return FormatText(file.Strings().Get(cell->value.index), code);
    case Kind::Inline:
    case Kind::String:
      return FormatText(StoredText(data, *cell, file), code);
  }
  return {};
}

CellKind Cell::Kind() const {
  const SheetData::CellRecord* cell = sheet_->Data().Find(row_, column_);
  if (!cell) return CellKind::Blank;
  switch (cell->kind) {
    case Kind::Blank: return CellKind::Blank;
    case Kind::Number:
    case Kind::IsoDate: return CellKind::Number;
    case Kind::Boolean: return CellKind::Boolean;
    case Kind::Error: return CellKind::Error;
    default: return CellKind::Text;
  }
}

double Cell::Number() const {
  const SheetData& data = sheet_->Data();
  const SheetData::CellRecord* cell = data.Find(row_, column_);
  if (!cell) return 0;
  if (cell->kind == Kind::Number) return cell->value.number;
  if (cell->kind == Kind::IsoDate) {
    double serial = 0;
    if (SheetData::IsoDateToSerial(data.Span(cell->value.span.offset, cell->value.span.size),
                                   sheet_->Parent().Date1904(), serial))
      return serial;
  }
  return 0;
}

std::string Cell::Value() const {
  const SheetData& data = sheet_->Data();
  const SheetData::CellRecord* cell = data.Find(row_, column_);
  if (!cell) return {};
  return StoredText(data, *cell, sheet_->Parent().File());
}

std::string Cell::Formula() const {
  const SheetData& data = sheet_->Data();
  const SheetData::CellRecord* cell = data.Find(row_, column_);
  if (!cell) return {};
  return data.FormulaOf(*cell, row_);
}

std::string Cell::FormatCode() const {
  const SheetData::CellRecord* cell = sheet_->Data().Find(row_, column_);
  if (!cell) return "General";
  return std::string(sheet_->Parent().File().StyleSheet().FormatCode(cell->style));
}

}  // namespace host
