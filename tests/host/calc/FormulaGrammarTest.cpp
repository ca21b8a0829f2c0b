// The A1 grammar and the operators: precedence, references of every form,
// constants, coercions between kinds and errors passed on.

#include <gtest/gtest.h>

#include "host/calc/MemorySource.h"
#include "host/core/calc/FormulaParser.h"

namespace host::calc::test {
namespace {

TEST(FormulaGrammar, OperatorsFollowTheReferencePrecedence) {
  MemorySource s = StandardSheets();
  RunCases(s, {
                  {"1+2*3", Num(7)},
                  {"-2^2", Num(4)},
                  {"2^3^2", Num(64)},
                  {"2*3%", Num(0.06)},
                  {"\"a\"&1+2", Txt("a3")},
                  {"1+2=3", Bool(true)},
                  {"1<>1", Bool(false)},
                  {"10/4", Num(2.5)},
                  {"0.1+0.2-0.3", Num(0)},
                  {"=(1+2)*3", Num(9)},
                  {"2 * 3", Num(6)},
              });
}

TEST(FormulaGrammar, ReferencesOfEveryForm) {
  MemorySource s = StandardSheets();
  RunCases(s, {
                  {"$A$1+A$2+$A3", Num(60)},
                  {"SUM(A1:A3)", Num(60)},
                  {"SUM(A:A)", Num(60)},
                  {"SUM(3:3)", Num(45325)},
                  {"'Other Sheet'!A1+1", Num(101)},
                  {"SUM('Other Sheet'!A1:A2)", Num(300)},
                  {"SUM('Sheet1:Other Sheet'!A1)", Num(110)},
                  {"SUM((A1,A3))", Num(40)},
                  {"SUM(A1:A3 A2:C2)", Num(20)},
                  {"A1:A3 C1:C3", Err(CalcError::Null)},
                  {"Rate*2", Num(20)},
                  {"Missing+1", Err(CalcError::Name)},
                  {"NoSuchSheet!A1", Err(CalcError::Ref)},
                  {"#REF!+1", Err(CalcError::Ref)},
                  {"SUM(A1:INDEX(A1:A3,2))", Num(30)},
                  {"F2", Num(40)},
              });
}

TEST(FormulaGrammar, ConstantsAndPrefixes) {
  MemorySource s = StandardSheets();
  RunCases(s, {
                  {"LEN(\"a\"\"b\")", Num(3)},
                  {"SUM({1,2;3,4})", Num(10)},
                  {"SUM({1,2,3}*2)", Num(12)},
                  {"#N/A", Err(CalcError::NA)},
                  {"TRUE", Bool(true)},
                  {"1.5E+2", Num(150)},
                  {"_xlfn.XLOOKUP(2,C1:C3,D1:D3)", Txt("two")},
                  {"_xlfn.CONCAT(\"a\",\"b\")", Txt("ab")},
              });
}

TEST(FormulaGrammar, CoercionsAndEmptyCells) {
  MemorySource s = StandardSheets();
  RunCases(s, {
                  {"A4+1", Num(1)},
                  {"A4&\"x\"", Txt("x")},
                  {"A4=0", Bool(true)},
                  {"A4=\"\"", Bool(true)},
                  {"E1+1", Num(4)},
                  {"E2*2", Num(10)},
                  {"\"1,000\"+1", Num(1001)},
                  {"\"50%\"*2", Num(1)},
                  {"\"2024-01-01\"+0", Num(45292)},
                  {"A6+1", Num(2)},
                  {"A5+1", Err(CalcError::Value)},
                  {"1/3&\"\"", Txt("0.333333333333333")},
                  {"1E+20&\"\"", Txt("1E+20")},
                  {"\"b\">\"A\"", Bool(true)},
                  {"\"a\"=\"A\"", Bool(true)},
                  {"\"a\">1", Bool(true)},
                  {"TRUE>\"z\"", Bool(true)},
              });
}

TEST(FormulaGrammar, ErrorsPassOn) {
  MemorySource s = StandardSheets();
  RunCases(s, {
                  {"G1+1", Err(CalcError::NA)},
                  {"1/0", Err(CalcError::Div0)},
                  {"1/0+G1", Err(CalcError::Div0)},
                  {"SUM(A1:G1)", Err(CalcError::NA)},
                  {"(-1)^0.5", Err(CalcError::Num)},
                  {"G1=1", Err(CalcError::NA)},
              });
}

TEST(FormulaGrammar, ImplicitIntersectionTakesTheFormulasRow) {
  MemorySource s = StandardSheets();
  RunCases(s, {{"A1:A3", Num(20)}, {"A1:A3*2", Num(40)}, {"A:A+1", Num(21)}}, 2, 8);
  RunCases(s, {{"A1:A3", Err(CalcError::Value)}}, 9, 8);
}

TEST(FormulaGrammar, UnreadableFormulasAreNamed) {
  for (const char* text : {"1+", "SUM(1", "\"open", "[1]Sheet1!A1", "Table1[Col]", "{1,A1}", "1 2"}) {
    EXPECT_THROW(ParseA1Formula(text), FormulaUnreadable) << text;
  }
}

}  // namespace
}  // namespace host::calc::test
