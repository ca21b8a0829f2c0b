// OpenDocument formulas moved as copying their cell moves them, and the shapes the formulas of a filled column share.
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

TEST(OdsFormula, FormulasOfAFilledColumnShareAShapeAndOthersDoNot) {
  struct Cell {
    const char* formula;
    int row, column;
  };
  struct Case {
    Cell a, b;
    bool same;
  } cases[] = {
      {{"of:=[.A2]*[.B2]", 2, 3}, {"of:=[.A3]*[.B3]", 3, 3}, true},
      {{"of:=[.A2]*[.B2]", 2, 3}, {"of:=[.A2]*[.B2]", 3, 3}, false},
      {{"of:=[.B5]", 5, 3}, {"of:=[.C5]", 5, 4}, true},
      {{"of:=[.$A$1]+[.A2]", 2, 2}, {"of:=[.$A$1]+[.A3]", 3, 2}, true},
      {{"of:=[.$A$1]+[.A2]", 2, 2}, {"of:=[.$A$2]+[.A3]", 3, 2}, false},
      {{"of:=[.A$1]+[.$A2]", 2, 2}, {"of:=[.B$1]+[.$A3]", 3, 3}, true},
      {{"of:=SUM([.A2:.A9])", 10, 1}, {"of:=SUM([.A3:.A10])", 11, 1}, true},
      {{"of:=[$Other.A2]", 2, 1}, {"of:=[$Another.A3]", 3, 1}, false},
      {{"of:=\"[.A2]\"&[.A2]", 2, 1}, {"of:=\"[.A2]\"&[.A3]", 3, 1}, true},
      {{"of:=\"[.A2]\"&[.A2]", 2, 1}, {"of:=\"[.A3]\"&[.A3]", 3, 1}, false},
      {{"of:=[.A2]", 2, 2}, {"oooc:=[.A3]", 3, 2}, false},
  };
  for (const Case& c : cases) {
    std::string a, b;
    ASSERT_TRUE(host::odf::OdsFormulaShape(c.a.formula, c.a.row, c.a.column, a)) << c.a.formula;
    ASSERT_TRUE(host::odf::OdsFormulaShape(c.b.formula, c.b.row, c.b.column, b)) << c.b.formula;
    EXPECT_EQ(a == b, c.same) << c.a.formula << " / " << c.b.formula;
  }
  // Whole columns and rows, errors, lower-case or off-sheet addresses and
  // A1 formulas have no shape: each is read on its own.
  for (const char* unshaped : {"of:=SUM([.A:.A])", "of:=SUM([.1:.3])", "of:=[.#REF!]", "of:=[.a1]", "of:=[.XFE1]",
                               "of:=[.A1048577]", "msoxl:=A1*2"}) {
    std::string shape;
    EXPECT_FALSE(host::odf::OdsFormulaShape(unshaped, 5, 5, shape)) << unshaped;
  }
}
