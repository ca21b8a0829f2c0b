// BIFF8 parsed formulas: hand-assembled token sequences for each rule, and
// the expressions LibreOffice writes into .xls files.

#include <gtest/gtest.h>

#include <xlsxwriter.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "XlsFixtures.h"
#include "host/core/HostError.h"
#include "host/core/calc/FormulaParser.h"
#include "host/formats/biff/BiffRecords.h"
#include "host/io/CompoundFile.h"
#include "host/formats/biff/FormulaTokens.h"
#include "host/io/LittleEndian.h"
#include "host/formats/biff/SheetRecords.h"
#include "host/formats/biff/WorkbookGlobals.h"

using namespace host::biff;

namespace {

std::string Le(uint64_t value, int width) {
  std::string out;
  Append(out, value, width);
  return out;
}

// Token classes, as the two bits above a token's low five give them.
constexpr uint8_t kReference = 0x20, kValue = 0x40, kArray = 0x60;

// A column word: the column with the relative bits of its row and column.
uint16_t Column(int column, bool rowRelative, bool columnRelative) {
  return static_cast<uint16_t>((column & 0x3FFF) | (rowRelative ? 0x8000 : 0) | (columnRelative ? 0x4000 : 0));
}

// A cell reference, both parts relative unless marked absolute.
struct At {
  int row, column;
  bool rowRelative = true, columnRelative = true;
};

std::string Ref(uint8_t cls, At at, uint8_t base = 0x04) {
  return std::string(1, static_cast<char>(cls | base)) + Le(at.row & 0xFFFF, 2) +
         Le(Column(at.column, at.rowRelative, at.columnRelative), 2);
}
std::string Area(uint8_t cls, At first, At last, uint8_t base = 0x05) {
  return std::string(1, static_cast<char>(cls | base)) + Le(first.row & 0xFFFF, 2) + Le(last.row & 0xFFFF, 2) +
         Le(Column(first.column, first.rowRelative, first.columnRelative), 2) +
         Le(Column(last.column, last.rowRelative, last.columnRelative), 2);
}
std::string Ref3d(uint8_t cls, int sheet, At at) { return std::string(1, static_cast<char>(cls | 0x1A)) + Le(sheet, 2) + Ref(0, at).substr(1); }
std::string Area3d(uint8_t cls, int sheet, At first, At last) {
  return std::string(1, static_cast<char>(cls | 0x1B)) + Le(sheet, 2) + Area(0, first, last).substr(1);
}
std::string RefN(uint8_t cls, At offset) { return Ref(cls, offset, 0x0C); }
std::string AreaN(uint8_t cls, At first, At last) { return Area(cls, first, last, 0x0D); }
std::string RefErr(uint8_t cls) { return std::string(1, static_cast<char>(cls | 0x0A)) + std::string(4, '\0'); }
std::string AreaErr(uint8_t cls) { return std::string(1, static_cast<char>(cls | 0x0B)) + std::string(8, '\0'); }
std::string RefErr3d(uint8_t cls, int sheet) { return std::string(1, static_cast<char>(cls | 0x1C)) + Le(sheet, 2) + std::string(4, '\0'); }
std::string AreaErr3d(uint8_t cls, int sheet) { return std::string(1, static_cast<char>(cls | 0x1D)) + Le(sheet, 2) + std::string(8, '\0'); }

std::string Int(int value) { return "\x1E" + Le(value, 2); }
std::string Op(uint8_t code) { return std::string(1, static_cast<char>(code)); }
std::string Func(uint8_t cls, int index) { return std::string(1, static_cast<char>(cls | 0x01)) + Le(index, 2); }
std::string FuncVar(uint8_t cls, int arguments, int index) {
  return std::string(1, static_cast<char>(cls | 0x02)) + Le(arguments, 1) + Le(index, 2);
}
std::string Str(const std::string& latin1) { return "\x17" + Le(latin1.size(), 1) + std::string(1, '\0') + latin1; }
std::string Exp(int row, int column) { return "\x01" + Le(row, 2) + Le(column, 2); }
std::string Attr(uint8_t kind, int data) { return "\x19" + Le(kind, 1) + Le(data, 2); }
constexpr uint8_t kAdd = 0x03, kParen = 0x15;

struct ShiftCase {
  const char* name;
  std::string before;
  int delta;
  std::string after;
};

TEST(FormulaTokens, ShiftsRelativeRowsAsACopyWould) {
  const At a5{4, 0};
  const std::vector<ShiftCase> cases = {
      {"relative reference down", Ref(kReference, a5), 3, Ref(kReference, {7, 0})},
      {"relative reference up", Ref(kValue, a5), -4, Ref(kValue, {0, 0})},
      {"absolute row stays", Ref(kValue, {4, 0, false, true}), 10, Ref(kValue, {4, 0, false, true})},
      {"absolute column moves its relative row", Ref(kValue, {4, 2, true, false}), 1, Ref(kValue, {5, 2, true, false})},
      {"pushed above the sheet", Ref(kArray, a5), -5, RefErr(kArray)},
      {"pushed below the sheet", Ref(kValue, {65530, 1}), 6, RefErr(kValue)},
      {"to the last row", Ref(kValue, {65530, 1}), 5, Ref(kValue, {65535, 1})},
      {"area with mixed rows", Area(kReference, {2, 0, false, true}, {9, 1}), 5,
       Area(kReference, {2, 0, false, true}, {14, 1})},
      {"area with an end off the sheet", Area(kReference, {2, 0}, {9, 1}), -3, AreaErr(kReference)},
      {"whole columns stay", Area(kReference, {0, 0}, {65535, 0}), 7, Area(kReference, {0, 0}, {65535, 0})},
      {"3-D reference", Ref3d(kReference, 2, {10, 3}), -10, Ref3d(kReference, 2, {0, 3})},
      {"3-D reference off the sheet", Ref3d(kValue, 2, {10, 3}), -11, RefErr3d(kValue, 2)},
      {"3-D area", Area3d(kReference, 1, {3, 0}, {4, 0, false, true}), 2,
       Area3d(kReference, 1, {5, 0}, {4, 0, false, true})},
      {"3-D area off the sheet", Area3d(kArray, 1, {3, 0}, {4, 0}), -4, AreaErr3d(kArray, 1)},
      {"relative-offset forms stay", RefN(kValue, {-1, -1}) + AreaN(kReference, {-2, 0}, {3, 0}) + Op(kAdd), 9,
       RefN(kValue, {-1, -1}) + AreaN(kReference, {-2, 0}, {3, 0}) + Op(kAdd)},
      {"other tokens copied around references",
       Str("A1") + Ref(kValue, a5) + Attr(0x40, 0x0102) + Int(7) + Op(kAdd) + Op(kParen) +
           FuncVar(kValue, 2, 336) + Exp(3, 4),
       2,
       Str("A1") + Ref(kValue, {6, 0}) + Attr(0x40, 0x0102) + Int(7) + Op(kAdd) + Op(kParen) +
           FuncVar(kValue, 2, 336) + Exp(3, 4)},
      {"choose's jump table is walked over",
       Int(1) + Attr(0x04, 1) + Le(4, 2) + Le(8, 2) + Ref(kValue, a5) + Attr(0x08, 3) + Func(kValue, 100), 1,
       Int(1) + Attr(0x04, 1) + Le(4, 2) + Le(8, 2) + Ref(kValue, {5, 0}) + Attr(0x08, 3) + Func(kValue, 100)},
      {"array placeholder kept", "\x60" + std::string("\x01\x02\x03\x04\x05\x06\x07") + Ref(kValue, a5), 1,
       "\x60" + std::string("\x01\x02\x03\x04\x05\x06\x07") + Ref(kValue, {5, 0})},
  };
  for (const ShiftCase& c : cases) EXPECT_EQ(ShiftFormulaRows(c.before, c.delta), c.after) << c.name;
}

struct ExpandCase {
  const char* name;
  std::string shared;
  int row, column;
  std::string own;
};

TEST(FormulaTokens, ExpandsSharedFormulasIntoTheCell) {
  const std::vector<ExpandCase> cases = {
      {"cell above and to the left", RefN(kValue, {-1, -1}), 5, 3, Ref(kValue, {4, 2})},
      {"same row, next column", RefN(kReference, {0, 1}), 0, 0, Ref(kReference, {0, 1})},
      {"absolute parts stay", RefN(kArray, {7, 2, false, false}), 9, 9, Ref(kArray, {7, 2, false, false})},
      {"absolute row, relative column", RefN(kValue, {7, -2, false, true}), 9, 9, Ref(kValue, {7, 7, false, true})},
      {"area", AreaN(kReference, {-3, 0}, {-1, 0, false, true}), 10, 2,
       Area(kReference, {7, 2}, {65535, 2, false, true})},
      {"wraps at the top and left edges", RefN(kValue, {-2, -3}), 1, 1, Ref(kValue, {65535, 254})},
      {"absolute forms untouched", Ref(kValue, {4, 4, false, false}) + RefN(kValue, {1, 0}) + Op(kAdd), 2, 2,
       Ref(kValue, {4, 4, false, false}) + Ref(kValue, {3, 2}) + Op(kAdd)},
  };
  for (const ExpandCase& c : cases) {
    EXPECT_EQ(ExpandSharedFormula(c.shared, c.row, c.column), c.own) << c.name;
    // Expanded and moved in one walk, in place: as the two one after the other.
    for (int delta : {-70000, -3, 0, 2, 65535}) {
      std::string bytes = "ab" + c.shared + "z";
      ExpandAndShiftIn(bytes, 2, c.shared.size(), c.row, c.column, delta);
      EXPECT_EQ(bytes, "ab" + ShiftFormulaRows(c.own, delta) + "z") << c.name << ", moved " << delta;
    }
  }
}

// One formula cell's expression as read: a shared formula's (its offset
// tokens made the cell's own) or its own, read at (row, column), moved by
// delta rows since.
struct KeyCase {
  const char* name;
  int shape;  // cases of one shape share a key; -1: no key
  std::string rgce;
  bool shared;
  int row, column, delta;
};

TEST(FormulaTokens, AShapeKeyIsSharedByTheExpressionsOfOneShapeAlone) {
  const uint8_t kMul = 0x05;
  const std::vector<KeyCase> cases = {
      // A<r-1>*B<r-1> in column C.
      {"own", 0, Ref(kValue, {4, 0}) + Ref(kValue, {4, 1}) + Op(kMul), false, 5, 2, 0},
      {"own, further down", 0, Ref(kValue, {9, 0}) + Ref(kValue, {9, 1}) + Op(kMul), false, 10, 2, 0},
      {"own, moved", 0, Ref(kValue, {4, 0}) + Ref(kValue, {4, 1}) + Op(kMul), false, 5, 2, 7},
      {"shared", 0, RefN(kValue, {-1, -2}) + RefN(kValue, {-1, -1}) + Op(kMul), true, 20, 2, 0},
      {"shared, moved", 0, RefN(kValue, {-1, -2}) + RefN(kValue, {-1, -1}) + Op(kMul), true, 20, 2, -3},
      // LibreOffice writes a column offset modulo the sheet's 256 columns.
      {"shared, columns modulo 256", 0, RefN(kValue, {-1, 254}) + RefN(kValue, {-1, 255}) + Op(kMul), true, 8, 2, 4},
      {"shared, wrapping past the left edge", 9, RefN(kValue, {-1, -3}), true, 5, 1, 0},
      {"one column to the right", 1, Ref(kValue, {4, 1}) + Ref(kValue, {4, 2}) + Op(kMul), false, 5, 2, 0},
      {"absolute", 2, Ref(kValue, {4, 0, false, false}) + Ref(kValue, {4, 1}) + Op(kMul), false, 5, 2, 0},
      {"absolute, another cell", 2, Ref(kValue, {4, 0, false, false}) + Ref(kValue, {5, 1}) + Op(kMul), false, 6, 2, 0},
      {"another absolute row", 3, Ref(kValue, {5, 0, false, false}) + Ref(kValue, {5, 1}) + Op(kMul), false, 6, 2, 0},
      // Whole columns read the same from every row.
      {"whole column", 4, Area(kReference, {0, 0}, {65535, 0}), false, 3, 1, 0},
      {"whole column, another row", 4, Area(kReference, {0, 0}, {65535, 0}), false, 7, 1, 2},
      {"whole column, next column", 4, Area(kReference, {0, 1}, {65535, 1}), false, 3, 2, 0},
      {"whole row", 5, Area(kReference, {2, 0}, {2, 255}), false, 3, 1, 0},
      {"whole row, another column", 5, Area(kReference, {2, 0}, {2, 255}), false, 3, 4, 0},
      // Pushed off the sheet by the move, as a #REF! written so.
      {"pushed off", 6, Ref(kValue, {4, 0}), false, 5, 2, -5},
      {"written as #REF!", 6, RefErr(kValue), false, 0, 2, 0},
      {"3-D", 7, Ref3d(kReference, 1, {4, 0}), false, 5, 2, 0},
      {"3-D, moved", 7, Ref3d(kReference, 1, {4, 0}), false, 5, 2, 3},
      {"3-D, another sheet", 8, Ref3d(kReference, 2, {4, 0}), false, 5, 2, 0},
      {"array constant", -1, "\x60" + std::string(7, '\0'), false, 5, 2, 0},
      {"offset token outside a shared formula", -1, RefN(kValue, {-1, -1}), false, 5, 2, 0},
  };
  // The expression as the cell holds it now, and the cell's formula text's
  // own shape (the engine's, from the text).
  auto now = [](const KeyCase& c) {
    std::string bytes = c.rgce;
    if (c.shared) ExpandAndShiftIn(bytes, 0, bytes.size(), c.row, c.column, c.delta);
    else bytes = ShiftFormulaRows(bytes, c.delta);
    return bytes;
  };
  auto textShape = [&](const KeyCase& c) {
    std::string shape;
    const auto sheet = [](int index) { return "Sheet" + std::to_string(index); };
    EXPECT_TRUE(host::calc::FormulaShape(FormulaText(now(c), c.row + c.delta, c.column, sheet), c.row + c.delta + 1,
                                         c.column + 1, shape)) << c.name;
    return shape;
  };
  std::vector<std::string> keys(cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    const KeyCase& c = cases[i];
    ASSERT_EQ(ExpressionShapeKey(c.rgce, c.shared, c.row, c.column, c.delta, keys[i]), c.shape >= 0) << c.name;
    if (c.shape < 0) continue;
    // Worked out without making the expression, as it is once made.
    std::string made;
    ASSERT_TRUE(ExpressionShapeKey(now(c), false, c.row + c.delta, c.column, 0, made)) << c.name;
    EXPECT_EQ(keys[i], made) << c.name;
    // A shared formula's cell that its offsets keep inside the sheet has
    // the key of the cell the offsets read from as high and far left as they let it be.
    OffsetBounds bounds;
    if (c.shared && SharedOffsetBounds(c.rgce, bounds) && bounds.Inside(c.row, c.row + c.delta, c.column)) {
      std::string bound;
      ASSERT_TRUE(ExpressionShapeKey(c.rgce, true, -bounds.firstRow, -bounds.firstColumn, 0, bound)) << c.name;
      EXPECT_EQ(bound, keys[i]) << c.name;
    }
  }
  // The bounds take a column offset modulo 256 and leave out what reads
  // differently from cell to cell.
  OffsetBounds bounds;
  ASSERT_TRUE(SharedOffsetBounds(RefN(kValue, {-1, 254}) + AreaN(kReference, {0, 1}, {3, 2}), bounds));
  EXPECT_EQ(std::vector<int>({bounds.firstRow, bounds.lastRow, bounds.firstColumn, bounds.lastColumn}),
            std::vector<int>({-1, 3, -2, 2}));
  EXPECT_FALSE(SharedOffsetBounds(Ref(kValue, {4, 0}), bounds)) << "a relative reference that is no offset token";
  EXPECT_FALSE(SharedOffsetBounds(AreaN(kReference, {0, 0, false, true}, {2, 0}), bounds)) << "may read as whole columns";
  EXPECT_TRUE(SharedOffsetBounds(AreaN(kReference, {1, 0, false, true}, {2, 0}), bounds)) << "never whole columns";
  for (size_t i = 0; i < cases.size(); ++i)
    for (size_t j = i + 1; j < cases.size(); ++j) {
      if (cases[i].shape < 0 || cases[j].shape < 0) continue;
      const bool same = cases[i].shape == cases[j].shape;
      EXPECT_EQ(keys[i] == keys[j], same) << cases[i].name << " / " << cases[j].name;
      if (same) {
        EXPECT_EQ(textShape(cases[i]), textShape(cases[j])) << cases[i].name << " / " << cases[j].name;
      }
    }
}

TEST(FormulaTokens, DamagedExpressionsAreRefused) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"unknown token", Int(1) + std::string(1, '\0')},
      {"unknown classified token", "\x2E" + std::string(8, '\0')},
      {"unknown attribute", Attr(0x03, 0)},
      {"reference cut short", Ref(kValue, {1, 1}).substr(0, 4)},
      {"string longer than the expression", Str("abc").replace(1, 1, "\x05")},
      {"choose table past the end", Attr(0x04, 3) + Le(1, 2)},
  };
  for (const auto& [name, rgce] : cases) {
    EXPECT_THROW(ShiftFormulaRows(rgce, 1), host::HostError) << name;
    EXPECT_THROW(ExpandSharedFormula(rgce, 1, 1), host::HostError) << name;
  }
}


