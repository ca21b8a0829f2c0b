#include "host/core/calc/WorkbookCells.h"

#include "host/core/SheetStore.h"
#include "host/core/Workbook.h"
#include "host/core/WorkbookStore.h"
#include "host/core/Worksheet.h"
#include "host/core/calc/Coercion.h"
#include "host/core/calc/Evaluator.h"

namespace host::calc {

WorkbookCells::WorkbookCells(Workbook& book)
    : date1904_(book.Date1904()), indirect_(book.Store().IndirectReferences()) {
  for (Worksheet* sheet : book.Worksheets()) {
    Sheet s{sheet, {}, false, {}};
    for (const CellArea& a : sheet->Store().ArrayFormulaAreas())
      if (a.firstRow != a.lastRow || a.firstColumn != a.lastColumn) s.arrays.push_back(a);
    s.hasUsed = sheet->Store().UsedArea(s.used);
    sheets_.push_back(std::move(s));
  }
  std::optional<std::vector<WorkbookStore::DefinedName>> names = book.Store().DefinedNames();
  namesRead_ = names.has_value();
  if (!names) return;
  // Worksheets are numbered among worksheets; a name local to another kind of sheet is left out.
  std::unordered_map<int, int> worksheetOf;
  for (size_t i = 0; i < sheets_.size(); ++i) worksheetOf[sheets_[i].sheet->Index() - 1] = static_cast<int>(i);
  for (WorkbookStore::DefinedName& name : *names) {
    int sheet = -1;
    if (name.sheet >= 0) {
      auto found = worksheetOf.find(name.sheet);
      if (found == worksheetOf.end()) continue;
      sheet = found->second;
    }
    names_[UpperText(name.name)].push_back(Definition{sheet, std::move(name.formula)});
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

FormulaKey WorkbookCells::CellFormulaShape(int sheet, int row, int column, std::string& key) const {
  return sheets_[static_cast<size_t>(sheet)].sheet->Store().FormulaShape(row, column, key);
}

bool WorkbookCells::RowHidden(int sheet, int row) const {
  return sheets_[static_cast<size_t>(sheet)].sheet->Store().RowHidden(row);
}

bool WorkbookCells::UsedArea(int sheet, CellArea& area) const {
  const Sheet& s = sheets_[static_cast<size_t>(sheet)];
  area = s.used;
  return s.hasUsed;
}

std::optional<std::string> WorkbookCells::DefinedName(std::string_view name, int sheet) const {
  if (!namesRead_) throw NotEvaluable{"it uses the defined name " + std::string(name)};
  auto found = names_.find(UpperText(name));
  if (found == names_.end()) return std::nullopt;
  const Definition* global = nullptr;
  for (const Definition& d : found->second) {
    if (d.sheet == sheet) return Readable(d, name);
    if (d.sheet < 0 && !global) global = &d;
  }
  if (!global) return std::nullopt;
  return Readable(*global, name);
}

std::string WorkbookCells::Readable(const Definition& definition, std::string_view name) {
  if (definition.formula.empty()) throw NotEvaluable{"the defined name " + std::string(name) + " cannot be read here"};
  return definition.formula;
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
