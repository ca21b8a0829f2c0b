// Lookups and references.

#include <gtest/gtest.h>

#include "host/calc/MemorySource.h"

namespace host::calc::test {
namespace {

TEST(LookupFunctions, Table) {
  MemorySource s = StandardSheets();
  RunCases(s, {
                  {"VLOOKUP(2,C1:D3,2,FALSE)", Txt("two")},
                  {"VLOOKUP(2.5,C1:D3,2)", Txt("two")},
                  {"VLOOKUP(0,C1:D3,2)", Err(CalcError::NA)},
                  {"VLOOKUP(2,C1:D3,3,FALSE)", Err(CalcError::Ref)},
                  {"VLOOKUP(\"b*\",B1:C3,1,FALSE)", Txt("banana")},
                  {"VLOOKUP(\"APPLE\",B1:B4,1,0)", Txt("apple")},
                  {"HLOOKUP(\"banana\",B2:B3,2,FALSE)", Txt("cherry")},
                  {"HLOOKUP(2,{1,2,3;\"a\",\"b\",\"c\"},2,FALSE)", Txt("b")},
                  {"MATCH(20,A1:A3,0)", Num(2)},
                  {"MATCH(25,A1:A3)", Num(2)},
                  {"MATCH(25,{30,20,10},-1)", Num(1)},
                  {"MATCH(\"cherry\",B1:B4,0)", Num(3)},
                  {"MATCH(5,A1:A3,1)", Err(CalcError::NA)},
                  {"XMATCH(25,A1:A3,1)", Num(3)},
                  {"XMATCH(25,A1:A3,-1)", Num(2)},
                  {"XLOOKUP(3,C1:C3,D1:D3)", Txt("three")},
                  {"XLOOKUP(9,C1:C3,D1:D3,\"none\")", Txt("none")},
                  {"XLOOKUP(9,C1:C3,D1:D3)", Err(CalcError::NA)},
                  {"XLOOKUP(\"Apple*\",B1:B4,A1:A4,,2,-1)", Num(0)},
                  {"LOOKUP(2.5,C1:C3,D1:D3)", Txt("two")},
                  {"LOOKUP(3,C1:D3)", Txt("three")},
                  {"INDEX(A1:A3,2)", Num(20)},
                  {"INDEX(C1:D3,3,2)", Txt("three")},
                  {"SUM(INDEX(C1:D3,0,1))", Num(6)},
                  {"INDEX(A1:A3,4)", Err(CalcError::Ref)},
                  {"INDEX({1,2;3,4},2,1)", Num(3)},
                  {"SUM(OFFSET(A1,1,0,2,1))", Num(50)},
                  {"OFFSET(A1,-1,0)", Err(CalcError::Ref)},
                  {"INDIRECT(\"A\"&3)", Num(30)},
                  {"SUM(INDIRECT(\"'Other Sheet'!A1:A2\"))", Num(300)},
                  {"INDIRECT(\"nonsense(\")", Err(CalcError::Ref)},
                  {"CHOOSE(2,\"a\",\"b\")", Txt("b")},
                  {"SUM(CHOOSE(1,A1:A3,C1:C3))", Num(60)},
                  {"CHOOSE(3,1,2)", Err(CalcError::Value)},
                  {"ROW()", Num(20)},
                  {"ROW(C7)", Num(7)},
                  {"COLUMN(C7)", Num(3)},
                  {"ROWS(A1:B5)", Num(5)},
                  {"COLUMNS({1,2,3})", Num(3)},
                  {"ADDRESS(2,3)", Txt("$C$2")},
                  {"ADDRESS(2,3,4)", Txt("C2")},
                  {"ADDRESS(2,3,1,FALSE)", Txt("R2C3")},
                  {"ADDRESS(1,1,1,TRUE,\"Other Sheet\")", Txt("'Other Sheet'!$A$1")},
              });
}

// INDIRECT reads its text as the workbook asks; each expected result is
// LibreOffice 7.4's under the matching setting of an .ods document.
TEST(LookupFunctions, IndirectReadsReferenceTextsAsTheWorkbookDoes) {
  const Expected ref = Err(CalcError::Ref);
  struct Row {
    const char* formula;
    Expected a1, sheetDot, sheetDotThenA1;
  } rows[] = {
      {"INDIRECT(\"'Other Sheet'.A1\")", ref, Num(100), Num(100)},
      {"INDIRECT(\"$'Other Sheet'.$A$1\")", ref, Num(100), Num(100)},
      {"INDIRECT(\"'other sheet'.a2\")", ref, Num(200), Num(200)},
      {"INDIRECT(\"'Other Sheet'!A1\")", Num(100), ref, Num(100)},
      {"INDIRECT(\"A1\")", Num(10), Num(10), Num(10)},
      {"INDIRECT(\".A1\")", ref, ref, ref},
      {"SUM(INDIRECT(\"'Other Sheet'.A1:A2\"))", ref, Num(300), Num(300)},
      {"SUM(INDIRECT(\"'Other Sheet'.A1:'Other Sheet'.A2\"))", ref, Num(300), Num(300)},
      {"SUM(INDIRECT(\"'Other Sheet'.A1:.A2\"))", ref, ref, ref},
      {"SUM(INDIRECT(\"'Other Sheet'.A:A\"))", ref, Num(300), Num(300)},
  };
  for (const ReferenceText syntax : {ReferenceText::A1, ReferenceText::SheetDot, ReferenceText::SheetDotThenA1, ReferenceText::Unknown}) {
    MemorySource s = StandardSheets();
    s.SetIndirectReferences(syntax);
    std::vector<Case> cases;
    for (const Row& r : rows)
      cases.push_back({r.formula, syntax == ReferenceText::A1         ? r.a1
                                  : syntax == ReferenceText::SheetDot ? r.sheetDot
                                  : syntax == ReferenceText::Unknown  ? Unevaluable()
                                                                      : r.sheetDotThenA1});
    RunCases(s, cases);
  }
}

TEST(LookupFunctions, LookupIntoAnotherSheetFollowsItsCells) {
  MemorySource s = StandardSheets();
  s.SetText(1, "B1", "x");
  s.SetText(1, "B2", "y");
  s.SetFormula(0, "H1", "VLOOKUP(\"y\",'Other Sheet'!B1:C2,1,FALSE)&INDEX('Other Sheet'!A1:A2,MATCH(\"y\",'Other Sheet'!B1:B2,0))");
  Evaluator engine(s);
  EXPECT_EQ(Mismatch(engine.Cell(0, 1, 8), Txt("y200")), "");
}

}  // namespace
}  // namespace host::calc::test