std::string Num(double value) { return "\x1F" + std::string(reinterpret_cast<const char*>(&value), 8); }
std::string Bool(bool value) { return "\x1D" + Le(value, 1); }
std::string Err(uint8_t code) { return "\x1C" + Le(code, 1); }
std::string Name(uint8_t cls, uint32_t index) { return std::string(1, static_cast<char>(cls | 0x03)) + Le(index, 4); }
std::string NameX(uint8_t cls, int sheet, uint32_t index) {
  return std::string(1, static_cast<char>(cls | 0x19)) + Le(sheet, 2) + Le(index, 4);
}
std::string WideStr(const std::u16string& text) {
  std::string out = "\x17" + Le(text.size(), 1) + "\x01";
  for (char16_t unit : text) out += Le(unit, 2);
  return out;
}
const std::string kMissArg = "\x16";
constexpr uint8_t kSub = 0x04, kMul = 0x05, kPower = 0x07, kConcat = 0x08, kLe = 0x0A, kNe = 0x0E, kIsect = 0x0F,
                  kUnion = 0x10, kRange = 0x11, kUplus = 0x12, kUminus = 0x13, kPercent = 0x14;

constexpr double kHalf = 0.5;

std::string SheetNames(int index) {
  switch (index) {
    case 0: return "Sheet2";
    case 1: return "My Sheet";
    case 2: return "It's";
    case 3: return "A1";
    case 4: return "R2C3";
    case 5: return "Ünï";
    default: return "";
  }
}

