// The evaluator's own rules: formula cells computed once and in any order,
// long chains without deep recursion, cycles and functions it does not
// compute reported, array formulas.

#include <gtest/gtest.h>

#include "host/calc/MemorySource.h"

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

TEST(Evaluator, ArrayArgumentsComputeElementByElement) {
  MemorySource s = StandardSheets();
  RunCases(s, {
                  {"SUMPRODUCT(LEN(B1:B3))", Num(17)},
                  {"SUMPRODUCT(IF(A1:A3>15,1,0))", Num(2)},
                  {"SUMPRODUCT(ROUND(A1:A3/7,0))", Num(8)},
                  {"MAX(INDEX(A1:A3*2,0,1))", Num(60)},
              });
}

}  // namespace
}  // namespace host::calc::test
