#include "host/formats/xlsb/XlsbFormula.h"

#include <vector>

#include "host/core/HostError.h"
#include "host/formats/biff/BiffRecords.h"
#include "host/formats/biff/FormulaTokens.h"
#include "host/io/LittleEndian.h"
#include "host/io/Utf16.h"

namespace host::xlsb {

using io::U16;
using io::U32;
using io::U8;

namespace {

// Token bases: the first byte, or its low five bits with 0x20 for the
// classified tokens (the class is in bits 5 and 6).
namespace ptg {
constexpr uint8_t kExp = 0x01, kAdd = 0x03, kUplus = 0x12, kUminus = 0x13, kPercent = 0x14, kParen = 0x15,
                  kMissArg = 0x16, kStr = 0x17, kExtend = 0x18, kAttr = 0x19, kErr = 0x1C, kBool = 0x1D, kInt = 0x1E,
                  kNum = 0x1F;
constexpr uint8_t kArray = 0x20, kFunc = 0x21, kFuncVar = 0x22, kName = 0x23, kRef = 0x24, kArea = 0x25,
                  kMemArea = 0x26, kMemErr = 0x27, kMemNoMem = 0x28, kMemFunc = 0x29, kRefErr = 0x2A, kAreaErr = 0x2B,
                  kRefN = 0x2C, kAreaN = 0x2D, kNameX = 0x39, kRef3d = 0x3A, kArea3d = 0x3B, kRefErr3d = 0x3C,
                  kAreaErr3d = 0x3D;
}  // namespace ptg

constexpr uint16_t kRowRelative = 0x8000, kColumnRelative = 0x4000, kColumnBits = 0x3FFF;
constexpr uint32_t kRows = 0x100000, kLastRow = kRows - 1;
constexpr uint32_t kColumns = 0x4000, kLastColumn = kColumns - 1;

[[noreturn]] void Damaged(const std::string& what) { throw HostError("A formula is damaged: " + what + "."); }

struct Token {
  size_t at = 0;     // where the token starts
  size_t size = 0;   // its bytes
  uint8_t base = 0;  // see ptg
};

// The base of the token starting with byte first.
uint8_t BaseOf(uint8_t first) { return first >= 0x20 ? static_cast<uint8_t>((first & 0x1F) | 0x20) : first; }

// The size of the token at at, or 0 when it is unknown.
size_t TokenSize(std::string_view rgce, size_t at) {
  const size_t left = rgce.size() - at;
  const uint8_t base = BaseOf(U8(rgce, at));
  switch (base) {
    case ptg::kExp: return 5;
    case ptg::kStr: return left >= 3 ? 3 + 2 * size_t{U16(rgce, at + 1)} : 3;
    case ptg::kExtend:
      if (left < 2) return 2;
      if (U8(rgce, at + 1) == 0x19) return 14;  // PtgList, a table's structured reference
      if (U8(rgce, at + 1) == 0x1D) return 6;   // PtgSxName
      return 0;
    case ptg::kAttr: {
      if (left < 4) return 4;
      const uint8_t kind = U8(rgce, at + 1);
      if (kind == 0x04) return 4 + 2 * (size_t{U16(rgce, at + 2)} + 1);  // choose: its jump table
      return (kind == 0x01 || kind == 0x02 || kind == 0x08 || kind == 0x10 || kind == 0x20 || kind == 0x21 ||
              kind == 0x40 || kind == 0x41 || kind == 0x80)
                 ? 4
                 : 0;
    }
    case ptg::kErr:
    case ptg::kBool: return 2;
    case ptg::kInt: return 3;
    case ptg::kNum: return 9;
    case ptg::kArray: return 15;
    case ptg::kFunc: return 3;
    case ptg::kFuncVar: return 4;
    case ptg::kName: return 5;
    case ptg::kRef:
    case ptg::kRefErr:
    case ptg::kRefN: return 7;
    case ptg::kArea:
    case ptg::kAreaErr:
    case ptg::kAreaN: return 13;
    case ptg::kMemArea:
    case ptg::kMemErr:
    case ptg::kMemNoMem: return 7;
    case ptg::kMemFunc: return 3;
    case ptg::kNameX: return 7;
    case ptg::kRef3d:
    case ptg::kRefErr3d: return 9;
    case ptg::kArea3d:
    case ptg::kAreaErr3d: return 15;
    default:
      if (base >= ptg::kAdd && base <= ptg::kMissArg) return 1;
      return 0;
  }
}

// Every token of rgce in order; Damaged when one is unknown or runs past the end.
std::vector<Token> Tokens(std::string_view rgce) {
  if (rgce.empty()) Damaged("its expression is empty");
  std::vector<Token> tokens;
  for (size_t at = 0; at < rgce.size();) {
    const size_t size = TokenSize(rgce, at);
    if (size == 0) Damaged("it holds an unknown token (" + std::to_string(U8(rgce, at)) + ") at byte " + std::to_string(at));
    if (size > rgce.size() - at) Damaged("the token at byte " + std::to_string(at) + " runs past its end");
    tokens.push_back(Token{at, size, BaseOf(U8(rgce, at))});
    at += size;
  }
  return tokens;
}

// A row moved by delta when relative; -1 when it leaves the sheet.
int64_t MovedRow(uint32_t row, uint16_t word, int delta) {
  if (!(word & kRowRelative)) return row;
  const int64_t moved = int64_t{row} + delta;
  return moved < 0 || moved > kLastRow ? -1 : moved;
}

// The error form of a reference token, same class and size.
void MakeError(std::string& out, const Token& token, uint8_t errorBase) {
  out[token.at] = static_cast<char>((U8(out, token.at) & 0x60) | (errorBase & 0x1F));
}

}  // namespace

std::string ShiftFormulaRows(std::string_view rgce, int rowDelta) {
  std::string out(rgce);
  for (const Token& token : Tokens(rgce)) {
    size_t at = token.at + 1;
    switch (token.base) {
      case ptg::kRef3d: at += 2; [[fallthrough]];
      case ptg::kRef: {
        const int64_t row = MovedRow(U32(rgce, at), U16(rgce, at + 4), rowDelta);
        if (row < 0) {
          MakeError(out, token, token.base == ptg::kRef ? ptg::kRefErr : ptg::kRefErr3d);
        } else {
          io::Put(out, at, static_cast<uint32_t>(row), 4);
        }
        break;
      }
      case ptg::kArea3d: at += 2; [[fallthrough]];
      case ptg::kArea: {
        const uint32_t first = U32(rgce, at), last = U32(rgce, at + 4);
        const uint16_t firstWord = U16(rgce, at + 8), lastWord = U16(rgce, at + 10);
        if (first == 0 && last == kLastRow) break;  // whole columns stay whole
        const int64_t newFirst = MovedRow(first, firstWord, rowDelta), newLast = MovedRow(last, lastWord, rowDelta);
        if (newFirst < 0 || newLast < 0) {
          MakeError(out, token, token.base == ptg::kArea ? ptg::kAreaErr : ptg::kAreaErr3d);
        } else {
          io::Put(out, at, static_cast<uint32_t>(newFirst), 4);
          io::Put(out, at + 4, static_cast<uint32_t>(newLast), 4);
        }
        break;
      }
      default: break;
    }
  }
  return out;
}

namespace {

uint32_t RelativeRow(uint32_t stored, uint16_t word, int cellRow) {
  if (!(word & kRowRelative)) return stored;
  return static_cast<uint32_t>((int64_t{cellRow} + static_cast<int32_t>(stored)) & (kRows - 1));
}

uint16_t RelativeColumnWord(uint16_t word, int cellColumn) {
  if (!(word & kColumnRelative)) return word;
  // The 14-bit offset is signed.
  int offset = word & kColumnBits;
  if (offset & 0x2000) offset -= kColumns;
  const auto column = static_cast<uint16_t>((cellColumn + offset) & (kColumns - 1));
  return static_cast<uint16_t>((word & ~kColumnBits) | column);
}

}  // namespace

std::string ExpandSharedFormula(std::string_view sharedRgce, int row, int column) {
  std::string out(sharedRgce);
  for (const Token& token : Tokens(sharedRgce)) {
    const size_t at = token.at + 1;
    if (token.base == ptg::kRefN) {
      const uint16_t word = U16(sharedRgce, at + 4);
      io::Put(out, at, RelativeRow(U32(sharedRgce, at), word, row), 4);
      io::Put(out, at + 4, RelativeColumnWord(word, column), 2);
      out[token.at] = static_cast<char>((U8(out, token.at) & 0x60) | (ptg::kRef & 0x1F));
    } else if (token.base == ptg::kAreaN) {
      const uint16_t firstWord = U16(sharedRgce, at + 8), lastWord = U16(sharedRgce, at + 10);
      io::Put(out, at, RelativeRow(U32(sharedRgce, at), firstWord, row), 4);
      io::Put(out, at + 4, RelativeRow(U32(sharedRgce, at + 4), lastWord, row), 4);
      io::Put(out, at + 8, RelativeColumnWord(firstWord, column), 2);
      io::Put(out, at + 10, RelativeColumnWord(lastWord, column), 2);
      out[token.at] = static_cast<char>((U8(out, token.at) & 0x60) | (ptg::kArea & 0x1F));
    }
  }
  return out;
}

bool FormulaAnchor(std::string_view rgce, std::string_view extra, int& row, int& column) {
  if (rgce.size() != 5 || U8(rgce, 0) != ptg::kExp || extra.size() < 4) return false;
  row = static_cast<int>(U32(rgce, 1) & kLastRow);
  column = static_cast<int>(U32(extra, 0) & kLastColumn);
  return true;
}

namespace {

std::string ColumnLetters(uint32_t column) {
  std::string letters;
  for (uint32_t rest = column + 1; rest > 0; rest = (rest - 1) / 26)
    letters.insert(letters.begin(), static_cast<char>('A' + (rest - 1) % 26));
  return letters;
}

std::string CellText(uint32_t row, uint16_t word) {
  return (word & kColumnRelative ? "" : "$") + ColumnLetters(word & kColumnBits) + (word & kRowRelative ? "" : "$") +
         std::to_string(row + 1);
}

std::string AreaText(uint32_t first, uint32_t last, uint16_t firstWord, uint16_t lastWord) {
  auto column = [](uint16_t word) { return (word & kColumnRelative ? "" : "$") + ColumnLetters(word & kColumnBits); };
  auto row = [](uint32_t at, uint16_t word) { return (word & kRowRelative ? "" : "$") + std::to_string(at + 1); };
  if (first == 0 && last == kLastRow) return column(firstWord) + ":" + column(lastWord);
  if ((firstWord & kColumnBits) == 0 && (lastWord & kColumnBits) == kLastColumn)
    return row(first, firstWord) + ":" + row(last, lastWord);
  return CellText(first, firstWord) + ":" + CellText(last, lastWord);
}

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

class Printer {
 public:
  Printer(std::string_view rgce, int row, int column, const FormulaNames& names)
      : rgce_(rgce), row_(row), column_(column), names_(names) {}

