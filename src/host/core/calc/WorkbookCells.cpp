#include "host/core/calc/WorkbookCells.h"

#include "host/core/SheetStore.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"
#include "host/core/calc/Coercion.h"
#include "host/core/calc/Evaluator.h"

namespace host::calc {

WorkbookCells::WorkbookCells(Workbook& book) : date1904_(book.Date1904()) {
  for (Worksheet* sheet : book.Worksheets()) {
    Sheet s{sheet, {}, false, {}};
    for (const CellArea& a : sheet->Store().ArrayFormulaAreas())
      if (a.firstRow != a.lastRow || a.firstColumn != a.lastColumn) s.arrays.push_back(a);
    s.hasUsed = sheet->Store().UsedArea(s.used);
    sheets_.push_back(std::move(s));
  }
}

int WorkbookCells::FindSheet(std::string_view name) const {
  for (size_t i = 0; i < sheets_.size(); ++i)
    if (CompareText(sheets_[i].sheet->Name(), name) == 0) return static_cast<int>(i);
  return -1;
}

std::string WorkbookCells::SheetName(int sheet) const { return sheets_[static_cast<size_t>(sheet)].sheet->Name(); }

StoredValue WorkbookCells::CellValue(int sheet, int row, int column) const {
  return sheets_[static_cast<size_t>(sheet)].sheet->Store().Value(row, column);
}

std::string WorkbookCells::CellFormula(int sheet, int row, int column) const {
  return sheets_[static_cast<size_t>(sheet)].sheet->Store().Formula(row, column);
}

bool WorkbookCells::RowHidden(int sheet, int row) const {
  return sheets_[static_cast<size_t>(sheet)].sheet->Store().RowHidden(row);
}

bool WorkbookCells::UsedArea(int sheet, CellArea& area) const {
  const Sheet& s = sheets_[static_cast<size_t>(sheet)];
  area = s.used;
  return s.hasUsed;
}

std::optional<std::string> WorkbookCells::DefinedName(std::string_view name, int) const {
  throw NotEvaluable{"it uses the defined name " + std::string(name)};
}

bool WorkbookCells::ArrayFormulaArea(int sheet, int row, int column, CellArea& area) const {
  for (const CellArea& a : sheets_[static_cast<size_t>(sheet)].arrays)
    if (row >= a.firstRow && row <= a.lastRow && column >= a.firstColumn && column <= a.lastColumn) {
      area = a;
      return true;
    }
  return false;
}

}  // namespace host::calc
