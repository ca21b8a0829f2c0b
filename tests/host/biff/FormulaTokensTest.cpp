// BIFF8 parsed formulas: hand-assembled token sequences for each rule, and
// the expressions LibreOffice writes into .xls files.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/HostError.h"
#include "host/biff/FormulaTokens.h"

using namespace host::biff;

namespace {

std::string Le(uint64_t value, int width) {
  std::string out;
  for (int i = 0; i < width; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
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
  for (const ExpandCase& c : cases) EXPECT_EQ(ExpandSharedFormula(c.shared, c.row, c.column), c.own) << c.name;
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

}  // namespace