  std::string Print() {
    for (const Token& token : Tokens(rgce_)) {
      at_ = token.at;
      Step(token.base);
    }
    if (stack_.size() != 1) Damaged("its tokens do not make one expression");
    return stack_.back();
  }

 private:
  std::string Pop() {
    if (stack_.empty()) Damaged("the token at byte " + std::to_string(at_) + " lacks its operands");
    std::string top = std::move(stack_.back());
    stack_.pop_back();
    return top;
  }
  void Push(std::string text) { stack_.push_back(std::move(text)); }

  void Call(const std::string& name, size_t arguments) {
    if (arguments > stack_.size()) Damaged("the function call at byte " + std::to_string(at_) + " lacks its arguments");
    std::string text = name + "(";
    for (size_t i = stack_.size() - arguments; i < stack_.size(); ++i)
      text += (i + arguments == stack_.size() ? "" : ",") + stack_[i];
    stack_.resize(stack_.size() - arguments);
    Push(text + ")");
  }

  std::string Sheet(uint16_t xti, const std::string& reference) const {
    const std::string name = names_.sheetOfXti ? names_.sheetOfXti(xti) : std::string();
    return name.empty() ? "#REF!" : biff::SheetReferencePrefix(name) + reference;
  }

  void Step(uint8_t base) {
    static const char* const kOperators[] = {"+", "-", "*", "/", "^", "&", "<", "<=", "=", ">=", ">", "<>", " ", ",", ":"};
    const size_t at = at_ + 1;
    if (base >= ptg::kAdd && base < ptg::kAdd + std::size(kOperators)) {
      std::string right = Pop();
      std::string left = Pop();
      return Push(left + kOperators[base - ptg::kAdd] + right);
    }
    switch (base) {
      case ptg::kExp: throw HostError("The formula of this cell is kept with its shared or array formula, which must be read with it.");
      case ptg::kUplus: return Push("+" + Pop());
      case ptg::kUminus: return Push("-" + Pop());
      case ptg::kPercent: return Push(Pop() + "%");
      case ptg::kParen: return Push("(" + Pop() + ")");
      case ptg::kMissArg: return Push("");
      case ptg::kStr: return Push(Quoted(io::Utf16ToUtf8(rgce_.substr(at + 2, 2 * size_t{U16(rgce_, at)}))));
      case ptg::kExtend: throw HostError("A formula refers to a table by its columns' names, which this program cannot show.");
      case ptg::kAttr:
        if (U8(rgce_, at) == 0x10) Push("SUM(" + Pop() + ")");
        return;
      case ptg::kErr: {
        const char* text = biff::ErrorValueText(U8(rgce_, at));
        if (!text) Damaged("it holds an unknown error value");
        return Push(text);
      }
      case ptg::kBool: return Push(U8(rgce_, at) ? "TRUE" : "FALSE");
      case ptg::kInt: return Push(std::to_string(U16(rgce_, at)));
      case ptg::kNum: return Push(biff::FormulaNumber(io::F64(rgce_, at)));
      case ptg::kArray: throw HostError("A formula's array constant cannot be shown without its values.");
      case ptg::kFunc: {
        int fixed = -1;
        const uint16_t number = U16(rgce_, at);
        const char* name = biff::BuiltinFunction(number, fixed);
        if (!name || fixed < 0)
          throw HostError("A formula uses function number " + std::to_string(number) + ", which this program cannot show.");
        return Call(name, static_cast<size_t>(fixed));
      }
      case ptg::kFuncVar: {
        const size_t arguments = U8(rgce_, at);
        const uint16_t number = U16(rgce_, at + 1) & 0x7FFF;
        if (number == 255) {  // an add-in or newer function: its name is the first operand
          if (arguments == 0 || arguments > stack_.size()) Damaged("a function call at byte " + std::to_string(at_) + " has no name");
          std::string name = stack_[stack_.size() - arguments];
          stack_.erase(stack_.end() - static_cast<std::ptrdiff_t>(arguments));
          return Call(name, arguments - 1);
        }
        int fixed = -1;
        const char* name = biff::BuiltinFunction(number, fixed);
        return Call(name ? std::string(name) : "FUNC" + std::to_string(number), arguments);
      }
      case ptg::kName: {
        const uint32_t index = U32(rgce_, at);
        std::string name = names_.definedName ? names_.definedName(index) : std::string();
        constexpr std::string_view kFuture = "_xlfn.";
        if (name.compare(0, kFuture.size(), kFuture) == 0) name.erase(0, kFuture.size());
        return Push(name.empty() ? "NAME" + std::to_string(index) : name);
      }
      case ptg::kNameX: return Push("EXTNAME" + std::to_string(U32(rgce_, at + 2)));
      case ptg::kRef: return Push(CellText(U32(rgce_, at), U16(rgce_, at + 4)));
      case ptg::kArea: return Push(AreaText(U32(rgce_, at), U32(rgce_, at + 4), U16(rgce_, at + 8), U16(rgce_, at + 10)));
      case ptg::kRefN: {
        const uint16_t word = U16(rgce_, at + 4);
        return Push(CellText(RelativeRow(U32(rgce_, at), word, row_), RelativeColumnWord(word, column_)));
      }
      case ptg::kAreaN: {
        const uint16_t firstWord = U16(rgce_, at + 8), lastWord = U16(rgce_, at + 10);
        return Push(AreaText(RelativeRow(U32(rgce_, at), firstWord, row_), RelativeRow(U32(rgce_, at + 4), lastWord, row_),
                             RelativeColumnWord(firstWord, column_), RelativeColumnWord(lastWord, column_)));
      }
      case ptg::kRefErr:
      case ptg::kAreaErr: return Push("#REF!");
      case ptg::kRef3d: return Push(Sheet(U16(rgce_, at), CellText(U32(rgce_, at + 2), U16(rgce_, at + 6))));
      case ptg::kArea3d:
        return Push(Sheet(U16(rgce_, at), AreaText(U32(rgce_, at + 2), U32(rgce_, at + 6), U16(rgce_, at + 10), U16(rgce_, at + 12))));
      case ptg::kRefErr3d:
      case ptg::kAreaErr3d: return Push(Sheet(U16(rgce_, at), "#REF!"));
      default: return;  // the ptgMem tokens only mark where their operand's tokens start
    }
  }

  std::string_view rgce_;
  int row_, column_;
  const FormulaNames& names_;
  std::vector<std::string> stack_;
  size_t at_ = 0;
};

}  // namespace

std::string FormulaText(std::string_view rgce, int row, int column, const FormulaNames& names) {
  return Printer(rgce, row, column, names).Print();
}

}  // namespace host::xlsb
