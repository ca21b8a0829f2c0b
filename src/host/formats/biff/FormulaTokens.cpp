#include "host/formats/biff/FormulaTokens.h"
#include "host/core/Characters.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "host/core/HostError.h"
#include "host/formats/biff/BiffRecords.h"
#include "host/io/LittleEndian.h"
#include "host/io/Utf16.h"

namespace host::biff {

using namespace host::io;  // the container and the byte helpers the records sit in
namespace {

// Token numbers: the base tokens, then the classified ones by their low five
// bits (the two bits above them give the class: reference, value, array).
namespace ptg {
constexpr uint8_t kExp = 0x01, kTbl = 0x02, kAdd = 0x03, kUplus = 0x12, kUminus = 0x13, kPercent = 0x14, kParen = 0x15, kMissArg = 0x16, kStr = 0x17, kElf = 0x18,
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

// Built-in functions by their number (iftab), with the count of arguments of
// those that always take the same count (-1: a variable count, given by
// ptgFuncVar). Sorted by number.
struct Function {
  uint16_t number;
  int8_t arguments;
  const char* name;
};
constexpr Function kFunctions[] = {
    {0, -1, "COUNT"}, {1, -1, "IF"}, {2, 1, "ISNA"}, {3, 1, "ISERROR"}, {4, -1, "SUM"}, {5, -1, "AVERAGE"},
    {6, -1, "MIN"}, {7, -1, "MAX"}, {8, -1, "ROW"}, {9, -1, "COLUMN"}, {10, 0, "NA"}, {11, -1, "NPV"},
    {12, -1, "STDEV"}, {13, -1, "DOLLAR"}, {14, -1, "FIXED"}, {15, 1, "SIN"}, {16, 1, "COS"}, {17, 1, "TAN"},
    {18, 1, "ATAN"}, {19, 0, "PI"}, {20, 1, "SQRT"}, {21, 1, "EXP"}, {22, 1, "LN"}, {23, 1, "LOG10"},
    {24, 1, "ABS"}, {25, 1, "INT"}, {26, 1, "SIGN"}, {27, 2, "ROUND"}, {28, -1, "LOOKUP"}, {29, -1, "INDEX"},
    {30, 2, "REPT"}, {31, 3, "MID"}, {32, 1, "LEN"}, {33, 1, "VALUE"}, {34, 0, "TRUE"}, {35, 0, "FALSE"},
    {36, -1, "AND"}, {37, -1, "OR"}, {38, 1, "NOT"}, {39, 2, "MOD"}, {40, 3, "DCOUNT"}, {41, 3, "DSUM"},
    {42, 3, "DAVERAGE"}, {43, 3, "DMIN"}, {44, 3, "DMAX"}, {45, 3, "DSTDEV"}, {46, -1, "VAR"}, {47, 3, "DVAR"},
    {48, 2, "TEXT"}, {49, -1, "LINEST"}, {50, -1, "TREND"}, {51, -1, "LOGEST"}, {52, -1, "GROWTH"},
    {56, -1, "PV"}, {57, -1, "FV"}, {58, -1, "NPER"}, {59, -1, "PMT"}, {60, -1, "RATE"}, {61, 3, "MIRR"},
    {62, -1, "IRR"}, {63, 0, "RAND"}, {64, -1, "MATCH"}, {65, 3, "DATE"}, {66, 3, "TIME"}, {67, 1, "DAY"},
    {68, 1, "MONTH"}, {69, 1, "YEAR"}, {70, -1, "WEEKDAY"}, {71, 1, "HOUR"}, {72, 1, "MINUTE"}, {73, 1, "SECOND"},
    {74, 0, "NOW"}, {75, 1, "AREAS"}, {76, 1, "ROWS"}, {77, 1, "COLUMNS"}, {78, -1, "OFFSET"}, {82, -1, "SEARCH"},
    {83, 1, "TRANSPOSE"}, {86, 1, "TYPE"}, {97, 2, "ATAN2"}, {98, 1, "ASIN"}, {99, 1, "ACOS"}, {100, -1, "CHOOSE"},
    {101, -1, "HLOOKUP"}, {102, -1, "VLOOKUP"}, {105, 1, "ISREF"}, {109, -1, "LOG"}, {111, 1, "CHAR"},
    {112, 1, "LOWER"}, {113, 1, "UPPER"}, {114, 1, "PROPER"}, {115, -1, "LEFT"}, {116, -1, "RIGHT"},
    {117, 2, "EXACT"}, {118, 1, "TRIM"}, {119, 4, "REPLACE"}, {120, -1, "SUBSTITUTE"}, {121, 1, "CODE"},
    {124, -1, "FIND"}, {125, -1, "CELL"}, {126, 1, "ISERR"}, {127, 1, "ISTEXT"}, {128, 1, "ISNUMBER"},
    {129, 1, "ISBLANK"}, {130, 1, "T"}, {131, 1, "N"}, {140, 1, "DATEVALUE"}, {141, 1, "TIMEVALUE"},
    {142, 3, "SLN"}, {143, 4, "SYD"}, {144, -1, "DDB"}, {148, -1, "INDIRECT"}, {162, 1, "CLEAN"},
    {163, 1, "MDETERM"}, {164, 1, "MINVERSE"}, {165, 2, "MMULT"}, {167, -1, "IPMT"}, {168, -1, "PPMT"},
    {169, -1, "COUNTA"}, {183, -1, "PRODUCT"}, {184, 1, "FACT"}, {189, 3, "DPRODUCT"}, {190, 1, "ISNONTEXT"},
    {193, -1, "STDEVP"}, {194, -1, "VARP"}, {195, 3, "DSTDEVP"}, {196, 3, "DVARP"}, {197, -1, "TRUNC"},
    {198, 1, "ISLOGICAL"}, {199, 3, "DCOUNTA"}, {212, 2, "ROUNDUP"}, {213, 2, "ROUNDDOWN"}, {216, -1, "RANK"},
    {219, -1, "ADDRESS"}, {220, -1, "DAYS360"}, {221, 0, "TODAY"}, {222, -1, "VDB"}, {227, -1, "MEDIAN"},
    {228, -1, "SUMPRODUCT"}, {229, 1, "SINH"}, {230, 1, "COSH"}, {231, 1, "TANH"}, {232, 1, "ASINH"},
    {233, 1, "ACOSH"}, {234, 1, "ATANH"}, {235, 3, "DGET"}, {244, 1, "INFO"}, {247, -1, "DB"},
    {252, 2, "FREQUENCY"}, {261, 1, "ERROR.TYPE"}, {269, -1, "AVEDEV"}, {270, -1, "BETADIST"},
    {271, 1, "GAMMALN"}, {272, -1, "BETAINV"}, {273, 4, "BINOMDIST"}, {274, 2, "CHIDIST"}, {275, 2, "CHIINV"},
    {276, 2, "COMBIN"}, {277, 3, "CONFIDENCE"}, {278, 3, "CRITBINOM"}, {279, 1, "EVEN"}, {280, 3, "EXPONDIST"},
    {281, 3, "FDIST"}, {282, 3, "FINV"}, {283, 1, "FISHER"}, {284, 1, "FISHERINV"}, {285, 2, "FLOOR"},
    {286, 4, "GAMMADIST"}, {287, 3, "GAMMAINV"}, {288, 2, "CEILING"}, {289, 4, "HYPGEOMDIST"},
    {290, 3, "LOGNORMDIST"}, {291, 3, "LOGINV"}, {292, 3, "NEGBINOMDIST"}, {293, 4, "NORMDIST"},
    {294, 1, "NORMSDIST"}, {295, 3, "NORMINV"}, {296, 1, "NORMSINV"}, {297, 3, "STANDARDIZE"}, {298, 1, "ODD"},
    {299, 2, "PERMUT"}, {300, 3, "POISSON"}, {301, 3, "TDIST"}, {302, 4, "WEIBULL"}, {303, 2, "SUMXMY2"},
    {304, 2, "SUMX2MY2"}, {305, 2, "SUMX2PY2"}, {306, 2, "CHITEST"}, {307, 2, "CORREL"}, {308, 2, "COVAR"},
    {309, 3, "FORECAST"}, {310, 2, "FTEST"}, {311, 2, "INTERCEPT"}, {312, 2, "PEARSON"}, {313, 2, "RSQ"},
    {314, 2, "STEYX"}, {315, 2, "SLOPE"}, {316, 4, "TTEST"}, {317, -1, "PROB"}, {318, -1, "DEVSQ"},
    {319, -1, "GEOMEAN"}, {320, -1, "HARMEAN"}, {321, -1, "SUMSQ"}, {322, -1, "KURT"}, {323, -1, "SKEW"},
    {324, -1, "ZTEST"}, {325, 2, "LARGE"}, {326, 2, "SMALL"}, {327, 2, "QUARTILE"}, {328, 2, "PERCENTILE"},
    {329, -1, "PERCENTRANK"}, {330, -1, "MODE"}, {331, 2, "TRIMMEAN"}, {332, 2, "TINV"},
    {336, -1, "CONCATENATE"}, {337, 2, "POWER"}, {342, 1, "RADIANS"}, {343, 1, "DEGREES"}, {344, -1, "SUBTOTAL"},
    {345, -1, "SUMIF"}, {346, 2, "COUNTIF"}, {347, 1, "COUNTBLANK"}, {350, 4, "ISPMT"}, {351, 3, "DATEDIF"},
    {354, -1, "ROMAN"}, {358, -1, "GETPIVOTDATA"}, {359, -1, "HYPERLINK"}, {361, -1, "AVERAGEA"},
    {362, -1, "MAXA"}, {363, -1, "MINA"}, {364, -1, "STDEVPA"}, {365, -1, "VARPA"}, {366, -1, "STDEVA"},
    {367, -1, "VARA"},
};

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
  ShiftFormulaRowsIn(out, 0, out.size(), rowDelta);
  return out;
}

std::string ExpandSharedFormula(std::string_view sharedRgce, int row, int column) {
  std::string out(sharedRgce);
  ExpandSharedFormulaIn(out, 0, out.size(), row, column);
  return out;
}

namespace {

// The changes below are made to one token of the expression rgce, which
// views bytes from begin on, once the walker has passed it: its size was
// read before, and no other token's bytes change.

// A reference token moved by rowDelta rows (see ShiftFormulaRows).
void ShiftToken(std::string& bytes, size_t begin, std::string_view rgce, Token token, int rowDelta) {
  switch (token.base) {
    case ptg::kRef:
    case ptg::kRef3d: {
      size_t at = token.at + (token.base == ptg::kRef3d ? 3 : 1);
      int row = MovedRow(U16(rgce, at), U16(rgce, at + 2), rowDelta);
      token.at += begin;
      if (row < 0)
        MakeError(bytes, token, begin + at, token.base == ptg::kRef ? ptg::kRefErr : ptg::kRefErr3d);
      else
        Put(bytes, begin + at, static_cast<uint16_t>(row), 2);
      break;
    }
    case ptg::kArea:
    case ptg::kArea3d: {
      size_t at = token.at + (token.base == ptg::kArea3d ? 3 : 1);
      uint16_t first = U16(rgce, at), last = U16(rgce, at + 2);
      if (first == 0 && last == kLastRow) break;  // whole columns stay whole columns
      int movedFirst = MovedRow(first, U16(rgce, at + 4), rowDelta);
      int movedLast = MovedRow(last, U16(rgce, at + 6), rowDelta);
      token.at += begin;
      if (movedFirst < 0 || movedLast < 0) {
        MakeError(bytes, token, begin + at, token.base == ptg::kArea ? ptg::kAreaErr : ptg::kAreaErr3d);
      } else {
        Put(bytes, begin + at, static_cast<uint16_t>(movedFirst), 2);
        Put(bytes, begin + at + 2, static_cast<uint16_t>(movedLast), 2);
      }
      break;
    }
    default: break;
  }
}

// A ptgRefN or ptgAreaN made the ptgRef or ptgArea of the cell at (row,
// column) (see ExpandSharedFormula); token.base says which it is now.
void ExpandToken(std::string& bytes, size_t begin, std::string_view rgce, Token& token, int row, int column) {
  size_t at = token.at + 1;
  // Each corner: a row word, and a column word that carries the relative bits.
  int corners = token.base == ptg::kRefN ? 1 : 2;
  for (int corner = 0; corner < corners; ++corner) {
    size_t rowAt = at + 2 * corner;
    size_t columnAt = at + 2 * corners + 2 * corner;
    uint16_t columnWord = U16(rgce, columnAt);
    Put(bytes, begin + rowAt, RelativeRow(U16(rgce, rowAt), columnWord, row), 2);
    Put(bytes, begin + columnAt, (columnWord & (kRowRelative | kColumnRelative)) | RelativeColumn(columnWord, column), 2);
  }
  token.base = token.base == ptg::kRefN ? ptg::kRef : ptg::kArea;
  const size_t typeAt = begin + token.at;
  bytes[typeAt] = static_cast<char>((U8(bytes, typeAt) & 0xE0) | token.base);
}

bool IsRelativeToCell(const Token& token) {
  return token.classified && (token.base == ptg::kRefN || token.base == ptg::kAreaN);
}

}  // namespace

void ShiftFormulaRowsIn(std::string& bytes, size_t begin, size_t size, int rowDelta) {
  const std::string_view rgce = std::string_view(bytes).substr(begin, size);
  TokenWalker walker(rgce);
  Token token;
  while (walker.Next(token))
    if (token.classified) ShiftToken(bytes, begin, rgce, token, rowDelta);
}

void ExpandSharedFormulaIn(std::string& bytes, size_t begin, size_t size, int row, int column) {
  const std::string_view rgce = std::string_view(bytes).substr(begin, size);
  TokenWalker walker(rgce);
  Token token;
  while (walker.Next(token))
    if (IsRelativeToCell(token)) ExpandToken(bytes, begin, rgce, token, row, column);
}

void ExpandAndShiftIn(std::string& bytes, size_t begin, size_t size, int row, int column, int rowDelta) {
  const std::string_view rgce = std::string_view(bytes).substr(begin, size);
  TokenWalker walker(rgce);
  Token token;
  while (walker.Next(token)) {
    if (!token.classified) continue;
    if (IsRelativeToCell(token)) ExpandToken(bytes, begin, rgce, token, row, column);
    ShiftToken(bytes, begin, rgce, token, rowDelta);
  }
}

namespace {

// Writes one coordinate of a shape key at out (moved past it): marked as
// an offset from the cell's coordinate base or as the coordinate itself,
// five bytes either way.
void PutKeyCoordinate(char*& out, int value, bool offset, int base) {
  *out++ = offset ? '\x01' : '\x02';
  const uint32_t written = static_cast<uint32_t>(offset ? value - base : value);
  std::memcpy(out, &written, 4);
  out += 4;
}

}  // namespace

bool ExpressionShapeKey(std::string_view rgce, bool shared, int row, int column, int rowDelta, std::string& key) {
  // A reference token's key is at most three times its size (a ptgArea's 9 bytes give 23).
  key.resize(3 * rgce.size());
  char* out = key.data();
  auto put = [&out](std::string_view bytes) {
    std::memcpy(out, bytes.data(), bytes.size());
    out += bytes.size();
  };
  const int cellRow = row + rowDelta;
  TokenWalker walker(rgce);
  Token token;
  while (walker.Next(token)) {
    const std::string_view bytes = rgce.substr(token.at, token.size);
    const bool offsets = token.classified && IsRelativeToCell(token);
    if ((token.classified && token.base == ptg::kArray) || (offsets && !shared)) return false;
    // The token as the cell holds it now: an offset token made the cell's own.
    const uint8_t base = offsets ? (token.base == ptg::kRefN ? ptg::kRef : ptg::kArea) : token.base;
    const bool three = base == ptg::kRef3d || base == ptg::kArea3d;
    const bool area = base == ptg::kArea || base == ptg::kArea3d;
    if (!token.classified || !(area || three || base == ptg::kRef)) {
      put(bytes);
      continue;
    }
    const size_t at = three ? 3 : 1;
    const int corners = area ? 2 : 1;
    uint16_t rows[2], words[2];
    for (int corner = 0; corner < corners; ++corner) {
      rows[corner] = U16(bytes, at + 2 * corner);
      words[corner] = U16(bytes, at + 2 * corners + 2 * corner);
      if (!offsets) continue;
      const uint16_t word = words[corner];
      rows[corner] = RelativeRow(rows[corner], word, row);
      words[corner] = (word & (kRowRelative | kColumnRelative)) | RelativeColumn(word, column);
    }
    // Moved as ShiftFormulaRows moves it: whole columns stay, a row pushed
    // off the sheet makes the token its error form (the 3-D sheet index kept).
    const bool wholeColumns = area && rows[0] == 0 && rows[1] == kLastRow;
    bool pushedOff = false;
    for (int corner = 0; corner < corners && !wholeColumns; ++corner) {
      const int moved = MovedRow(rows[corner], words[corner], rowDelta);
      pushedOff = pushedOff || moved < 0;
      rows[corner] = static_cast<uint16_t>(moved);
    }
    const uint8_t errorBase = base == ptg::kRef ? ptg::kRefErr : base == ptg::kArea ? ptg::kAreaErr
                              : base == ptg::kRef3d ? ptg::kRefErr3d : ptg::kAreaErr3d;
    *out++ = static_cast<char>((U8(bytes, 0) & 0xE0) | (pushedOff ? errorBase : base));
    put(bytes.substr(1, at - 1));  // a 3-D reference's sheet (XTI) index
    if (pushedOff) {
      std::memset(out, 0, token.size - at);
      out += token.size - at;
      continue;
    }
    // Whole columns (whole rows) read as A:A (1:1), the same for every cell.
    const bool wholeRows = area && !wholeColumns && (words[0] & kColumnBits) == 0 && (words[1] & kColumnBits) == kLastColumn;
    for (int corner = 0; corner < corners; ++corner) {
      const uint16_t word = words[corner];
      *out++ = static_cast<char>(word >> 14);  // the relative bits
      PutKeyCoordinate(out, rows[corner], (word & kRowRelative) && !wholeColumns, cellRow);
      PutKeyCoordinate(out, word & kColumnBits, (word & kColumnRelative) && !wholeRows, column);
    }
  }
  key.resize(static_cast<size_t>(out - key.data()));
  return true;
}

namespace {

// Whether an area's rows (columns), first and last as an offset token
// holds them, may read as the whole span (0 to whole) at one cell and not
// at another: both relative and whole apart, or one relative and the other
// at its own end of the span.
bool MayReadWhole(bool firstRelative, bool lastRelative, int first, int last, int whole) {
  if (firstRelative && lastRelative) return last - first == whole;
  if (firstRelative != lastRelative) return firstRelative ? last == whole : first == 0;
  return false;  // both absolute: the same at every cell
}

}  // namespace

bool SharedOffsetBounds(std::string_view sharedRgce, OffsetBounds& bounds) {
  bounds = OffsetBounds{};
  TokenWalker walker(sharedRgce);
  Token token;
  while (walker.Next(token)) {
    if (!token.classified) continue;
    const std::string_view bytes = sharedRgce.substr(token.at, token.size);
    switch (token.base) {
      case ptg::kArray: return false;
      case ptg::kRef:
      case ptg::kArea:
      case ptg::kRef3d:
      case ptg::kArea3d: {
        const size_t at = token.base == ptg::kRef3d || token.base == ptg::kArea3d ? 3 : 1;
        const int corners = token.base == ptg::kRef || token.base == ptg::kRef3d ? 1 : 2;
        for (int corner = 0; corner < corners; ++corner)
          if (U16(bytes, at + 2 * corners + 2 * corner) & (kRowRelative | kColumnRelative)) return false;
        break;
      }
      case ptg::kRefN:
      case ptg::kAreaN: {
        const int corners = token.base == ptg::kRefN ? 1 : 2;
        int rows[2] = {0, 0}, columns[2] = {0, 0};
        bool rowRelative[2] = {false, false}, columnRelative[2] = {false, false};
        for (int corner = 0; corner < corners; ++corner) {
          const uint16_t rowWord = U16(bytes, 1 + 2 * corner), word = U16(bytes, 1 + 2 * corners + 2 * corner);
          rowRelative[corner] = word & kRowRelative;
          columnRelative[corner] = word & kColumnRelative;
          rows[corner] = rowRelative[corner] ? static_cast<int16_t>(rowWord) : rowWord;
          columns[corner] = columnRelative[corner] ? static_cast<int8_t>(word & 0xFF) : word & kColumnBits;
          if (rowRelative[corner]) {
            bounds.firstRow = std::min(bounds.firstRow, rows[corner]);
            bounds.lastRow = std::max(bounds.lastRow, rows[corner]);
          }
          if (columnRelative[corner]) {
            bounds.firstColumn = std::min(bounds.firstColumn, columns[corner]);
            bounds.lastColumn = std::max(bounds.lastColumn, columns[corner]);
          }
        }
        if (corners == 2 && (MayReadWhole(rowRelative[0], rowRelative[1], rows[0], rows[1], kLastRow) ||
                             MayReadWhole(columnRelative[0], columnRelative[1], columns[0], columns[1], kLastColumn)))
          return false;
        break;
      }
      default: break;
    }
  }
  return true;
}

namespace {

const Function* FindFunction(uint16_t number) {
  auto found = std::lower_bound(std::begin(kFunctions), std::end(kFunctions), number,
                                [](const Function& function, uint16_t wanted) { return function.number < wanted; });
  return found != std::end(kFunctions) && found->number == number ? &*found : nullptr;
}

std::string ColumnLetters(int column) {
  std::string letters;
  for (int rest = column + 1; rest > 0; rest = (rest - 1) / 26) letters.insert(letters.begin(), static_cast<char>('A' + (rest - 1) % 26));
  return letters;
}

// A1, $A1, A$1 or $A$1: the column word says which parts are relative.
std::string CellText(int row, int column, uint16_t columnWord) {
  return (columnWord & kColumnRelative ? "" : "$") + ColumnLetters(column) + (columnWord & kRowRelative ? "" : "$") +
         std::to_string(row + 1);
}

// A range; whole columns as A:B and whole rows as 1:2.
std::string AreaText(int firstRow, int lastRow, int firstColumn, int lastColumn, uint16_t firstWord, uint16_t lastWord) {
  auto column = [](int at, uint16_t word) { return (word & kColumnRelative ? "" : "$") + ColumnLetters(at); };
  auto row = [](int at, uint16_t word) { return (word & kRowRelative ? "" : "$") + std::to_string(at + 1); };
  if (firstRow == 0 && lastRow == kLastRow) return column(firstColumn, firstWord) + ":" + column(lastColumn, lastWord);
  if (firstColumn == 0 && lastColumn == kLastColumn) return row(firstRow, firstWord) + ":" + row(lastRow, lastWord);
  return CellText(firstRow, firstColumn, firstWord) + ":" + CellText(lastRow, lastColumn, lastWord);
}


// Whether a sheet name must be quoted before "!": anything but letters,
// digits, "_" and ".", a leading digit, or a name that reads as a cell.
bool NeedsQuotes(std::string_view name) {
  if (name.empty() || IsAsciiDigit(name[0]) || name[0] == '.') return true;
  for (char c : name)
    if (!(static_cast<unsigned char>(c) >= 0x80 || IsAsciiLetter(c) || IsAsciiDigit(c) || c == '_' || c == '.')) return true;
  size_t letters = 0;
  while (letters < name.size() && IsAsciiLetter(name[letters])) ++letters;
  bool digitsFollow = letters < name.size() &&
                      std::all_of(name.begin() + letters, name.end(), [](char c) { return IsAsciiDigit(c); });
  if (letters > 0 && letters <= 3 && digitsFollow) return true;  // like A1 or IV65536
  // R1C1 forms: R, C, R2, C3, R2C3
  size_t at = 0;
  auto part = [&](char upper) {
    if (at < name.size() && (name[at] == upper || name[at] == upper + 32)) {
      ++at;
      while (at < name.size() && IsAsciiDigit(name[at])) ++at;
      return true;
    }
    return false;
  };
  bool rowPart = part('R');
  bool columnPart = part('C');
  return (rowPart || columnPart) && at == name.size();
}

std::string SheetPrefix(const std::string& name) {
  if (!NeedsQuotes(name)) return name + "!";
  std::string quoted = "'";
  for (char c : name) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  return quoted + "'!";
}

// A name as a formula shows it: the prefix that marks functions newer than
// the format is not part of what the user wrote.
std::string ShownName(std::string name) {
  constexpr std::string_view kFuture = "_xlfn.";
  if (name.size() > kFuture.size() && name.compare(0, kFuture.size(), kFuture) == 0) name.erase(0, kFuture.size());
  return name;
}

std::string NumberText(double value) {
  if (!std::isfinite(value)) Damaged("it holds a number that is not finite");
  char text[400];
  // The shortest digits that read back the same; plain notation within the
  // range a cell shows that way, else with an exponent.
  auto scientific = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
  std::string_view shortest(text, scientific.ptr - text);
  int exponent = std::stoi(std::string(shortest.substr(shortest.find('e') + 1)));
  if (exponent > -10 && exponent < 16) {
    auto fixed = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return std::string(text, fixed.ptr);
  }
  std::string out(shortest);
  out[out.find('e')] = 'E';
  return out;
}

std::string QuotedString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

const char* ErrorText(uint8_t code) {
  if (const char* text = ErrorValueText(code)) return text;
  Damaged("it holds an unknown error value");
}

// Reads the RgbExtra after an expression: array constants' values and the
// areas that ptgMemArea tokens keep, in the order of their tokens.
class ExtraReader {
 public:
  explicit ExtraReader(std::string_view extra) : extra_(extra) {}

