// Text functions, TEXT through the host's number formats.

#include <gtest/gtest.h>

#include "host/calc/MemorySource.h"

namespace host::calc::test {
namespace {

TEST(TextFunctions, Table) {
  MemorySource s = StandardSheets();
  RunCases(s, {
                  {"LEFT(\"abcdef\",2)", Txt("ab")},
                  {"LEFT(\"abc\")", Txt("a")},
                  {"RIGHT(\"abcdef\",2)", Txt("ef")},
                  {"RIGHT(\"ab\",5)", Txt("ab")},
                  {"MID(\"abcdef\",2,3)", Txt("bcd")},
                  {"MID(\"abc\",0,1)", Err(CalcError::Value)},
                  {"LEN(\"äbc\")", Num(3)},
                  {"LEN(A1)", Num(2)},
                  {"LEN(A4)", Num(0)},
                  {"LEFT(\"äöü\",2)", Txt("äö")},
                  {"FIND(\"b\",\"abcb\",3)", Num(4)},
                  {"FIND(\"B\",\"abc\")", Err(CalcError::Value)},
                  {"SEARCH(\"B\",\"abc\")", Num(2)},
                  {"SEARCH(\"c?e\",\"abcdef\")", Num(3)},
                  {"SUBSTITUTE(\"a-b-c\",\"-\",\"+\")", Txt("a+b+c")},
                  {"SUBSTITUTE(\"a-b-c\",\"-\",\"+\",2)", Txt("a-b+c")},
                  {"REPLACE(\"abcdef\",2,3,\"X\")", Txt("aXef")},
                  {"UPPER(\"abä\")", Txt("ABÄ")},
                  {"LOWER(\"ABC\")", Txt("abc")},
                  {"PROPER(\"hello wORLD 2go\")", Txt("Hello World 2Go")},
                  {"TRIM(\"  a   b  \")", Txt("a b")},
                  {"CLEAN(\"a\"&CHAR(9)&\"b\")", Txt("ab")},
                  {"CONCAT(A1:A3,\"x\")", Txt("102030x")},
                  {"CONCATENATE(\"a\",1,TRUE)", Txt("a1TRUE")},
                  {"TEXTJOIN(\",\",TRUE,A1:A5)", Txt("10,20,30,abc")},
                  {"TEXTJOIN(\",\",FALSE,A3:A5)", Txt("30,,abc")},
                  {"TEXT(1234.567,\"#,##0.00\")", Txt("1,234.57")},
                  {"TEXT(0.25,\"0%\")", Txt("25%")},
                  {"TEXT(E3,\"yyyy-mm-dd\")", Txt("2024-01-01")},
                  {"TEXT(\"abc\",\"0\")", Txt("abc")},
                  {"VALUE(\"1,234.5\")", Num(1234.5)},
                  {"VALUE(\"x\")", Err(CalcError::Value)},
                  {"REPT(\"ab\",3)", Txt("ababab")},
                  {"EXACT(\"a\",\"A\")", Bool(false)},
                  {"CHAR(65)", Txt("A")},
                  {"CHAR(128)", Txt("€")},
                  {"CODE(\"A\")", Num(65)},
                  {"CODE(\"€\")", Num(128)},
                  {"LEN(G1)", Err(CalcError::NA)},
              });
}

}  // namespace
}  // namespace host::calc::test
