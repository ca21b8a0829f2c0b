#pragma once
// One cell of a worksheet, read as the host displays it. A cell that the sheet
// does not hold reads as empty.

#include <string>

#include "host/core/StoredValue.h"  // CellKind

namespace host {

class Worksheet;

class Cell {
 public:
  Cell(const Worksheet& sheet, int row, int column) : sheet_(&sheet), row_(row), column_(column) {}

  int Row() const { return row_; }
  int Column() const { return column_; }
  // The displayed text: numbers and dates under the cell's number format,
  // text as stored (under a text format section), "TRUE"/"FALSE", errors as
  // stored; formulas show their cached value; empty for a blank cell.
  // HostError for a formula that was never calculated (no cached value).
  std::string Text() const;
  // The kind of the cell's value (a formula's cached value for formulas).
  CellKind Kind() const;
  // The number of a Number cell (dates are serial numbers); 0 otherwise.
  double Number() const;
  // The stored value as text without formatting (shared/inline string, error
  // code, "TRUE"/"FALSE", or the number in its shortest form).
  std::string Value() const;
  // The formula without its leading "=", or empty when the cell has none.
  std::string Formula() const;
  // The number format code the cell's style uses ("General" when none).
  std::string FormatCode() const;

 private:
  const Worksheet* sheet_;
  int row_;
  int column_;
};

}  // namespace host
