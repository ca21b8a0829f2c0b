#include "host/biff/FormulaTokens.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "host/HostError.h"
#include "host/biff/LittleEndian.h"
#include "host/biff/Utf16.h"

namespace host::biff {
namespace {

// Token numbers: the base tokens, then the classified ones by their low five
// bits (the two bits above them give the class: reference, value, array).
namespace ptg {
constexpr uint8_t kExp = 0x01, kTbl = 0x02, kAdd = 0x03, kParen = 0x15, kMissArg = 0x16, kStr = 0x17, kElf = 0x18,
                  kAttr = 0x19, kErr = 0x1C, kBool = 0x1D, kInt = 0x1E, kNum = 0x1F;
constexpr uint8_t kArray = 0x00, kFunc = 0x01, kFuncVar = 0x02, kName = 0x03, kRef = 0x04, kArea = 0x05,
                  kMemArea = 0x06, kMemErr = 0x07, kMemNoMem = 0x08, kMemFunc = 0x09, kRefErr = 0x0A, kAreaErr = 0x0B,
                  kRefN = 0x0C, kAreaN = 0x0D, kNameX = 0x19, kRef3d = 0x1A, kArea3d = 0x1B, kRefErr3d = 0x1C,
                  kAreaErr3d = 0x1D;
}  // namespace ptg

// Attribute kinds (the byte after ptgAttr).
namespace attr {
constexpr uint8_t kSemi = 0x01, kIf = 0x02, kChoose = 0x04, kGoto = 0x08, kSum = 0x10, kBaxcel = 0x20,
                  kBaxcelVolatile = 0x21, kSpace = 0x40, kSpaceSemi = 0x41;
}

constexpr int kLastRow = 0xFFFF, kLastColumn = 0xFF;
constexpr uint16_t kRowRelative = 0x8000, kColumnRelative = 0x4000, kColumnBits = 0x3FFF;
// A FORMULA or SHRFMLA record holds at most this many bytes, its expression less.
constexpr size_t kLongestExpression = 8224;

[[noreturn]] void Damaged(const std::string& what) { throw HostError("A formula is damaged: " + what + "."); }

std::string HexByte(uint8_t value) {
  const char* digits = "0123456789ABCDEF";
  return std::string("0x") + digits[value >> 4] + digits[value & 0xF];
}

// One token of an expression: where it starts, its size, and what it is.
struct Token {
  size_t at = 0, size = 0;
  bool classified = false;  // base is then the low five bits of a reference/value/array token
  uint8_t base = 0;
};

// Walks the tokens of an expression, checking that each lies inside it.
class TokenWalker {
 public:
  explicit TokenWalker(std::string_view rgce) : rgce_(rgce) {}

  bool Next(Token& token) {
    if (at_ >= rgce_.size()) return false;
    token.at = at_;
    uint8_t byte = U8(rgce_, at_) & 0x7F;  // the top bit is reserved
    token.classified = byte >= 0x20;
    token.base = token.classified ? byte & 0x1F : byte;
    token.size = token.classified ? ClassifiedSize(token.base) : BaseSize(token.base);
    if (token.size == 0) Damaged("token " + HexByte(U8(rgce_, at_)) + " at byte " + std::to_string(at_) + " of its expression is unknown");
    if (token.size > rgce_.size() - at_) Damaged("its expression ends inside a token at byte " + std::to_string(at_));
    at_ += token.size;
    return true;
  }

 private:
  // Bytes that must be there before a variable size can be read.
  void Need(size_t bytes) const {
    if (bytes > rgce_.size() - at_) Damaged("its expression ends inside a token at byte " + std::to_string(at_));
  }

  size_t BaseSize(uint8_t base) const {
    switch (base) {
      case ptg::kExp:
      case ptg::kTbl: return 5;
      case ptg::kStr: {
        Need(3);
        size_t count = U8(rgce_, at_ + 1);
        return 3 + count * ((U8(rgce_, at_ + 2) & 1) ? 2 : 1);
      }
      case ptg::kElf: {
        Need(2);
        switch (U8(rgce_, at_ + 1)) {
          case 0x01: case 0x02: case 0x03: case 0x06: case 0x07: case 0x0A: case 0x0B: case 0x0D: case 0x0F:
          case 0x10: case 0x1D: return 6;
          default: return 0;
        }
      }
      case ptg::kAttr: {
        Need(2);
        switch (U8(rgce_, at_ + 1)) {
          case attr::kSemi: case attr::kIf: case attr::kGoto: case attr::kSum: case attr::kBaxcel:
          case attr::kBaxcelVolatile: case attr::kSpace: case attr::kSpaceSemi: return 4;
          case attr::kChoose: Need(4); return 4 + 2 * (size_t{U16(rgce_, at_ + 2)} + 1);
          default: return 0;
        }
      }
      case ptg::kErr:
      case ptg::kBool: return 2;
      case ptg::kInt: return 3;
      case ptg::kNum: return 9;
      default: return base >= ptg::kAdd && base <= ptg::kMissArg ? 1 : 0;
    }
  }

