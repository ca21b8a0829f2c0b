#include "host/core/FormulaShift.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Case {
    const char* formula;
    int rows;
    int columns;
    const char* expected;
};

void ExpectAll(const std::vector<Case>& cases) {
    for (const auto& c : cases)
        EXPECT_EQ(host::ShiftFormula(c.formula, c.rows, c.columns), c.expected)
            << "[" << c.formula << "] moved " << c.rows << " rows, " << c.columns << " columns";
}

TEST(FormulaShift, CellReferences) {
    ExpectAll({
        {"A1", 1, 1, "B2"},
        {"A1", 0, 0, "A1"},
        {"$A$1", 5, 5, "$A$1"},
        {"A$1", 5, 2, "C$1"},
        {"$A1", 5, 2, "$A6"},
        {"Z9", 1, 1, "AA10"},
        {"AZ1", 0, 1, "BA1"},
        {"XFC5", -1, 1, "XFD4"},
        {"C3", -2, -2, "A1"},
        {"a1+b2", 1, 0, "a2+b3"},
        {"A1+B2*C3-D4/E5^F6", 1, 0, "A2+B3*C4-D5/E6^F7"},
        {"-A1%", 2, 0, "-A3%"},
    });
}

TEST(FormulaShift, Ranges) {
    ExpectAll({
        {"SUM(A1:B2)", 1, 1, "SUM(B2:C3)"},
        {"SUM($A$1:B2)", 1, 1, "SUM($A$1:C3)"},
        {"A:A", 3, 1, "B:B"},
        {"$A:$C", 3, 1, "$A:$C"},
        {"A:$C", 0, 2, "C:$C"},
        {"1:1", 2, 5, "3:3"},
        {"$3:$5", 2, 5, "$3:$5"},
        {"3:$5", 2, 0, "5:$5"},
        {"SUM(2:3)", 1, 0, "SUM(3:4)"},
        {"COUNT(A1:A10,C:C,5:5)", 1, 1, "COUNT(B2:B11,D:D,6:6)"},
    });
}

TEST(FormulaShift, SheetAndExternalPrefixes) {
    ExpectAll({
        {"Sheet1!A1", 1, 1, "Sheet1!B2"},
        {"'My sheet'!A1:B2", 1, 1, "'My sheet'!B2:C3"},
        {"'It''s'!C3", 1, 0, "'It''s'!C4"},
        {"[1]Sheet!A1", 1, 0, "[1]Sheet!A2"},
        {"A1!B2", 1, 0, "A1!B3"},
        {"Sheet1:Sheet3!A1", 1, 0, "Sheet1:Sheet3!A2"},
        {"SUM(Data!$B$2:B10)", 2, 0, "SUM(Data!$B$2:B12)"},
        {"[Book.xlsx]Sheet1!A1", 1, 1, "[Book.xlsx]Sheet1!B2"},
        {"'C:\\x\\[B.xlsx]S'!A1", 1, 1, "'C:\\x\\[B.xlsx]S'!B2"},
        {"Sheet1!A:A+Sheet1!3:3", 1, 1, "Sheet1!B:B+Sheet1!4:4"},
    });
}

TEST(FormulaShift, RangesWithAComputedOrQualifiedEndShiftBothEnds) {
    ExpectAll({
        {"SUM(A1:OFFSET(A1,0,0))", 1, 0, "SUM(A2:OFFSET(A2,0,0))"},
        {"SUM(B2:INDEX(B:B,10))", 3, 1, "SUM(C5:INDEX(C:C,10))"},
        {"$A$1:INDEX(A:A,B1)", 2, 0, "$A$1:INDEX(A:A,B3)"},
        {"A1:_xlfn.SINGLE(B1)", 1, 0, "A2:_xlfn.SINGLE(B2)"},
        {"SUM(Sheet1!A1:Sheet1!A5)", 1, 0, "SUM(Sheet1!A2:Sheet1!A6)"},
        {"Sheet1!$A1:Sheet1!B$5", 2, 2, "Sheet1!$A3:Sheet1!D$5"},
        {"'My sheet'!A1:'My sheet'!A5", 1, 0, "'My sheet'!A2:'My sheet'!A6"},
        {"Data!A1:Data!A5", -1, 0, "Data!#REF!:Data!A4"},
        {"Sheet1:Sheet3!A1:A5", 1, 0, "Sheet1:Sheet3!A2:A6"},
    });
}

TEST(FormulaShift, LeavesNonReferencesAlone) {
    ExpectAll({
        {"\"A1\"&B1", 1, 0, "\"A1\"&B2"},
        {"\"say \"\"B2\"\"\"&C3", 1, 0, "\"say \"\"B2\"\"\"&C4"},
        {"LOG10(A1)", 1, 0, "LOG10(A2)"},
        {"ATAN2(A1,B1)", 1, 0, "ATAN2(A2,B2)"},
        {"1E5+1.5+.5+A1", 1, 0, "1E5+1.5+.5+A2"},
        {"2E-3*B1", 1, 0, "2E-3*B2"},
        {"Tax_Rate*A1", 1, 0, "Tax_Rate*A2"},
        {"MyName+Total2024x", 1, 1, "MyName+Total2024x"},
        {"#REF!+#N/A+#DIV/0!+#NAME?", 1, 1, "#REF!+#N/A+#DIV/0!+#NAME?"},
        {"IF(TRUE,FALSE,A1)", 1, 0, "IF(TRUE,FALSE,A2)"},
        {"R1C1+RC", 1, 1, "R1C1+RC"},
        {"ABCD1+A1", 1, 0, "ABCD1+A2"},
        {"XFE1", 1, 0, "XFE1"},
        {"A1048577", 1, 0, "A1048577"},
        {"Table1[Col]+Table1[[#This Row],[Col A]]", 3, 3, "Table1[Col]+Table1[[#This Row],[Col A]]"},
        {"SUM( A1 , B2 )", 1, 0, "SUM( A2 , B3 )"},
        {"sum(a1)", 0, 0, "sum(a1)"},
        {"{1,2;3,4}", 1, 1, "{1,2;3,4}"},
        {"_xlfn.XLOOKUP(A1,B:B,C:C)", 1, 1, "_xlfn.XLOOKUP(B2,C:C,D:D)"},
        {"[@Col]*A1", 1, 1, "[@Col]*B2"},
        {"SUM(A1:A3 B2:B4)", 1, 1, "SUM(B2:B4 C3:C5)"},
        {"OFFSET(A1,1,1):B5", 1, 1, "OFFSET(B2,1,1):C6"},
        {"Données!A1&\"é\"", 1, 0, "Données!A2&\"é\""},
    });
}

TEST(FormulaShift, OffTheSheetBecomesRefError) {
    ExpectAll({
        {"A1", -1, 0, "#REF!"},
        {"A1", 0, -1, "#REF!"},
        {"XFD1", 0, 1, "#REF!"},
        {"A1048576", 1, 0, "#REF!"},
        {"A1:B2", -1, -1, "#REF!"},
        {"A2:B1048576", 1, 0, "#REF!"},
        {"B2:C3", -1, -1, "A1:B2"},
        {"A1+B2", -1, -1, "#REF!+A1"},
        {"A:B", 0, -1, "#REF!"},
        {"1:2", -1, 0, "#REF!"},
        {"A:A", -5, 0, "A:A"},
        {"1:1", 0, -5, "1:1"},
        {"Sheet1!A1", -1, 0, "Sheet1!#REF!"},
        {"$A$1", -100, -100, "$A$1"},
        {"A1", 2000000, 0, "#REF!"},
    });
}

}  // namespace