struct TextCase {
  const char* name;
  std::string rgce;
  std::string text;
};

// The cell the expressions belong to: D6.
constexpr int kRow = 5, kColumn = 3;

// A fresh result clears fAlwaysCalc, but for a volatile formula (a
// ptgAttrSemi first: volatile, volatile with spaces); other flags stay.
TEST(FormulaTokens, AFreshResultClearsAlwaysCalcButForVolatileFormulas) {
  const std::string ref = std::string(1, '\x44') + Le(0, 2) + Le(0xC000, 2);  // A1
  const struct {
    uint16_t flags;
    std::string rgce;
    uint16_t fresh;
  } cases[] = {
      {0x0001, ref, 0x0000},
      {0x0009, ref, 0x0008},                                  // fShrFmla stays
      {0x0001, std::string("\x19\x01", 2) + Le(0, 2) + ref, 0x0001},
      {0x0001, std::string("\x19\x41", 2) + Le(0, 2) + ref, 0x0001},
      {0x0001, std::string("\x19\x40", 2) + Le(0, 2) + ref, 0x0000},  // spaces only
      {0x0000, ref, 0x0000},
  };
  for (const auto& c : cases) EXPECT_EQ(FlagsWithFreshResult(c.flags, c.rgce), c.fresh) << c.flags;
}

