// OpenDocument formulas in A1 syntax: one row per rule of the grammar, and
// what has no A1 form. Each A1 text is read by the engine's parser too, so
// a translation the engine would misread fails here.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "host/core/calc/FormulaParser.h"
#include "host/formats/odf/OpenFormula.h"

namespace {

TEST(OpenFormula, EachRuleOfTheGrammarHasItsA1Form) {
  struct Case {
    const char* formula;
    std::optional<std::string> a1;
  } cases[] = {
      {"of:=[.A1]*2", "A1*2"},                                        // a cell of the formula's sheet
      {"of:=SUM([.A1:.B2])", "SUM(A1:B2)"},                           // an area
      {"of:=[.$A$1]+[.A$2]+[.$A3]", "$A$1+A$2+$A3"},                  // absolute parts
      {"of:=[$Sheet2.A1]", "'Sheet2'!A1"},                            // another sheet
      {"of:=[$'Sheet 1'.A1:.B5]", "'Sheet 1'!A1:B5"},                 // a quoted sheet, the area on it
      {"of:=['It''s'.C3]", "'It''s'!C3"},                             // a quote in a sheet name
      {"of:=SUM([$Sheet1.A1:$Sheet3.B2])", "SUM('Sheet1:Sheet3'!A1:B2)"},  // across sheets
      {"of:=SUM([.A:.B])", "SUM(A:B)"},                               // whole columns
      {"of:=SUM([.$3:.5])", "SUM($3:5)"},                             // whole rows
      {"of:=IF([.A1]>1;\"a\";\"b\")", "IF(A1>1,\"a\",\"b\")"},        // ";" between arguments
      {"of:=IF(TRUE();;1)", "IF(TRUE(),,1)"},                         // a missing argument
      {"of:=SUM([.A1:.A3]~[.C1])", "SUM(A1:A3~C1)"},                  // union
      {"of:=SUM([.A1:.C3]![.B1:.B5])", "SUM(A1:C3 B1:B5)"},           // intersection
      {"of:=SUM({1;2|3;4})", "SUM({1,2;3,4})"},                       // an inline array
      {"of:=\"a;b|c\"&\"x\"\"y\"", "\"a;b|c\"&\"x\"\"y\""},           // texts as written
      {"of:=IFERROR(#DIV/0!;#N/A)", "IFERROR(#DIV/0!,#N/A)"},         // error literals
      {"of:=[.#REF!]+[$#REF!.A1]+#REF!", "#REF!+#REF!+#REF!"},        // references that were deleted
      {"of:=COM.MICROSOFT.IFS([.A1]>1;2)", "IFS(A1>1,2)"},            // the reference program's functions
      {"of:=sum( [.A1] ; 2 )", "SUM(A1,2)"},                          // white space; names in any case
      {"of:=-2^2%+1.5E+2", "-2^2%+1.5E+2"},                           // operators and numbers
      {"of:=MyName*2", "MyName*2"},                                   // a named expression
      {"msoxl:=A1*2", "A1*2"},                                        // the reference program's own syntax
      {"=[.B2]", "B2"},                                               // no namespace: OpenFormula
      {"of:=['file:///other.ods'#$Sheet1.A1]", std::nullopt},         // another document
      {"of:=CEILING([.A1];2)", std::nullopt},                         // rounds negatives otherwise
      {"of:=[.A1", std::nullopt},                                     // unclosed
      {"of:=[.A]", std::nullopt},                                     // a lone column
      {"of:=[.A1:.B]", std::nullopt},                                 // a cell to a column
      {"of:=1,2", std::nullopt},                                      // "," means nothing
      {"of:=1|2", std::nullopt},                                      // "|" outside an array
      {"of:={1;2", std::nullopt},                                     // an unclosed array
      {"of:=#BAD!", std::nullopt},                                    // an unknown error
      {"ooow:=1", std::nullopt},                                      // an unknown namespace
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.formula);
    const std::optional<std::string> a1 = host::odf::OpenFormulaToA1(c.formula);
    EXPECT_EQ(a1, c.a1);
    if (a1) {
      EXPECT_NO_THROW(host::calc::ParseA1Formula(*a1));
    }
  }
}

}  // namespace
