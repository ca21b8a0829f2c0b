// OpenDocument formulas moved as copying their cell moves them.
#include <gtest/gtest.h>

#include "host/formats/odf/OdsFormula.h"

TEST(OdsFormula, ShiftsRelativeRowsOnly) {
  struct Case {
    const char* formula;
    int rowDelta;
    const char* shifted;
  } cases[] = {
      {"of:=[.A1]*2", 3, "of:=[.A4]*2"},
      {"of:=SUM([.A1:.B2])", 1, "of:=SUM([.A2:.B3])"},
      {"of:=[.$A$1]+[.A$1]+[.$A1]", 2, "of:=[.$A$1]+[.A$1]+[.$A3]"},
      {"of:=[$Other.A5]+['My ''sheet'' .x'.B2]", -1, "of:=[$Other.A4]+['My ''sheet'' .x'.B1]"},
      {"of:=[.A2]&\"[.A2]\"", 1, "of:=[.A3]&\"[.A2]\""},
      {"of:=[.A2]-[.A1]", -1, "of:=[.A1]-#REF!"},
      {"of:=[.A1048576]", 1, "of:=#REF!"},
      {"of:=SUM([.A:.A])+[.A1:.A1048576]", 5, "of:=SUM([.A:.A])+#REF!"},
      {"oooc:=[.B7]", -6, "oooc:=[.B1]"},
      {"msoxl:=A1+$B$2", 1, "msoxl:=A2+$B$2"},
      {"of:=[.A1", 1, "of:=[.A1"},
  };
  for (const Case& c : cases) EXPECT_EQ(host::odf::ShiftOdsFormula(c.formula, c.rowDelta), c.shifted) << c.formula;
  EXPECT_EQ(host::odf::FormulaBody("of:=[.A1]*2"), "[.A1]*2");
}