  // The values of the next array constant, as {1,2;3,4}.
  std::string Array() {
    Need(3);
    size_t columns = size_t{U8(extra_, at_)} + 1, rows = size_t{U16(extra_, at_ + 1)} + 1;
    at_ += 3;
    if (columns * rows > (extra_.size() - at_) / 4)  // a value takes 4 bytes at the least
      Damaged("its array constant has fewer values than it says");
    std::string out = "{";
    for (size_t row = 0; row < rows; ++row) {
      for (size_t column = 0; column < columns; ++column) {
        if (column) out += ',';
        out += Value();
      }
      if (row + 1 < rows) out += ';';
    }
    return out + "}";
  }

  // Passes over the areas of a ptgMemArea.
  void SkipMemArea() {
    Need(2);
    size_t count = U16(extra_, at_);
    Need(2 + 8 * count);
    at_ += 2 + 8 * count;
  }

 private:
  void Need(size_t bytes) const {
    if (bytes > extra_.size() - at_) Damaged("the values after its expression end too soon");
  }

  std::string Value() {
    Need(1);
    uint8_t type = U8(extra_, at_);
    if (type == 0x02) {  // a string: count of characters, flags, characters
      Need(4);
      size_t count = U16(extra_, at_ + 1);
      bool wide = U8(extra_, at_ + 3) & 1;
      Need(4 + count * (wide ? 2 : 1));
      std::string text;
      uint16_t pending = 0;
      AppendUnits(text, extra_.substr(at_ + 4, count * (wide ? 2 : 1)), wide, pending);
      FinishUnits(text, pending);
      at_ += 4 + count * (wide ? 2 : 1);
      return QuotedString(text);
    }
    Need(9);
    size_t at = at_ + 1;
    at_ += 9;
    switch (type) {
      case 0x00: return "";
      case 0x01: return NumberText(F64(extra_, at));
      case 0x04: return U8(extra_, at) ? "TRUE" : "FALSE";
      case 0x10: return ErrorText(U8(extra_, at));
      default: Damaged("its array constant holds a value of unknown kind");
    }
  }