TEST(FormulaTokens, GivesTheFormulaAsText) {
  const std::vector<TextCase> cases = {
      {"relative", Ref(kValue, {4, 0}), "A5"},
      {"absolute", Ref(kValue, {4, 0, false, false}), "$A$5"},
      {"absolute row", Ref(kValue, {4, 27, false, true}), "AB$5"},
      {"absolute column", Ref(kValue, {65535, 255, true, false}), "$IV65536"},
      {"area", Area(kReference, {0, 0}, {1, 1, false, false}), "A1:$B$2"},
      {"whole columns", Area(kReference, {0, 0, false, true}, {65535, 2, false, false}), "A:$C"},
      {"whole rows", Area(kReference, {2, 0, true, false}, {3, 255, false, false}), "3:$4"},
      {"offset reference", RefN(kValue, {-1, -1}), "C5"},
      {"offset area", AreaN(kReference, {-5, 0, true, true}, {2, 1, false, false}), "D1:$B$3"},
      {"other sheet", Ref3d(kReference, 0, {2, 1}), "Sheet2!B3"},
      {"sheet with a space", Area3d(kReference, 1, {2, 1}, {3, 1}), "'My Sheet'!B3:B4"},
      {"sheet with a quote", Ref3d(kReference, 2, {2, 1, false, false}), "'It''s'!$B$3"},
      {"sheet named like a cell", Ref3d(kReference, 3, {0, 0}), "'A1'!A1"},
      {"sheet named like an R1C1 cell", Ref3d(kReference, 4, {0, 0}), "'R2C3'!A1"},
      {"sheet with letters beyond ASCII", Ref3d(kReference, 5, {0, 0}), "Ünï!A1"},
      {"unknown sheet", Ref3d(kReference, 9, {0, 0}), "#REF!"},
      {"deleted references", RefErr(kValue) + RefErr3d(kValue, 0) + Op(kAdd) + AreaErr(kReference) + Op(kAdd),
       "#REF!+Sheet2!#REF!+#REF!"},
      {"numbers", Num(1.5) + Num(1e20) + Op(kAdd) + Num(0.000125) + Op(kSub) + Int(65535) + Op(kMul),
       "1.5+1E+20-0.000125*65535"},
      {"strings", Str("say \"hi\"") + WideStr(u"Ω€") + Op(kConcat), "\"say \"\"hi\"\"\"&\"Ω€\""},
      {"booleans and errors", Bool(true) + Bool(false) + Op(kNe) + Err(0x07) + Op(kLe), "TRUE<>FALSE<=#DIV/0!"},
      {"parentheses and precedence", Int(1) + Int(2) + Op(kAdd) + Op(kParen) + Int(3) + Op(kPower), "(1+2)^3"},
      {"unary operators", Ref(kValue, {0, 0}) + Op(kUminus) + Op(kPercent) + Int(2) + Op(kUplus) + Op(kSub),
       "-A1%-+2"},
      {"reference operators",
       Ref(kReference, {0, 0}) + Ref(kReference, {1, 1}) + Op(kRange) + Area(kReference, {0, 0}, {2, 2}) + Op(kIsect) +
           Ref(kReference, {4, 4}) + Op(kUnion) + Op(kParen) + FuncVar(kValue, 1, 4),
       "SUM((A1:B2 A1:C3,E5))"},
      {"fixed-argument function", Ref(kValue, {0, 0}) + Int(1) + Func(kValue, 27), "ROUND(A1,1)"},
      {"function without arguments", Attr(0x01, 0) + Func(kValue, 221), "TODAY()"},
      {"IF with its jumps and a missing argument",
       Ref(kValue, {0, 0}) + Attr(0x02, 7) + kMissArg + Attr(0x08, 7) + Int(1) + Attr(0x08, 3) + FuncVar(kValue, 3, 1),
       "IF(A1,,1)"},
      {"CHOOSE with its jump table",
       Int(2) + Attr(0x04, 1) + Le(4, 2) + Le(8, 2) + Str("a") + Attr(0x08, 9) + Str("b") + Attr(0x08, 3) +
           FuncVar(kValue, 3, 100),
       "CHOOSE(2,\"a\",\"b\")"},
      {"one-argument SUM as an attribute", Area(kReference, {0, 0}, {5, 0}) + Attr(0x10, 0), "SUM(A1:A6)"},
      {"spaces are not kept", Attr(0x40, 0x0200) + Int(1) + Attr(0x40, 0x0100) + Int(2) + Op(kAdd), "1+2"},
      {"usual functions by name",
       Str("x") + Func(kValue, 32) + Int(1) + FuncVar(kValue, 1, 115) + Ref(kValue, {0, 0}) + Int(2) +
           Int(1) + Func(kValue, 31) + FuncVar(kValue, 3, 336),
       "CONCATENATE(LEN(\"x\"),LEFT(1),MID(A1,2,1))"},
      {"lookups", Int(2) + Area(kReference, {0, 0}, {5, 1}) + Int(2) + Bool(false) + FuncVar(kValue, 4, 102) +
                      Area(kReference, {0, 0}, {5, 0}) + Str(">2") + FuncVar(kValue, 2, 345) + Op(kAdd),
       "VLOOKUP(2,A1:B6,2,FALSE)+SUMIF(A1:A6,\">2\")"},
      {"unknown function with a count of arguments", Int(1) + Int(2) + FuncVar(kValue, 2, 400), "FUNC400(1,2)"},
      {"defined name", Name(kReference, 3) + FuncVar(kValue, 1, 4), "SUM(NAME3)"},
      {"add-in function by a defined name", Name(kReference, 1) + Int(1) + Int(0) + Op(0x06) + Int(1) + Op(kUminus) +
                                                  FuncVar(kValue, 3, 255),
       "NAME1(1/0,-1)"},
      {"external name", NameX(kReference, 0, 2) + FuncVar(kValue, 1, 255), "EXTNAME2()"},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(FormulaText(c.rgce, kRow, kColumn, SheetNames), c.text) << c.name;
    // The text is a formula the calculation engine reads.
    EXPECT_NO_THROW(host::calc::ParseA1Formula(c.text)) << c.name;
  }
}

