#pragma once
// The engine's view of an open workbook: its worksheets' stores answer the
// engine's questions, and its store gives the defined names. A format that
// does not read its names leaves a formula that uses one uncomputed (it
// keeps the workbook's recalculation flags).

#include <optional>
#include <string>
#include <unordered_map>
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
  FormulaKey CellFormulaShape(int sheet, int row, int column, std::string& key) const override;
  bool RowHidden(int sheet, int row) const override;
  bool UsedArea(int sheet, CellArea& area) const override;
  bool Date1904() const override { return date1904_; }
  std::optional<std::string> DefinedName(std::string_view name, int sheet) const override;
  bool ArrayFormulaArea(int sheet, int row, int column, CellArea& area) const override;
  ReferenceText IndirectReferences() const override { return indirect_; }

 private:
  struct Sheet {
    Worksheet* sheet;
    std::vector<CellArea> arrays;  // the array formulas of more than one cell
    bool hasUsed;
    CellArea used;
  };
  // A name's definitions: the sheet it is local to (-1: the workbook) and its A1 text.
  struct Definition {
    int sheet;
    std::string formula;
  };
  // The definition's A1 text; NotEvaluable when the format could not give it.
  static std::string Readable(const Definition& definition, std::string_view name);

  std::vector<Sheet> sheets_;
  bool date1904_;
  ReferenceText indirect_;
  bool namesRead_ = false;  // false when the format does not read its names
  std::unordered_map<std::string, std::vector<Definition>> names_;  // by upper-case name
};

}  // namespace host::calc