  std::string_view extra_;
  size_t at_ = 0;
};

// Turns the tokens into text on a stack of operand texts.
class FormulaPrinter {
 public:
  FormulaPrinter(std::string_view rgce, int row, int column, const FormulaContext& context)
      : rgce_(rgce), row_(row), column_(column), context_(context), extra_(context.extra) {}

  std::string Print() {
    if (rgce_.empty()) Damaged("its expression is empty");
    if (rgce_.size() > kLongestExpression) Damaged("its expression is longer than a record can hold");
    TokenWalker walker(rgce_);
    Token token;
    while (walker.Next(token)) {
      at_ = token.at;
      if (token.classified)
        Classified(token.base);
      else
        Base(token.base);
    }
    if (stack_.size() != 1) Damaged("its tokens do not make one expression");
    return std::move(stack_.back());
  }

 private:
  std::string Pop() {
    if (stack_.empty()) Damaged("the token at byte " + std::to_string(at_) + " of its expression lacks its operands");
    std::string top = std::move(stack_.back());
    stack_.pop_back();
    return top;
  }
  void Push(std::string text) { stack_.push_back(std::move(text)); }

  void Binary(const char* op) {
    std::string right = Pop();
    std::string left = Pop();
    left += op;
    left += right;
    Push(std::move(left));
  }