TEST(FormulaTokens, TextTakesNamesAndArrayValuesFromTheWorkbook) {
  FormulaContext context;
  context.definedName = [](uint32_t index) { return index == 1 ? std::string("_xlfn.IFERROR") : std::string("Total"); };
  context.externName = [](int sheet, uint32_t index) { return sheet == 0 && index == 2 ? "MYADDIN" : ""; };
  const std::string array = "\x60" + std::string(7, '\0');
  const std::string values = Le(1, 1) + Le(1, 2) + "\x01" + std::string(reinterpret_cast<const char*>(&kHalf), 8) +
                             "\x02" + Le(2, 2) + std::string(1, '\0') + "ab" + "\x04\x01" + std::string(7, '\0') + "\x10\x2A" +
                             std::string(7, '\0');
  context.extra = values;
  EXPECT_EQ(FormulaText(array + FuncVar(kValue, 1, 4), 0, 0, context), "SUM({0.5,\"ab\";TRUE,#N/A})");
  EXPECT_EQ(FormulaText(Name(kReference, 1) + Int(1) + Int(0) + Op(0x06) + FuncVar(kValue, 2, 255) + Name(kValue, 7) +
                            Op(kAdd),
                        0, 0, context),
            "IFERROR(1/0)+Total");
  EXPECT_EQ(FormulaText(NameX(kReference, 0, 2) + Int(1) + FuncVar(kValue, 2, 255), 0, 0, context), "MYADDIN(1)");
}

