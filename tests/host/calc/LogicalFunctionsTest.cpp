// Logical and information functions.

#include <gtest/gtest.h>

#include "host/calc/MemorySource.h"

namespace host::calc::test {
namespace {

TEST(LogicalFunctions, Table) {
  MemorySource s = StandardSheets();
  RunCases(s, {
                  {"IF(A1>5,\"big\",\"small\")", Txt("big")},
                  {"IF(A1>50,\"big\")", Bool(false)},
                  {"IF(TRUE,,1)", Num(0)},
                  {"IF(\"x\",1,2)", Err(CalcError::Value)},
                  {"IF(FALSE,1/0,2)", Num(2)},
                  {"SUM(IF(TRUE,A1:A3,C1:C3))", Num(60)},
                  {"IFS(A1>50,1,A1>5,2)", Num(2)},
                  {"IFS(FALSE,1)", Err(CalcError::NA)},
                  {"IFERROR(1/0,\"e\")", Txt("e")},
                  {"IFERROR(5,\"e\")", Num(5)},
                  {"IFNA(G1,\"na\")", Txt("na")},
                  {"IFNA(1/0,\"na\")", Err(CalcError::Div0)},
                  {"AND(TRUE,1,A1:A6)", Bool(true)},
                  {"AND(A5)", Err(CalcError::Value)},
                  {"OR(FALSE,0)", Bool(false)},
                  {"XOR(TRUE,TRUE,TRUE)", Bool(true)},
                  {"NOT(0)", Bool(true)},
                  {"TRUE()", Bool(true)},
                  {"FALSE()", Bool(false)},
                  {"SWITCH(2,1,\"a\",2,\"b\",\"z\")", Txt("b")},
                  {"SWITCH(9,1,\"a\",\"z\")", Txt("z")},
                  {"SWITCH(9,1,\"a\")", Err(CalcError::NA)},
                  {"ISBLANK(A4)", Bool(true)},
                  {"ISBLANK(\"\")", Bool(false)},
                  {"ISNUMBER(E1)", Bool(false)},
                  {"ISNUMBER(E3)", Bool(true)},
                  {"ISTEXT(A5)", Bool(true)},
                  {"ISLOGICAL(A6)", Bool(true)},
                  {"ISERROR(G1)", Bool(true)},
                  {"ISERR(G1)", Bool(false)},
                  {"ISNA(G1)", Bool(true)},
                  {"NA()", Err(CalcError::NA)},
                  {"N(A6)", Num(1)},
                  {"N(A5)", Num(0)},
                  {"T(A5)", Txt("abc")},
                  {"T(A1)", Txt("")},
              });
}

}  // namespace
}  // namespace host::calc::test