  void Base(uint8_t base) {
    static const char* const kOperators[] = {"+", "-", "*", "/", "^", "&", "<", "<=", "=", ">=", ">", "<>", " ", ",", ":"};
    if (base >= ptg::kAdd && base < ptg::kAdd + std::size(kOperators)) return Binary(kOperators[base - ptg::kAdd]);
    switch (base) {
      case ptg::kExp:
      case ptg::kTbl:
        throw HostError("The formula of this cell is kept with the shared, array or table formula at " +
                        CellText(U16(rgce_, at_ + 1), U16(rgce_, at_ + 3), kRowRelative | kColumnRelative) + ", which must be read with it.");
      case ptg::kUplus: return Push("+" + Pop());
      case ptg::kUminus: return Push("-" + Pop());
      case ptg::kPercent: return Push(Pop() + "%");
      case ptg::kParen: return Push("(" + Pop() + ")");
      case ptg::kMissArg: return Push("");
      case ptg::kStr: {
        size_t count = U8(rgce_, at_ + 1);
        bool wide = U8(rgce_, at_ + 2) & 1;
        std::string text;
        uint16_t pending = 0;
        AppendUnits(text, rgce_.substr(at_ + 3, count * (wide ? 2 : 1)), wide, pending);
        FinishUnits(text, pending);
        return Push(QuotedString(text));
      }
      case ptg::kElf:
        throw HostError("A formula uses natural-language labels or pivot table fields, which this program cannot show.");
      case ptg::kAttr:
        // Only the one-argument SUM changes the text; jumps, volatility and
        // spacing do not.
        if (U8(rgce_, at_ + 1) == attr::kSum) Push("SUM(" + Pop() + ")");
        return;
      case ptg::kErr: return Push(ErrorText(U8(rgce_, at_ + 1)));
      case ptg::kBool: return Push(U8(rgce_, at_ + 1) ? "TRUE" : "FALSE");
      case ptg::kInt: return Push(std::to_string(U16(rgce_, at_ + 1)));
      case ptg::kNum: return Push(NumberText(F64(rgce_, at_ + 1)));
      default: return;
    }
  }