TEST(FormulaTokens, TextIsRefusedWhereItCannotBeGiven) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"empty expression", ""},
      {"cell of a shared formula", Exp(0, 2)},
      {"array constant without its values", "\x60" + std::string(7, '\0')},
      {"fixed-argument function this program does not know", Int(1) + Func(kValue, 400)},
      {"operator without operands", Int(1) + Op(kAdd)},
      {"function with fewer operands than arguments", Int(1) + FuncVar(kValue, 2, 4)},
      {"operands left over", Int(1) + Int(2)},
      {"unknown error value", Err(0x03)},
      {"natural-language label", "\x18\x01" + std::string(4, '\0')},
      {"longer than a record", std::string(4200, '\x15').insert(0, Int(1)) + Int(1) + std::string(4200, '\x15')},
  };
  for (const auto& [name, rgce] : cases) EXPECT_THROW(FormulaText(rgce, 0, 0), host::HostError) << name;
}


// The formulas of sheet "Data", by 0-based (row, column), as the test writes them.
const std::map<std::pair<int, int>, std::string> kWrittenFormulas = {
    // Filled columns, which LibreOffice keeps as shared formulas.
    {{0, 2}, "A1*2+B1"}, {{1, 2}, "A2*2+B2"}, {{2, 2}, "A3*2+B3"}, {{3, 2}, "A4*2+B4"}, {{4, 2}, "A5*2+B5"},
    {{5, 2}, "A6*2+B6"},
    {{1, 4}, "E1+$A$1*A2"}, {{2, 4}, "E2+$A$1*A3"}, {{3, 4}, "E3+$A$1*A4"}, {{4, 4}, "E4+$A$1*A5"},
    {{5, 4}, "E5+$A$1*A6"},
    {{0, 3}, "SUM(A1:A6)"},
    {{1, 3}, "$A$1+A$2+$A3"},
    {{2, 3}, "'Other Sheet'!A1+SUM('Other Sheet'!A1:B2)"},
    {{3, 3}, "IF(A1>1,\"big\",\"small\")"},
    {{4, 3}, "IFERROR(1/0,-1)"},
    {{5, 3}, "VLOOKUP(2,A1:B6,2,FALSE)"},
    {{6, 3}, "CONCATENATE(\"a\",\"b\")&LEN(\"xyz\")"},
    {{7, 3}, "ROUND(-A1%^2,1)"},
    {{8, 3}, "SUM(A:A)"},
    {{9, 3}, "TODAY()"},
    {{10, 3}, "SUMIF(A1:A6,\">2\",B1:B6)+COUNTIF(A1:A6,2)"},
    {{11, 3}, "SUM({1,2;3,4.5})"},
    {{12, 3}, "INDEX(A1:B6,MATCH(3,A1:A6,0),2)"},
    {{13, 3}, "AND(TRUE,NOT(FALSE))"},
    {{14, 3}, "#N/A"},
    {{15, 3}, "YEAR(DATE(2024,2,29))+MONTH(NOW())+DAY(1)+ABS(INT(-1.5))+MIN(1,2)+MAX(3)+AVERAGE(1,2)+COUNT(A1:A6)"},
    {{16, 3}, "LEFT(\"abc\",2)&RIGHT(\"abc\")&MID(\"abc\",2,1)&OR(FALSE)"},
};

