// The arithmetic family: one table of cases, coercions and errors included.

#include <gtest/gtest.h>

#include "host/calc/MemorySource.h"

namespace host::calc::test {
namespace {

TEST(MathFunctions, Table) {
  MemorySource s = StandardSheets();
  RunCases(s, {
                  {"SUM(A1:A6)", Num(60)},
                  {"SUM(A1,\"5\",TRUE)", Num(16)},
                  {"SUM(A5)", Num(0)},
                  {"SUM(\"x\")", Err(CalcError::Value)},
                  {"PRODUCT(A1:A3)", Num(6000)},
                  {"SUMPRODUCT(A1:A3,C1:C3)", Num(140)},
                  {"SUMPRODUCT((A1:A3>15)*A1:A3)", Num(50)},
                  {"SUMPRODUCT(--(B1:B4=\"apple\"))", Num(1)},
                  {"SUMPRODUCT(A1:A3,C1:C2)", Err(CalcError::Value)},
                  {"SUMIF(A1:A3,\">15\")", Num(50)},
                  {"SUMIF(B1:B3,\"b*\",A1:A3)", Num(20)},
                  {"SUMIF(C1:C3,2,A1)", Num(20)},
                  {"SUMIFS(A1:A3,C1:C3,\">=2\",B1:B3,\"<>cherry\")", Num(20)},
                  {"ROUND(2.675,2)", Num(2.68)},
                  {"ROUND(-2.5,0)", Num(-3)},
                  {"ROUND(1234,-2)", Num(1200)},
                  {"ROUNDUP(1.21,1)", Num(1.3)},
                  {"ROUNDUP(-1.21,1)", Num(-1.3)},
                  {"ROUNDDOWN(1.29,1)", Num(1.2)},
                  {"INT(-1.5)", Num(-2)},
                  {"TRUNC(-1.5)", Num(-1)},
                  {"TRUNC(1.239,2)", Num(1.23)},
                  {"ABS(-3)", Num(3)},
                  {"MOD(-3,2)", Num(1)},
                  {"MOD(3,-2)", Num(-1)},
                  {"MOD(1,0)", Err(CalcError::Div0)},
                  {"POWER(2,10)", Num(1024)},
                  {"SQRT(-1)", Err(CalcError::Num)},
                  {"SIGN(-0.1)", Num(-1)},
                  {"CEILING(2.1,1)", Num(3)},
                  {"CEILING(-2.5,1)", Num(-2)},
                  {"CEILING(-2.5,-1)", Num(-3)},
                  {"CEILING(2.5,-1)", Err(CalcError::Num)},
                  {"FLOOR(2.9,1)", Num(2)},
                  {"FLOOR(-2.5,1)", Num(-3)},
                  {"FLOOR(-2.5,-1)", Num(-2)},
                  {"CEILING(A4,1)", Num(0)},
                  {"ROUND(\"2.5\",0)", Num(3)},
                  {"ROUND(A5,0)", Err(CalcError::Value)},
              });
}

}  // namespace
}  // namespace host::calc::test