  void Classified(uint8_t base) {
    const size_t at = at_ + 1;
    switch (base) {
      case ptg::kArray:
        if (context_.extra.empty()) throw HostError("A formula's array constant cannot be shown without its values.");
        return Push(extra_.Array());
      case ptg::kFunc: {
        uint16_t number = U16(rgce_, at);
        const Function* function = FindFunction(number);
        if (!function || function->arguments < 0)
          throw HostError("A formula uses function number " + std::to_string(number) + ", which this program cannot show.");
        return Call(function->name, function->arguments);
      }
      case ptg::kFuncVar: {
        size_t arguments = U8(rgce_, at);
        uint16_t word = U16(rgce_, at + 1);
        uint16_t number = word & 0x7FFF;
        if (word & 0x8000) return Call("COMMAND" + std::to_string(number), arguments);
        if (number == 255) {  // an add-in or macro function: its name is the first operand
          if (arguments == 0) Damaged("a function call at byte " + std::to_string(at_) + " has no name");
          std::vector<std::string> operands = PopMany(arguments);
          std::string name = std::move(operands.front());
          operands.erase(operands.begin());
          return Push(name + Arguments(operands));
        }
        const Function* function = FindFunction(number);
        return Call(function ? std::string(function->name) : "FUNC" + std::to_string(number), arguments);
      }
      case ptg::kName: {
        uint32_t index = U32(rgce_, at);
        std::string name = context_.definedName ? context_.definedName(index) : std::string();
        return Push(name.empty() ? "NAME" + std::to_string(index) : ShownName(std::move(name)));
      }
      case ptg::kNameX: {
        uint32_t index = U32(rgce_, at + 2);
        std::string name = context_.externName ? context_.externName(U16(rgce_, at), index) : std::string();
        return Push(name.empty() ? "EXTNAME" + std::to_string(index) : ShownName(std::move(name)));
      }
      case ptg::kRef: return Push(RefText(at, false));
      case ptg::kRefN: return Push(RefText(at, true));
      case ptg::kArea: return Push(AreaTextAt(at, false));
      case ptg::kAreaN: return Push(AreaTextAt(at, true));
      case ptg::kRefErr:
      case ptg::kAreaErr: return Push("#REF!");
      case ptg::kRef3d: return Push(Sheet(at, RefText(at + 2, false)));
      case ptg::kArea3d: return Push(Sheet(at, AreaTextAt(at + 2, false)));
      case ptg::kRefErr3d:
      case ptg::kAreaErr3d: return Push(Sheet(at, "#REF!"));
      case ptg::kMemArea: extra_.SkipMemArea(); return;
      default: return;  // the other ptgMem tokens only mark where their operand's tokens start
    }
  }