// A workbook with the formulas above, as LibreOffice writes it as .xls; empty without soffice.
std::string FormulasXls(const fixtures::TempDir& dir) {
  std::string path = dir.File("formulas.xlsx");
  lxw_workbook* book = workbook_new(path.c_str());
  lxw_worksheet* data = workbook_add_worksheet(book, "Data");
  lxw_worksheet* other = workbook_add_worksheet(book, "Other Sheet");
  for (int row = 0; row < 6; ++row) {
    worksheet_write_number(data, row, 0, row + 1, nullptr);
    worksheet_write_number(data, row, 1, 10 * (row + 1), nullptr);
  }
  worksheet_write_number(data, 0, 4, 100, nullptr);
  for (const auto& [at, text] : kWrittenFormulas)
    worksheet_write_formula(data, at.first, at.second, ("=" + text).c_str(), nullptr);
  worksheet_write_number(other, 0, 0, 5, nullptr);
  workbook_close(book);
  std::string xls = xlsfixtures::SofficeConvert(path, "xls", dir);
  return xls.empty() ? std::string() : fixtures::ReadFile(xls);
}

// What the workbook lends to formula texts: sheet names through EXTERNSHEET,
// defined names (NAME), and the shared formulas of sheet "Data" (SHRFMLA).
struct WorkbookParts {
  std::vector<std::string> sheetOfXti;
  std::vector<std::string> names;
  struct Shared {
    int firstRow, lastRow, firstColumn, lastColumn;
    std::string rgce;
  };
  std::vector<Shared> shared;
};

