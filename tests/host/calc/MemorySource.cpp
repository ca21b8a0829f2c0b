#include "host/calc/MemorySource.h"

#include <gtest/gtest.h>

#include <cmath>

#include "host/core/CellAddress.h"
#include "host/core/calc/Coercion.h"

namespace host::calc::test {

MemorySource::Stored& MemorySource::At(int sheet, const std::string& a1) {
  int row = 0, column = 0;
  if (!ParseCellReference(a1, row, column)) ADD_FAILURE() << "bad address " << a1;
  return cells_[{sheet, row, column}];
}

void MemorySource::SetNumber(int sheet, const std::string& a1, double n) {
  At(sheet, a1).value = StoredValue{CellKind::Number, n, {}, false};
}
void MemorySource::SetText(int sheet, const std::string& a1, const std::string& text) {
  At(sheet, a1).value = StoredValue{CellKind::Text, 0, text, false};
}
void MemorySource::SetBoolean(int sheet, const std::string& a1, bool b) {
  At(sheet, a1).value = StoredValue{CellKind::Boolean, b ? 1.0 : 0.0, {}, false};
}
void MemorySource::SetError(int sheet, const std::string& a1, const std::string& code) {
  At(sheet, a1).value = StoredValue{CellKind::Error, 0, code, false};
}
void MemorySource::SetFormula(int sheet, const std::string& a1, const std::string& formula) {
  Stored& s = At(sheet, a1);
  s.formula = formula;
  s.value = StoredValue{CellKind::Blank, 0, {}, true};
}

int MemorySource::FindSheet(std::string_view name) const {
  for (size_t i = 0; i < names_.size(); ++i)
    if (CompareText(names_[i], name) == 0) return static_cast<int>(i);  // case-insensitive, as workbooks name sheets
  return -1;
}

StoredValue MemorySource::CellValue(int sheet, int row, int column) const {
  auto it = cells_.find({sheet, row, column});
  return it == cells_.end() ? StoredValue{} : it->second.value;
}

std::string MemorySource::CellFormula(int sheet, int row, int column) const {
  auto it = cells_.find({sheet, row, column});
  return it == cells_.end() ? std::string() : it->second.formula;
}

bool MemorySource::UsedArea(int sheet, CellArea& area) const {
  bool any = false;
  for (const auto& [key, cell] : cells_) {
    const auto [s, r, c] = key;
    if (s != sheet) continue;
    if (!any) area = CellArea{r, c, r, c};
    area.firstRow = std::min(area.firstRow, r);
    area.lastRow = std::max(area.lastRow, r);
    area.firstColumn = std::min(area.firstColumn, c);
    area.lastColumn = std::max(area.lastColumn, c);
    any = true;
  }
  return any;
}

std::optional<std::string> MemorySource::DefinedName(std::string_view name, int) const {
  auto it = names_by_.find(std::string(name));
  if (it == names_by_.end()) return std::nullopt;
  return it->second;
}

Expected Num(double n) { return Expected{Expected::Kind::Number, n, {}, CalcError::Value}; }
Expected Txt(std::string s) { return Expected{Expected::Kind::Text, 0, std::move(s), CalcError::Value}; }
Expected Bool(bool b) { return Expected{Expected::Kind::Boolean, b ? 1.0 : 0.0, {}, CalcError::Value}; }
Expected Err(CalcError e) { return Expected{Expected::Kind::Error, 0, {}, e}; }
Expected Unevaluable() { return Expected{Expected::Kind::NotEvaluable, 0, {}, CalcError::Value}; }

std::string Describe(const Value& v) {
  switch (v.type) {
    case Value::Type::Blank: return "blank";
    case Value::Type::Number: return "number " + std::to_string(v.number);
    case Value::Type::Text: return "text \"" + v.text + "\"";
    case Value::Type::Boolean: return v.number ? "TRUE" : "FALSE";
    case Value::Type::Error: return std::string(ErrorText(v.error));
    default: return "array or reference";
  }
}

std::string Mismatch(const Evaluator::Outcome& outcome, const Expected& expected) {
  if (expected.kind == Expected::Kind::NotEvaluable)
    return outcome.evaluated ? "evaluated to " + Describe(outcome.value) : "";
  if (!outcome.evaluated) return "not evaluated: " + outcome.why;
  const Value& v = outcome.value;
  switch (expected.kind) {
    case Expected::Kind::Number:
      if (v.type == Value::Type::Number &&
          std::fabs(v.number - expected.number) <= 1e-9 * std::max(1.0, std::fabs(expected.number)))
        return "";
      break;
    case Expected::Kind::Text:
      if (v.type == Value::Type::Text && v.text == expected.text) return "";
      break;
    case Expected::Kind::Boolean:
      if (v.type == Value::Type::Boolean && v.number == expected.number) return "";
      break;
    case Expected::Kind::Error:
      if (v.type == Value::Type::Error && v.error == expected.error) return "";
      break;
    default:
      break;
  }
  return "got " + Describe(v);
}

void RunCases(MemorySource& source, const std::vector<Case>& cases, int row, int column) {
  for (const Case& c : cases) {
    Evaluator engine(source);
    const std::string mismatch = Mismatch(engine.Formula(c.formula, 0, row, column), c.expected);
    EXPECT_EQ(mismatch, "") << "=" << c.formula;
  }
}

}  // namespace host::calc::test

namespace host::calc::test {

MemorySource StandardSheets() {
  MemorySource s({"Sheet1", "Other Sheet"});
  s.SetNumber(0, "A1", 10);
  s.SetNumber(0, "A2", 20);
  s.SetNumber(0, "A3", 30);
  s.SetText(0, "A5", "abc");
  s.SetBoolean(0, "A6", true);
  s.SetText(0, "B1", "apple");
  s.SetText(0, "B2", "banana");
  s.SetText(0, "B3", "cherry");
  s.SetText(0, "B4", "Apple pie");
  for (int i = 1; i <= 3; ++i) s.SetNumber(0, "C" + std::to_string(i), i);
  s.SetText(0, "D1", "one");
  s.SetText(0, "D2", "two");
  s.SetText(0, "D3", "three");
  s.SetText(0, "E1", "3");
  s.SetText(0, "E2", " 5 ");
  s.SetNumber(0, "E3", 45292);
  s.SetFormula(0, "F1", "A1*2");
  s.SetFormula(0, "F2", "F1+A2");
  s.SetError(0, "G1", "#N/A");
  s.HideRow(0, 2);
  s.SetNumber(1, "A1", 100);
  s.SetNumber(1, "A2", 200);
  s.DefineName("Rate", "Sheet1!$A$1");
  return s;
}

}  // namespace host::calc::test