  std::vector<std::string> PopMany(size_t count) {
    if (count > stack_.size())
      Damaged("the function call at byte " + std::to_string(at_) + " of its expression lacks its arguments");
    std::vector<std::string> operands(std::make_move_iterator(stack_.end() - count), std::make_move_iterator(stack_.end()));
    stack_.resize(stack_.size() - count);
    return operands;
  }

  static std::string Arguments(const std::vector<std::string>& operands) {
    std::string out = "(";
    for (size_t i = 0; i < operands.size(); ++i) out += (i ? "," : "") + operands[i];
    return out + ")";
  }

  void Call(const std::string& name, size_t arguments) { Push(name + Arguments(PopMany(arguments))); }

  // A reference at `at`; `offsets` when its relative parts count from the cell.
  std::string RefText(size_t at, bool offsets) const {
    uint16_t word = U16(rgce_, at + 2);
    if (!offsets) return CellText(U16(rgce_, at), word & kColumnBits, word);
    return CellText(RelativeRow(U16(rgce_, at), word, row_), RelativeColumn(word, column_), word);
  }

  std::string AreaTextAt(size_t at, bool offsets) const {
    uint16_t firstWord = U16(rgce_, at + 4), lastWord = U16(rgce_, at + 6);
    if (!offsets)
      return AreaText(U16(rgce_, at), U16(rgce_, at + 2), firstWord & kColumnBits, lastWord & kColumnBits, firstWord,
                      lastWord);
    return AreaText(RelativeRow(U16(rgce_, at), firstWord, row_), RelativeRow(U16(rgce_, at + 2), lastWord, row_),
                    RelativeColumn(firstWord, column_), RelativeColumn(lastWord, column_), firstWord, lastWord);
  }