WorkbookParts ReadParts(std::string_view stream, const WorkbookGlobals& globals) {
  WorkbookParts parts;
  RecordReader globalsReader(stream, 0, "Workbook", "formulas.xls");
  Record record;
  while (globalsReader.Next(record) && record.offset < globals.end) {
    if (record.type == 0x0017)
      for (size_t at = 2; at + 6 <= record.body.size(); at += 6)
        parts.sheetOfXti.push_back(globals.sheets.at(U16(record.body, at + 2)).name);
    if (record.type == 0x0018)  // NAME: its name after 15 bytes, one byte a character here
      parts.names.emplace_back(record.body.substr(15, U8(record.body, 3)));
  }
  RecordReader sheetReader(stream, globals.sheets.at(0).position, "Workbook", "formulas.xls");
  while (sheetReader.Next(record) && record.type != rt::kEof)
    if (record.type == 0x04BC)
      parts.shared.push_back({U16(record.body, 0), U16(record.body, 2), U8(record.body, 4), U8(record.body, 5),
                              std::string(record.body.substr(10, U16(record.body, 8)))});
  return parts;
}

TEST(FormulaTokens, ReadsTheFormulasLibreOfficeWrote) {
  fixtures::TempDir dir;
  std::string xls = FormulasXls(dir);
  if (xls.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; no .xls fixture";
  std::filesystem::create_directories(TABULORY_BIFF_FUZZ_SEEDS);  // a seed for the fuzz target
  fixtures::WriteFile(std::string(TABULORY_BIFF_FUZZ_SEEDS) + "/formulas.xls", xls);
  CompoundFile file(xls, "formulas.xls");
  std::string stream = file.ReadStream(file.Find("Workbook"));
  WorkbookGlobals globals = ReadGlobals(stream, "Workbook", "formulas.xls");
  SheetRecords sheet = ReadSheet(stream, globals.sheets.at(0).position, globals.sharedStrings, "Workbook", "formulas.xls");
  WorkbookParts parts = ReadParts(stream, globals);
  ASSERT_FALSE(parts.shared.empty()) << "LibreOffice wrote no shared formula for the filled columns";

  FormulaContext context;
  context.sheetName = [&](int xti) { return xti < static_cast<int>(parts.sheetOfXti.size()) ? parts.sheetOfXti[xti] : ""; };
  context.definedName = [&](uint32_t index) { return index <= parts.names.size() ? parts.names[index - 1] : ""; };
  std::map<std::pair<int, int>, std::string> texts, moved;
  int sharedCells = 0;
  for (const CellRef& ref : sheet.cells) {
    const CellRecord cell = DecodeCell(stream, ref);
    if (cell.kind != CellKind::Formula) continue;
    std::string rgce(SheetRecords::Formula(cell, stream));
    if (U8(rgce, 0) == 0x01) {  // ptgExp: the cell takes its expression from a shared formula
      for (const WorkbookParts::Shared& shared : parts.shared)
        if (cell.row >= shared.firstRow && cell.row <= shared.lastRow && cell.column >= shared.firstColumn &&
            cell.column <= shared.lastColumn) {
          rgce = ExpandSharedFormula(shared.rgce, cell.row, cell.column);
          ++sharedCells;
        }
    }
    size_t recordEnd = cell.recordOffset + 4 + U16(stream, cell.recordOffset + 2);
    size_t expressionEnd = cell.formulaOffset + cell.formulaLength;
    context.extra = std::string_view(stream).substr(expressionEnd, recordEnd - expressionEnd);
    texts[{cell.row, cell.column}] = FormulaText(rgce, cell.row, cell.column, context);
    moved[{cell.row, cell.column}] = FormulaText(ShiftFormulaRows(rgce, 3), cell.row + 3, cell.column, context);
  }
  EXPECT_GE(sharedCells, 6);
  EXPECT_EQ(texts, kWrittenFormulas);
  // Moved three rows down as a copy would move them.
  EXPECT_EQ(moved.at({0, 2}), "A4*2+B4");
  EXPECT_EQ(moved.at({2, 4}), "E5+$A$1*A6");
  EXPECT_EQ(moved.at({1, 3}), "$A$1+A$2+$A6");
  EXPECT_EQ(moved.at({2, 3}), "'Other Sheet'!A4+SUM('Other Sheet'!A4:B5)");
  EXPECT_EQ(moved.at({8, 3}), "SUM(A:A)");
}

}  // namespace
