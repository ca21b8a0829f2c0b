#include "host/core/Cell.h"

#include <charconv>

#include "host/core/CellAddress.h"
#include "host/core/HostError.h"
#include "host/core/NumberFormat.h"
#include "host/core/SheetStore.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"

namespace host {

namespace {

std::string ShortestNumber(double value) {
  char buffer[64];
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, ec == std::errc() ? ptr : buffer);
}

}  // namespace

std::string Cell::Text() const {
  const SheetStore& store = sheet_->Store();
  if (std::optional<std::string> shown = store.StoredText(row_, column_)) return *shown;
  const StoredValue value = store.Value(row_, column_);
  if (value.uncalculated)
    throw HostError("Cell " + ColumnLetters(column_) + std::to_string(row_) + " on sheet \"" + sheet_->Name() +
                    "\" of \"" + sheet_->Parent().FullName() +
                    "\" holds a formula that has never been calculated, so the text it shows is unknown "
                    "(open and save the workbook in a spreadsheet program first).");
  switch (value.kind) {
    case CellKind::Blank:
      return {};
    case CellKind::Number:
      return FormatNumber(value.number, store.FormatCode(row_, column_), sheet_->Parent().Date1904());
    case CellKind::Boolean:
      return value.number != 0 ? "TRUE" : "FALSE";
    case CellKind::Error:
      return value.text;
    case CellKind::Text:
      return FormatText(value.text, store.FormatCode(row_, column_));
  }
  return {};
}

CellKind Cell::Kind() const { return sheet_->Store().Value(row_, column_).kind; }

double Cell::Number() const {
  const StoredValue value = sheet_->Store().Value(row_, column_);
  return value.kind == CellKind::Number ? value.number : 0;
}

std::string Cell::Value() const {
  const StoredValue value = sheet_->Store().Value(row_, column_);
  switch (value.kind) {
    case CellKind::Blank:
      return {};
    case CellKind::Number:
      return value.text.empty() ? ShortestNumber(value.number) : value.text;
    case CellKind::Boolean:
      return value.number != 0 ? "TRUE" : "FALSE";
    default:
      return value.text;
  }
}

std::string Cell::Formula() const { return sheet_->Store().Formula(row_, column_); }

std::string Cell::FormatCode() const { return std::string(sheet_->Store().FormatCode(row_, column_)); }

}  // namespace host