  // A 3-D reference's text with its sheet in front: #REF! alone when the
  // sheet is not known.
  std::string Sheet(size_t at, const std::string& reference) const {
    std::string name = context_.sheetName ? context_.sheetName(U16(rgce_, at)) : std::string();
    return name.empty() ? "#REF!" : SheetPrefix(name) + reference;
  }

  std::string_view rgce_;
  int row_, column_;
  const FormulaContext& context_;
  ExtraReader extra_;
  std::vector<std::string> stack_;
  size_t at_ = 0;
};

}  // namespace

std::string FormulaText(std::string_view rgce, int row, int column, const FormulaContext& context) {
  return FormulaPrinter(rgce, row, column, context).Print();
}

std::string FormulaText(std::string_view rgce, int row, int column, const std::function<std::string(int)>& sheetName) {
  FormulaContext context;
  context.sheetName = sheetName;
  return FormulaText(rgce, row, column, context);
}

uint16_t FlagsWithFreshResult(uint16_t flags, std::string_view rgce) {
  constexpr uint16_t kAlwaysCalc = 0x0001;
  const bool isVolatile = rgce.size() >= 4 && (U8(rgce, 0) & 0x7F) == ptg::kAttr && (U8(rgce, 1) & attr::kSemi);
  return isVolatile ? flags : flags & ~kAlwaysCalc;
}

const char* BuiltinFunction(uint16_t number, int& fixed) {
  const Function* function = FindFunction(number);
  if (!function) return nullptr;
  fixed = function->arguments;
  return function->name;
}

std::string SheetReferencePrefix(const std::string& name) { return SheetPrefix(name); }

std::string FormulaNumber(double value) { return NumberText(value); }

}  // namespace host::biff
