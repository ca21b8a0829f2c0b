#pragma once
// Sheets held in memory for the engine's tests: cells set from A1 addresses
// as values or formulas, hidden rows and defined names, and the helpers the
// tables of cases compare results with.

#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/core/calc/CellSource.h"
#include "host/core/calc/Evaluator.h"

namespace host::calc::test {

class MemorySource : public CellSource {
 public:
  explicit MemorySource(std::vector<std::string> sheets = {"Sheet1"}) : names_(std::move(sheets)) {}

  void SetNumber(int sheet, const std::string& a1, double n);
  void SetText(int sheet, const std::string& a1, const std::string& text);
  void SetBoolean(int sheet, const std::string& a1, bool b);
  void SetError(int sheet, const std::string& a1, const std::string& code);
  void SetFormula(int sheet, const std::string& a1, const std::string& formula);
  void HideRow(int sheet, int row) { hidden_.insert({sheet, row}); }
  void DefineName(const std::string& name, const std::string& text) { names_by_[name] = text; }
  void SetDate1904(bool on) { date1904_ = on; }
  void SetIndirectReferences(ReferenceText syntax) { indirect_ = syntax; }

  int SheetCount() const override { return static_cast<int>(names_.size()); }
  int FindSheet(std::string_view name) const override;
  std::string SheetName(int sheet) const override { return names_[static_cast<size_t>(sheet)]; }
  StoredValue CellValue(int sheet, int row, int column) const override;
  std::string CellFormula(int sheet, int row, int column) const override;
  bool RowHidden(int sheet, int row) const override { return hidden_.count({sheet, row}) > 0; }
  bool UsedArea(int sheet, CellArea& area) const override;
  bool Date1904() const override { return date1904_; }
  std::optional<std::string> DefinedName(std::string_view name, int sheet) const override;
  ReferenceText IndirectReferences() const override { return indirect_; }

 private:
  struct Stored {
    StoredValue value;
    std::string formula;
  };
  using Key = std::tuple<int, int, int>;
  Stored& At(int sheet, const std::string& a1);

  std::vector<std::string> names_;
  std::map<Key, Stored> cells_;
  std::set<std::pair<int, int>> hidden_;
  std::map<std::string, std::string> names_by_;
  bool date1904_ = false;
  ReferenceText indirect_ = ReferenceText::A1;
};

// What a case expects: a number (within 1e-9 relative), a text, a boolean,
// an error, or that the engine reports it cannot evaluate the formula.
struct Expected {
  enum class Kind { Number, Text, Boolean, Error, NotEvaluable } kind;
  double number = 0;
  std::string text;
  CalcError error = CalcError::Value;
};
Expected Num(double n);
Expected Txt(std::string s);
Expected Bool(bool b);
Expected Err(CalcError e);
Expected Unevaluable();

struct Case {
  const char* formula;
  Expected expected;
};

// A value as a failure message shows it.
std::string Describe(const Value& v);

// Empty when the outcome is what the case expects, else what differs.
std::string Mismatch(const Evaluator::Outcome& outcome, const Expected& expected);

// Runs every case as a formula in sheet 0 at (row, column) and reports each mismatch.
void RunCases(MemorySource& source, const std::vector<Case>& cases, int row = 20, int column = 26);

}  // namespace host::calc::test

namespace host::calc::test {
// The sheets the function tables compute on:
//   Sheet1 A1:A3 10, 20, 30; A4 blank; A5 "abc"; A6 TRUE
//          B1:B4 "apple", "banana", "cherry", "Apple pie"
//          C1:C3 1, 2, 3 and D1:D3 "one", "two", "three"
//          E1 "3" (text), E2 " 5 " (text), E3 45292 (2024-01-01)
//          F1 =A1*2, F2 =F1+A2; G1 #N/A; row 2 hidden
//   'Other Sheet' A1:A2 100, 200; the name Rate is Sheet1!$A$1.
MemorySource StandardSheets();
}  // namespace host::calc::test