  static size_t ClassifiedSize(uint8_t base) {
    switch (base) {
      case ptg::kArray: return 8;
      case ptg::kFunc: return 3;
      case ptg::kFuncVar: return 4;
      case ptg::kName: return 5;
      case ptg::kRef: case ptg::kRefErr: case ptg::kRefN: return 5;
      case ptg::kArea: case ptg::kAreaErr: case ptg::kAreaN: return 9;
      case ptg::kMemArea: case ptg::kMemErr: case ptg::kMemNoMem: return 7;
      case ptg::kMemFunc: return 3;
      case ptg::kNameX: case ptg::kRef3d: case ptg::kRefErr3d: return 7;
      case ptg::kArea3d: case ptg::kAreaErr3d: return 11;
      default: return 0;
    }
  }

  std::string_view rgce_;
  size_t at_ = 0;
};

// A row moved by delta when its reference is relative to rows; -1 when it
// leaves the sheet.
int MovedRow(uint16_t row, uint16_t columnWord, int delta) {
  if (!(columnWord & kRowRelative)) return row;
  int moved = row + delta;
  return moved < 0 || moved > kLastRow ? -1 : moved;
}

// Replaces the reference token at token.at (coordinates at `coordinates`) by
// its error form: same class, same size, the sheet index of a 3-D form kept.
void MakeError(std::string& out, const Token& token, size_t coordinates, uint8_t errorBase) {
  out[token.at] = static_cast<char>((U8(out, token.at) & 0xE0) | errorBase);
  for (size_t i = coordinates; i < token.at + token.size; ++i) out[i] = 0;
}

// A relative row or column offset (RgceLocRel) added to the cell's position,
// wrapping at the sheet's edge.
uint16_t RelativeRow(uint16_t stored, uint16_t columnWord, int cellRow) {
  if (!(columnWord & kRowRelative)) return stored;
  return static_cast<uint16_t>((cellRow + stored) & kLastRow);
}
uint16_t RelativeColumn(uint16_t columnWord, int cellColumn) {
  int column = columnWord & kColumnBits;
  if (!(columnWord & kColumnRelative)) return static_cast<uint16_t>(column);
  if (column & 0x2000) column -= 0x4000;  // a 14-bit signed offset
  return static_cast<uint16_t>((cellColumn + column) & kLastColumn);
}

}  // namespace

std::string ShiftFormulaRows(std::string_view rgce, int rowDelta) {
  std::string out(rgce);
  TokenWalker walker(rgce);
  Token token;
  while (walker.Next(token)) {
    if (!token.classified) continue;
    switch (token.base) {
      case ptg::kRef:
      case ptg::kRef3d: {
        size_t at = token.at + (token.base == ptg::kRef3d ? 3 : 1);
        int row = MovedRow(U16(rgce, at), U16(rgce, at + 2), rowDelta);
        if (row < 0)
          MakeError(out, token, at, token.base == ptg::kRef ? ptg::kRefErr : ptg::kRefErr3d);
        else
          Put(out, at, static_cast<uint16_t>(row), 2);
        break;
      }
      case ptg::kArea:
      case ptg::kArea3d: {
        size_t at = token.at + (token.base == ptg::kArea3d ? 3 : 1);
        uint16_t first = U16(rgce, at), last = U16(rgce, at + 2);
        if (first == 0 && last == kLastRow) break;  // whole columns stay whole columns
        int movedFirst = MovedRow(first, U16(rgce, at + 4), rowDelta);
        int movedLast = MovedRow(last, U16(rgce, at + 6), rowDelta);
        if (movedFirst < 0 || movedLast < 0) {
          MakeError(out, token, at, token.base == ptg::kArea ? ptg::kAreaErr : ptg::kAreaErr3d);
        } else {
          Put(out, at, static_cast<uint16_t>(movedFirst), 2);
          Put(out, at + 2, static_cast<uint16_t>(movedLast), 2);
        }
        break;
      }
      default: break;
    }
  }
  return out;
}

std::string ExpandSharedFormula(std::string_view sharedRgce, int row, int column) {
  std::string out(sharedRgce);
  TokenWalker walker(sharedRgce);
  Token token;
  while (walker.Next(token)) {
    if (!token.classified || (token.base != ptg::kRefN && token.base != ptg::kAreaN)) continue;
    size_t at = token.at + 1;
    // Each corner: a row word, and a column word that carries the relative bits.
    int corners = token.base == ptg::kRefN ? 1 : 2;
    for (int corner = 0; corner < corners; ++corner) {
      size_t rowAt = at + 2 * corner;
      size_t columnAt = at + 2 * corners + 2 * corner;
      uint16_t columnWord = U16(sharedRgce, columnAt);
      Put(out, rowAt, RelativeRow(U16(sharedRgce, rowAt), columnWord, row), 2);
      Put(out, columnAt, (columnWord & (kRowRelative | kColumnRelative)) | RelativeColumn(columnWord, column), 2);
    }
    out[token.at] = static_cast<char>((U8(out, token.at) & 0xE0) | (token.base == ptg::kRefN ? ptg::kRef : ptg::kArea));
  }
  return out;
}

}  // namespace host::biff
