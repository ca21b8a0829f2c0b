// The evaluator's own rules: formula cells computed once and in any order,
// long chains without deep recursion, cycles and functions it does not
// compute reported, array formulas.

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "host/calc/MemorySource.h"
#include "host/core/HostError.h"

namespace host::calc::test {
namespace {

TEST(Evaluator, ALongChainIsComputedWithoutDeepRecursion) {
  MemorySource s;
  s.SetNumber(0, "A1", 1);
  const int rows = 20000;
  for (int r = 2; r <= rows; ++r) s.SetFormula(0, "A" + std::to_string(r), "A" + std::to_string(r - 1) + "+1");
  Evaluator engine(s);
  EXPECT_EQ(Mismatch(engine.Cell(0, rows, 1), Num(rows)), "");
}

TEST(Evaluator, CyclesAndUncomputableFormulasAreReported) {
  MemorySource s;
  s.SetFormula(0, "A1", "B1+1");
  s.SetFormula(0, "B1", "A1+1");
  s.SetFormula(0, "C1", "C1");
  s.SetFormula(0, "D1", "NOW()");
  s.SetFormula(0, "E1", "D1+1");
  s.SetFormula(0, "F1", "NOSUCHFUNCTION(1)");
  s.SetFormula(0, "G1", "[1]Sheet1!A1");
  // A long cycle passes the chain limit before it closes.
  for (int r = 1; r <= 200; ++r) s.SetFormula(0, "H" + std::to_string(r), "H" + std::to_string(r % 200 + 1) + "+1");
  Evaluator engine(s);
  for (int column : {1, 2, 3, 4, 5, 6, 7}) EXPECT_EQ(Mismatch(engine.Cell(0, 1, column), Unevaluable()), "") << column;
  EXPECT_EQ(Mismatch(engine.Cell(0, 50, 8), Unevaluable()), "");
}

TEST(Evaluator, AFormulaOfNothingIsZeroAndValuesAreThemselves) {
  MemorySource s;
  s.SetFormula(0, "A1", "B1");
  s.SetText(0, "C1", "t");
  Evaluator engine(s);
  EXPECT_EQ(Mismatch(engine.Cell(0, 1, 1), Num(0)), "");
  EXPECT_EQ(Mismatch(engine.Cell(0, 1, 3), Txt("t")), "");
}

TEST(Evaluator, FormulasOfOneShapeShareATreeYetEachGetsItsOwnResult) {
  // Each cell's result is that of its own text read on its own: a tree kept
  // for the shape of an earlier cell must serve a later one exactly.
  const struct {
    const char* cell;
    const char* formula;
  } cases[] = {
      {"C1", "A1*B1"},        {"C2", "A2*B2"},           {"C3", "A3*B3"},
      {"D3", "SUM(A$1:A3)"},  {"D5", "SUM(A$1:A5)"},     {"D1", "SUM(A1:A$3)"},
      {"E1", "SUM(A:A)"},     {"F1", "SUM(B:B)"},        {"G7", "SUM(1:2)"},
      {"G8", "SUM(2:3)"},     {"H1", "LOG10(A1)"},       {"H2", "LOG10(A2)"},
      {"I1", "Sheet1!A1+1"},  {"I2", "Sheet1!A2+1"},     {"J1", "$A1+B$1"},
      {"J2", "$A2+B$1"},      {"K1", "ROW(A1)+ROW()"},   {"K4", "ROW(A4)+ROW()"},
      {"L1", "\"A1\"&A1"},   {"L2", "\"A1\"&A2"},      {"M1", "SUM(A1:B2)"},
      {"M4", "SUM(A4:B5)"},   {"N2", "A1"},              {"N1", "A1"},
  };
  MemorySource s;
  for (int r = 1; r <= 5; ++r) {
    s.SetNumber(0, "A" + std::to_string(r), r);
    s.SetNumber(0, "B" + std::to_string(r), 10 * r);
  }
  for (const auto& c : cases) s.SetFormula(0, c.cell, c.formula);
  Evaluator shared(s);
  for (const auto& c : cases) {
    int row = 0, column = 0;
    ASSERT_TRUE(ParseCellReference(c.cell, row, column));
    Evaluator alone(s);
    const Evaluator::Outcome expected = alone.Formula(c.formula, 0, row, column);
    ASSERT_TRUE(expected.evaluated) << c.cell;
    const Expected same = expected.value.type == Value::Type::Text ? Txt(expected.value.text) : Num(expected.value.number);
    EXPECT_EQ(Mismatch(shared.Cell(0, row, column), same), "") << c.cell << " =" << c.formula;
  }
}

TEST(Evaluator, ArrayArgumentsComputeElementByElement) {
  MemorySource s = StandardSheets();
  RunCases(s, {
                  {"SUMPRODUCT(LEN(B1:B3))", Num(17)},
                  {"SUMPRODUCT(IF(A1:A3>15,1,0))", Num(2)},
                  {"SUMPRODUCT(ROUND(A1:A3/7,0))", Num(8)},
                  {"MAX(INDEX(A1:A3*2,0,1))", Num(60)},
              });
}

// A store that keys its formulas by shape but cannot give a formula's text:
// its own message names why the formula is not computed; a fault of any
// other kind is not turned into words for the user here.
TEST(Evaluator, AFormulaTextTheStoreCannotGiveIsNamedInTheStoresOwnWords) {
  struct Keyed : MemorySource {
    std::function<void()> fault;
    FormulaKey CellFormulaKey(int, int, int, std::string& key) const override {
      key = "shape";
      return FormulaKey::Keyed;
    }
    std::string CellFormula(int, int, int) const override {
      fault();
      return "1+1";
    }
  } source;
  source.SetFormula(0, "A1", "1+1");
  source.fault = [] { throw HostError("A formula is damaged: a token is cut off."); };
  const Evaluator::Outcome outcome = Evaluator(source).Cell(0, 1, 1);
  EXPECT_FALSE(outcome.evaluated);
  EXPECT_NE(outcome.why.find("A formula is damaged: a token is cut off."), std::string::npos) << outcome.why;
  source.fault = [] { throw std::out_of_range("basic_string::substr"); };
  EXPECT_THROW(Evaluator(source).Cell(0, 1, 1), std::out_of_range);
}

}  // namespace
}  // namespace host::calc::test
