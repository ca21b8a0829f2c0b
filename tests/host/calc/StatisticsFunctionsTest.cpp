// Counting and statistics, SUBTOTAL and AGGREGATE with hidden rows.

#include <gtest/gtest.h>

#include "host/calc/MemorySource.h"

namespace host::calc::test {
namespace {

TEST(StatisticsFunctions, Table) {
  MemorySource s = StandardSheets();
  RunCases(s, {
                  {"COUNT(A1:A6)", Num(3)},
                  {"COUNT(1,\"2\",\"x\",TRUE)", Num(3)},
                  {"COUNTA(A1:A6)", Num(5)},
                  {"COUNTBLANK(A1:A6)", Num(1)},
                  {"COUNTIF(A1:A6,\">15\")", Num(2)},
                  {"COUNTIF(B1:B4,\"apple*\")", Num(2)},
                  {"COUNTIF(B1:B4,\"?pple\")", Num(1)},
                  {"COUNTIF(A1:A6,\"\")", Num(1)},
                  {"COUNTIF(A1:A6,\"<>\")", Num(5)},
                  {"COUNTIF(A1:A6,TRUE)", Num(1)},
                  {"COUNTIFS(A1:A3,\">5\",C1:C3,\"<3\")", Num(2)},
                  {"AVERAGE(A1:A6)", Num(20)},
                  {"AVERAGE(A4)", Err(CalcError::Div0)},
                  {"AVERAGEIF(C1:C3,\">1\",A1:A3)", Num(25)},
                  {"AVERAGEIFS(A1:A3,C1:C3,\"<>2\")", Num(20)},
                  {"MIN(A1:A6)", Num(10)},
                  {"MAX(A1:A6,-1)", Num(30)},
                  {"MAX(A5)", Num(0)},
                  {"MINIFS(A1:A3,C1:C3,\">1\")", Num(20)},
                  {"MAXIFS(A1:A3,C1:C3,\"<3\")", Num(20)},
                  {"LARGE(A1:A3,1)", Num(30)},
                  {"SMALL({5,1,3},2)", Num(3)},
                  {"SMALL(A1:A3,4)", Err(CalcError::Num)},
                  {"RANK(20,A1:A3)", Num(2)},
                  {"RANK.EQ(20,A1:A3,1)", Num(2)},
                  {"RANK.AVG(20,(A1:A3,A2))", Num(2.5)},
                  {"RANK(25,A1:A3)", Err(CalcError::NA)},
                  {"MEDIAN(A1:A3,40)", Num(25)},
                  {"STDEV(A1:A3)", Num(10)},
                  {"VAR.P(A1:A3)", Num(200.0 / 3)},
                  {"SUBTOTAL(9,A1:A3)", Num(60)},
                  {"SUBTOTAL(109,A1:A3)", Num(40)},
                  {"SUBTOTAL(103,A1:A6)", Num(4)},
                  {"SUBTOTAL(1,A1:A3)", Num(20)},
                  {"SUBTOTAL(9,1)", Err(CalcError::Value)},
                  {"AGGREGATE(9,5,A1:A3)", Num(40)},
                  {"AGGREGATE(9,6,A1:G1)", Num(10 + 1 + 20)},
                  {"AGGREGATE(14,4,A1:A3,2)", Num(20)},
                  {"AGGREGATE(4,0,A1:A3)", Num(30)},
              });
}

TEST(StatisticsFunctions, SubtotalsLeaveOutNestedSubtotals) {
  MemorySource s = StandardSheets();
  s.SetFormula(0, "H1", "SUBTOTAL(9,A1:A3)");
  s.SetNumber(0, "H2", 5);
  RunCases(s, {{"SUBTOTAL(9,H1:H2)", Num(5)}, {"SUM(H1:H2)", Num(65)}, {"AGGREGATE(9,4,H1:H2)", Num(65)}});
}

}  // namespace
}  // namespace host::calc::test
