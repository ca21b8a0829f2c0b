#pragma once
// What the calculation engine asks of a workbook: the narrow interface the
// core gives it over the sheets, so that the engine knows no file format.
// Sheets are 0-based in workbook order (worksheets only); rows and columns
// 1-based.

#include <optional>
#include <string>
#include <string_view>

#include "host/core/CellAddress.h"
#include "host/core/ReferenceText.h"
#include "host/core/SheetStore.h"
#include "host/core/StoredValue.h"

namespace host::calc {

class CellSource {
 public:
  virtual ~CellSource() = default;

  virtual int SheetCount() const = 0;
  // The sheet of this name (case-insensitive), or -1.
  virtual int FindSheet(std::string_view name) const = 0;
  virtual std::string SheetName(int sheet) const = 0;
  // The cell's value as stored (a formula's stored result for a formula).
  virtual StoredValue CellValue(int sheet, int row, int column) const = 0;
  // The cell's formula in A1 syntax without "=", or empty.
  virtual std::string CellFormula(int sheet, int row, int column) const = 0;
  // The cell's formula as a key its shape's formulas share (see
  // SheetStore::FormulaShape); Unshaped where the source gives none.
  virtual FormulaKey CellFormulaShape(int sheet, int row, int column, std::string& key) const {
    (void)sheet;
    (void)row;
    (void)column;
    (void)key;
    return FormulaKey::Unshaped;
  }
  virtual bool RowHidden(int sheet, int row) const = 0;
  // The bounding box of the sheet's cells; false when it holds none.
  virtual bool UsedArea(int sheet, CellArea& area) const = 0;
  virtual bool Date1904() const = 0;
  // The A1 text of a defined name, local to sheet first, then global; nullopt when undefined.
  virtual std::optional<std::string> DefinedName(std::string_view name, int sheet) const {
    (void)name;
    (void)sheet;
    return std::nullopt;
  }
  // How INDIRECT reads its reference text.
  virtual ReferenceText IndirectReferences() const { return ReferenceText::A1; }
  // The area of the array formula the cell belongs to; false when it belongs to none.
  virtual bool ArrayFormulaArea(int sheet, int row, int column, CellArea& area) const {
    (void)sheet;
    (void)row;
    (void)column;
    (void)area;
    return false;
  }
};

}  // namespace host::calc
