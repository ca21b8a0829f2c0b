#pragma once
// The engine's view of an open workbook: its worksheets' stores answer the
// engine's questions. Defined names are not read from the stores, so a
// formula that uses one cannot be computed here (it keeps the workbook's
// recalculation flags).

#include <vector>

#include "host/core/calc/CellSource.h"

namespace host {
class Workbook;
class Worksheet;
}  // namespace host

namespace host::calc {

class WorkbookCells : public CellSource {
 public:
  explicit WorkbookCells(Workbook& book);

  int SheetCount() const override { return static_cast<int>(sheets_.size()); }
  int FindSheet(std::string_view name) const override;
  std::string SheetName(int sheet) const override;
  StoredValue CellValue(int sheet, int row, int column) const override;
  std::string CellFormula(int sheet, int row, int column) const override;
  bool RowHidden(int sheet, int row) const override;
  bool UsedArea(int sheet, CellArea& area) const override;
  bool Date1904() const override { return date1904_; }
  std::optional<std::string> DefinedName(std::string_view name, int sheet) const override;
  bool ArrayFormulaArea(int sheet, int row, int column, CellArea& area) const override;

 private:
  struct Sheet {
    Worksheet* sheet;
    std::vector<CellArea> arrays;  // the array formulas of more than one cell
    bool hasUsed;
    CellArea used;
  };
  std::vector<Sheet> sheets_;
  bool date1904_;
};

}  // namespace host::calc
