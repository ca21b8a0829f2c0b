#include "host/core/calc/FormulaParser.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "host/core/CellAddress.h"

namespace host::calc {

namespace {

// Formulas nest at most this deep (the reference program allows 64 levels
// of functions; parentheses count here too), so the parser's recursion is bounded.
constexpr int kMaxDepth = 200;

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameChar(char c) {
  return IsLetter(c) || IsDigit(c) || c == '_' || c == '.' || c == '\\' || c == '?' ||
         static_cast<unsigned char>(c) >= 0x80;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

// Reads the quoted run at at (a text in "", a sheet name in ''; a doubled
// quote stands for one) into out, at moved past the closing quote; false
// when it is not closed.
bool ReadQuoted(std::string_view s, size_t& at, std::string* out) {
  const char quote = s[at];
  for (size_t i = at + 1; i < s.size(); ++i) {
    if (s[i] != quote) {
      if (out) *out += s[i];
      continue;
    }
    if (i + 1 < s.size() && s[i + 1] == quote) {
      if (out) *out += quote;
      ++i;
      continue;
    }
    at = i + 1;
    return true;
  }
  return false;
}

// One part of a reference: column letters, row digits or both, each
// optionally after "$". kind: 1 cell, 2 column, 3 row; 0 when none.
struct Part {
  int kind = 0, row = 0, column = 0;
  bool absRow = false, absColumn = false;
  size_t begin = 0, end = 0;
  bool operator==(const Part&) const = default;
};

Part PartAt(std::string_view s, size_t at) {
  Part part;
  size_t p = at;
  const bool absColumn = p < s.size() && s[p] == '$';
  if (absColumn) ++p;
  const size_t letters = p;
  int column = 0;
  while (p < s.size() && IsLetter(s[p]) && p - letters < 4) {
    column = column * 26 + ((s[p] & ~0x20) - 'A' + 1);  // upper case without the locale
    ++p;
  }
  const size_t letterCount = p - letters;
  if (letterCount > 3) return part;
  size_t q = p;
  const bool absRow = letterCount > 0 && q < s.size() && s[q] == '$';
  if (absRow) ++q;
  const size_t digits = q;
  long row = 0;
  while (q < s.size() && IsDigit(s[q]) && q - digits < 8) row = row * 10 + (s[q++] - '0');
  const size_t digitCount = q - digits;
  if (letterCount > 0 && digitCount > 0) {
    if (column > kMaxColumns || row < 1 || row > kMaxRows) return part;
    part = {1, static_cast<int>(row), column, absRow, absColumn, at, q};
  } else if (letterCount > 0 && q == p) {
    if (column > kMaxColumns) return part;
    part = {2, 0, column, false, absColumn, at, p};
  } else if (letterCount == 0 && digitCount > 0) {
    // A row alone: its "$" stood where a column's would.
    if (row < 1 || row > kMaxRows) return part;
    part = {3, static_cast<int>(row), 0, absColumn, false, at, q};
  } else {
    return part;
  }
  // A reference ends where a name could not go on.
  if (part.end < s.size() && (IsNameChar(s[part.end]) || s[part.end] == '(' || s[part.end] == '!')) return Part{};
  return part;
}

// The parts of a reference at at: a cell, or two of one kind around ":"
// (second.kind 0 for a single cell). False when no reference starts there
// (a lone column or row is a name or a number).
bool ReferenceParts(std::string_view s, size_t at, Part& first, Part& second) {
  first = PartAt(s, at);
  second = Part{};
  if (first.kind == 0) return false;
  if (first.end < s.size() && s[first.end] == ':') {
    second = PartAt(s, first.end + 1);
    if (second.kind != first.kind) second = Part{};
  }
  return first.kind == 1 || second.kind != 0;
}

// Where a formula read relative to its cell is anchored, and the parts of
// its references in the order they were read.
struct Anchor {
  int row = 0, column = 0;
  std::vector<Part> parts;
};

struct Token {
  enum class Type { End, Number, Text, Boolean, Error, Reference, Name, Function, Operator, Open, Close,
                    Comma, Semicolon, BraceOpen, BraceClose };
  Type type = Type::End;
  bool spaceBefore = false;
  std::string text;  // Operator: the operator; Name/Function: the name; Text: the string
  double number = 0;
  CalcError error = CalcError::Value;
  NodePtr reference;  // Reference: the node, made by the scanner
};

class Scanner {
 public:
  Scanner(std::string_view text, Anchor* anchor) : s_(text), anchor_(anchor) {}

  Token Next() {
    Token t;
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\t')) {
      ++pos_;
      t.spaceBefore = true;
    }
    if (pos_ >= s_.size()) return t;
    const char c = s_[pos_];
    if (c == '"') return String(std::move(t));
    if (c == '#') return ErrorOrRef(std::move(t), "");
    if (c == '(') return Single(std::move(t), Token::Type::Open);
    if (c == ')') return Single(std::move(t), Token::Type::Close);
    if (c == ',') return Single(std::move(t), Token::Type::Comma);
    // LibreOffice writes its union operator "~" into the .xlsx files it saves.
    if (c == '~') return Op(std::move(t), 1);
    if (c == ';') return Single(std::move(t), Token::Type::Semicolon);
    if (c == '{') return Single(std::move(t), Token::Type::BraceOpen);
    if (c == '}') return Single(std::move(t), Token::Type::BraceClose);
    if (c == '[') throw FormulaUnreadable{"it refers to another workbook or to a table's columns"};
    if (c == '\'') return Quoted(std::move(t));
    if (std::string_view("+-*/^&%:=").find(c) != std::string_view::npos) return Op(std::move(t), 1);
    if (c == '<') return Op(std::move(t), pos_ + 1 < s_.size() && (s_[pos_ + 1] == '=' || s_[pos_ + 1] == '>') ? 2 : 1);
    if (c == '>') return Op(std::move(t), pos_ + 1 < s_.size() && s_[pos_ + 1] == '=' ? 2 : 1);
    if (NodePtr ref = ReferenceAt("", "")) {
      t.type = Token::Type::Reference;
      t.reference = std::move(ref);
      return t;
    }
    if (IsDigit(c) || c == '.') return NumberToken(std::move(t));
    if (IsNameChar(c) || c == '$') return Word(std::move(t));
    throw FormulaUnreadable{std::string("it holds an unexpected character '") + c + "'"};
  }

 private:
  Token Single(Token t, Token::Type type) {
    t.type = type;
    ++pos_;
    return t;
  }

  Token Op(Token t, size_t length) {
    t.type = Token::Type::Operator;
    t.text = std::string(s_.substr(pos_, length));
    pos_ += length;
    return t;
  }

  Token String(Token t) {
    std::string out;
    if (!ReadQuoted(s_, pos_, &out)) throw FormulaUnreadable{"a text in it has no closing quote"};
    t.type = Token::Type::Text;
    t.text = std::move(out);
    return t;
  }

  Token NumberToken(Token t) {
    const size_t start = pos_;
    while (pos_ < s_.size() && IsDigit(s_[pos_])) ++pos_;
    if (pos_ < s_.size() && s_[pos_] == '.') {
      ++pos_;
      while (pos_ < s_.size() && IsDigit(s_[pos_])) ++pos_;
    }
    if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
      size_t at = pos_ + 1;
      if (at < s_.size() && (s_[at] == '+' || s_[at] == '-')) ++at;
      if (at < s_.size() && IsDigit(s_[at])) {
        pos_ = at;
        while (pos_ < s_.size() && IsDigit(s_[pos_])) ++pos_;
      }
    }
    const std::string digits(s_.substr(start, pos_ - start));
    if (digits == ".") throw FormulaUnreadable{"it holds a lone '.'"};
    t.type = Token::Type::Number;
    t.number = std::strtod(digits.c_str(), nullptr);
    return t;
  }

  // An error literal, or "#REF!" standing for a reference (after a sheet name too).
  Token ErrorOrRef(Token t, const std::string& sheet) {
    static constexpr std::string_view kNames[] = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?",
                                                  "#NUM!", "#N/A", "#SPILL!", "#CALC!", "#GETTING_DATA"};
    for (std::string_view name : kNames) {
      if (Upper(s_.substr(pos_, name.size())) != name) continue;
      pos_ += name.size();
      if (name == "#GETTING_DATA") throw FormulaUnreadable{"it waits for external data"};
      CalcError error;
      ErrorFromText(name, error);
      if (error == CalcError::Ref || !sheet.empty()) {
        auto node = std::make_unique<Node>();
        node->kind = Node::Kind::Reference;
        node->sheet = sheet;
        node->refError = true;
        t.type = Token::Type::Reference;
        t.reference = std::move(node);
        return t;
      }
      t.type = Token::Type::Error;
      t.error = error;
      return t;
    }
    throw FormulaUnreadable{"it holds an unknown error value"};
  }

  // 'Sheet name'! or 'First:Last'! followed by a reference.
  Token Quoted(Token t) {
    std::string name;
    if (!ReadQuoted(s_, pos_, &name)) throw FormulaUnreadable{"a sheet name in it has no closing quote"};
    if (pos_ >= s_.size() || s_[pos_] != '!') throw FormulaUnreadable{"a quoted sheet name in it is not followed by '!'"};
    ++pos_;
    if (!name.empty() && name[0] == '[') throw FormulaUnreadable{"it refers to another workbook"};
    std::string first = name, last;
    if (size_t colon = name.find(':'); colon != std::string::npos) {
      first = name.substr(0, colon);
      last = name.substr(colon + 1);
    }
    return AfterSheet(std::move(t), first, last);
  }

  Token AfterSheet(Token t, const std::string& sheet, const std::string& lastSheet) {
    if (pos_ < s_.size() && s_[pos_] == '#') return ErrorOrRef(std::move(t), sheet);
    if (NodePtr ref = ReferenceAt(sheet, lastSheet)) {
      t.type = Token::Type::Reference;
      t.reference = std::move(ref);
      return t;
    }
    // A sheet-level defined name.
    const size_t start = pos_;
    while (pos_ < s_.size() && IsNameChar(s_[pos_])) ++pos_;
    if (pos_ == start) throw FormulaUnreadable{"a sheet name in it is followed by no reference"};
    t.type = Token::Type::Name;
    t.text = std::string(s_.substr(start, pos_ - start));
    auto node = std::make_unique<Node>();
    node->kind = Node::Kind::Name;
    node->name = t.text;
    node->sheet = sheet;
    t.reference = std::move(node);
    return t;
  }

  // A word: a function name, TRUE/FALSE, a defined name, or an unquoted sheet name before "!".
  Token Word(Token t) {
    const size_t start = pos_;
    while (pos_ < s_.size() && (IsNameChar(s_[pos_]) || s_[pos_] == '$')) ++pos_;
    std::string word(s_.substr(start, pos_ - start));
    if (pos_ < s_.size() && s_[pos_] == '!') {
      ++pos_;
      return AfterSheet(std::move(t), word, "");
    }
    if (pos_ < s_.size() && s_[pos_] == ':') {  // a 3-D reference Sheet1:Sheet3!A1
      size_t at = pos_ + 1, end = at;
      while (end < s_.size() && IsNameChar(s_[end])) ++end;
      if (end > at && end < s_.size() && s_[end] == '!') {
        std::string last(s_.substr(at, end - at));
        pos_ = end + 1;
        return AfterSheet(std::move(t), word, last);
      }
    }
    if (word.find('$') != std::string::npos) throw FormulaUnreadable{"it holds a malformed reference"};
    size_t look = pos_;
    while (look < s_.size() && s_[look] == ' ') ++look;
    if (look < s_.size() && s_[look] == '(') {
      pos_ = look;
      t.type = Token::Type::Function;
      std::string name = Upper(word);
      for (std::string_view prefix : {"_XLFN.", "_XLWS."})
        if (name.compare(0, prefix.size(), prefix) == 0) name.erase(0, prefix.size());
      if (name.compare(0, 6, "_XLWS.") == 0) name.erase(0, 6);
      t.text = name;
      return t;
    }
    const std::string upper = Upper(word);
    if (upper == "TRUE" || upper == "FALSE") {
      t.type = Token::Type::Boolean;
      t.number = upper == "TRUE";
      return t;
    }
    t.type = Token::Type::Name;
    t.text = word;
    auto node = std::make_unique<Node>();
    node->kind = Node::Kind::Name;
    node->name = word;
    t.reference = std::move(node);
    return t;
  }

  NodePtr ReferenceAt(const std::string& sheet, const std::string& lastSheet) {
    Part first, second;
    if (!ReferenceParts(s_, pos_, first, second)) return nullptr;
    auto node = std::make_unique<Node>();
    node->kind = Node::Kind::Reference;
    node->sheet = sheet;
    node->lastSheet = lastSheet;
    const Part& end = second.kind ? second : first;
    if (anchor_) {
      anchor_->parts.push_back(first);
      if (second.kind) anchor_->parts.push_back(second);
      SetCorners(*node, first, end);
    } else {
      node->firstRow = first.kind == 2 ? 1 : std::min(first.row, end.row);
      node->lastRow = first.kind == 2 ? kMaxRows : std::max(first.row, end.row);
      node->firstColumn = first.kind == 3 ? 1 : std::min(first.column, end.column);
      node->lastColumn = first.kind == 3 ? kMaxColumns : std::max(first.column, end.column);
    }
    pos_ = end.end;
    return node;
  }

  // The corners as written, relative coordinates as offsets from the anchor.
  void SetCorners(Node& node, const Part& a, const Part& b) const {
    auto coordinate = [&](int value, bool absolute, int base, uint8_t bit, int& out) {
      if (absolute) {
        out = value;
      } else {
        out = value - base;
        node.relative |= bit;
      }
    };
    // Rows of a whole column and columns of a whole row span the grid.
    const bool wholeColumns = a.kind == 2, wholeRows = a.kind == 3;
    coordinate(wholeColumns ? 1 : a.row, wholeColumns || a.absRow, anchor_->row, kRelativeFirstRow, node.firstRow);
    coordinate(wholeColumns ? kMaxRows : b.row, wholeColumns || b.absRow, anchor_->row, kRelativeLastRow, node.lastRow);
    coordinate(wholeRows ? 1 : a.column, wholeRows || a.absColumn, anchor_->column, kRelativeFirstColumn, node.firstColumn);
    coordinate(wholeRows ? kMaxColumns : b.column, wholeRows || b.absColumn, anchor_->column, kRelativeLastColumn,
               node.lastColumn);
  }

  std::string_view s_;
  Anchor* anchor_;
  size_t pos_ = 0;
};

class Parser {
 public:
  Parser(std::string_view text, Anchor* anchor) : scanner_(text, anchor) { Advance(); }

  NodePtr Formula() {
    NodePtr node = Comparison();
    if (token_.type != Token::Type::End) throw FormulaUnreadable{"it has more after its expression"};
    return node;
  }

 private:
  void Advance() { token_ = scanner_.Next(); }
  bool IsOp(std::string_view op) const { return token_.type == Token::Type::Operator && token_.text == op; }

  static NodePtr Binary(Operator op, NodePtr a, NodePtr b) {
    auto node = std::make_unique<Node>();
    node->kind = Node::Kind::Binary;
    node->op = op;
    node->children.push_back(std::move(a));
    node->children.push_back(std::move(b));
    return node;
  }
  static NodePtr Unary(Operator op, NodePtr a) {
    auto node = std::make_unique<Node>();
    node->kind = Node::Kind::Unary;
    node->op = op;
    node->children.push_back(std::move(a));
    return node;
  }

  struct Depth {
    explicit Depth(int& d) : d_(d) {
      if (++d_ > kMaxDepth) throw FormulaUnreadable{"it nests too deeply"};
    }
    ~Depth() { --d_; }
    int& d_;
  };

  NodePtr Comparison() {
    Depth guard(depth_);
    NodePtr left = Concat();
    for (;;) {
      Operator op;
      if (IsOp("=")) op = Operator::Equal;
      else if (IsOp("<>")) op = Operator::NotEqual;
      else if (IsOp("<")) op = Operator::Less;
      else if (IsOp(">")) op = Operator::Greater;
      else if (IsOp("<=")) op = Operator::LessEqual;
      else if (IsOp(">=")) op = Operator::GreaterEqual;
      else return left;
      Advance();
      left = Binary(op, std::move(left), Concat());
    }
  }

  NodePtr Concat() {
    NodePtr left = Additive();
    while (IsOp("&")) {
      Advance();
      left = Binary(Operator::Concat, std::move(left), Additive());
    }
    return left;
  }

  NodePtr Additive() {
    NodePtr left = Multiplicative();
    while (IsOp("+") || IsOp("-")) {
      const Operator op = IsOp("+") ? Operator::Add : Operator::Subtract;
      Advance();
      left = Binary(op, std::move(left), Multiplicative());
    }
    return left;
  }

  NodePtr Multiplicative() {
    NodePtr left = Power();
    while (IsOp("*") || IsOp("/")) {
      const Operator op = IsOp("*") ? Operator::Multiply : Operator::Divide;
      Advance();
      left = Binary(op, std::move(left), Power());
    }
    return left;
  }

  NodePtr Power() {
    NodePtr left = Percent();
    while (IsOp("^")) {
      Advance();
      left = Binary(Operator::Power, std::move(left), Percent());
    }
    return left;
  }

  NodePtr Percent() {
    NodePtr node = Sign();
    while (IsOp("%")) {
      Advance();
      node = Unary(Operator::Percent, std::move(node));
    }
    return node;
  }

  NodePtr Sign() {
    Depth guard(depth_);
    if (IsOp("-") || IsOp("+")) {
      const Operator op = IsOp("-") ? Operator::Negate : Operator::Plus;
      Advance();
      return Unary(op, Sign());
    }
    return UnionLevel();
  }

  NodePtr UnionLevel() {
    NodePtr left = IntersectLevel();
    while ((unionAllowed_ && token_.type == Token::Type::Comma) || IsOp("~")) {
      Advance();
      left = Binary(Operator::Union, std::move(left), IntersectLevel());
    }
    return left;
  }

  bool StartsOperand() const {
    switch (token_.type) {
      case Token::Type::Reference:
      case Token::Type::Name:
      case Token::Type::Function:
      case Token::Type::Open:
        return true;
      default:
        return false;
    }
  }

  NodePtr IntersectLevel() {
    NodePtr left = RangeLevel();
    while (token_.spaceBefore && StartsOperand()) left = Binary(Operator::Intersect, std::move(left), RangeLevel());
    return left;
  }

  NodePtr RangeLevel() {
    NodePtr left = Primary();
    while (IsOp(":")) {
      Advance();
      left = Binary(Operator::Range, std::move(left), Primary());
    }
    return left;
  }

  NodePtr Constant(Value v) {
    auto node = std::make_unique<Node>();
    node->constant = std::move(v);
    Advance();
    return node;
  }

  NodePtr Primary() {
    Depth guard(depth_);
    switch (token_.type) {
      case Token::Type::Number:
        return Constant(Value::Number(token_.number));
      case Token::Type::Text:
        return Constant(Value::Text(token_.text));
      case Token::Type::Boolean:
        return Constant(Value::Boolean(token_.number != 0));
      case Token::Type::Error:
        return Constant(Value::Error(token_.error));
      case Token::Type::Reference:
      case Token::Type::Name: {
        NodePtr node = std::move(token_.reference);
        Advance();
        return node;
      }
      case Token::Type::Function:
        return Call();
      case Token::Type::Open: {
        Advance();
        const bool saved = unionAllowed_;
        unionAllowed_ = true;
        NodePtr inner = Comparison();
        unionAllowed_ = saved;
        if (token_.type != Token::Type::Close) throw FormulaUnreadable{"a parenthesis in it is not closed"};
        Advance();
        return inner;
      }
      case Token::Type::BraceOpen:
        return ArrayConstant();
      default:
        throw FormulaUnreadable{"an operand is missing in it"};
    }
  }

  NodePtr Call() {
    auto node = std::make_unique<Node>();
    node->kind = Node::Kind::Function;
    node->name = token_.text;
    Advance();  // the name
    Advance();  // "("
    const bool saved = unionAllowed_;
    unionAllowed_ = false;
    if (token_.type == Token::Type::Close) {
      Advance();
      unionAllowed_ = saved;
      return node;
    }
    for (;;) {
      if (token_.type == Token::Type::Comma || token_.type == Token::Type::Close) {
        auto missing = std::make_unique<Node>();
        missing->kind = Node::Kind::Missing;
        node->children.push_back(std::move(missing));
      } else {
        node->children.push_back(Comparison());
      }
      if (token_.type == Token::Type::Comma) {
        Advance();
        continue;
      }
      if (token_.type == Token::Type::Close) break;
      throw FormulaUnreadable{"the arguments of " + node->name + " are not closed"};
    }
    Advance();
    unionAllowed_ = saved;
    if (node->children.size() > 255) throw FormulaUnreadable{"a function in it has too many arguments"};
    return node;
  }

  NodePtr ArrayConstant() {
    Advance();
    std::vector<std::vector<Value>> rows(1);
    for (;;) {
      bool negative = false;
      while (IsOp("-") || IsOp("+")) {
        if (IsOp("-")) negative = !negative;
        Advance();
      }
      Value v;
      if (token_.type == Token::Type::Number) v = Value::Number(negative ? -token_.number : token_.number);
      else if (token_.type == Token::Type::Text && !negative) v = Value::Text(token_.text);
      else if (token_.type == Token::Type::Boolean && !negative) v = Value::Boolean(token_.number != 0);
      else if (token_.type == Token::Type::Error && !negative) v = Value::Error(token_.error);
      else throw FormulaUnreadable{"an array constant in it holds what is not a constant"};
      rows.back().push_back(std::move(v));
      Advance();
      if (token_.type == Token::Type::Comma) {
        Advance();
      } else if (token_.type == Token::Type::Semicolon) {
        Advance();
        rows.emplace_back();
      } else if (token_.type == Token::Type::BraceClose) {
        Advance();
        break;
      } else {
        throw FormulaUnreadable{"an array constant in it is not closed"};
      }
    }
    Matrix m(static_cast<int>(rows.size()), static_cast<int>(rows[0].size()));
    for (size_t r = 0; r < rows.size(); ++r) {
      if (rows[r].size() != rows[0].size()) throw FormulaUnreadable{"the rows of an array constant in it differ in length"};
      for (size_t c = 0; c < rows[r].size(); ++c) m.At(static_cast<int>(r), static_cast<int>(c)) = rows[r][c];
    }
    auto node = std::make_unique<Node>();
    node->kind = Node::Kind::ArrayConstant;
    node->constant = Value::Array(std::move(m));
    return node;
  }

  Scanner scanner_;
  Token token_;
  bool unionAllowed_ = false;
  int depth_ = 0;
};

// Appends one coordinate of a shape: an offset from the cell when
// relative, the coordinate itself when absolute, each marked and ended so
// that no two shapes read alike.
void AppendCoordinate(std::string& out, char mark, int value, bool absolute, int base) {
  char digits[16];
  digits[0] = absolute ? '$' : mark;
  char* end = std::to_chars(digits + 1, digits + sizeof digits - 1, absolute ? value : value - base).ptr;
  *end++ = '\x03';
  out.append(digits, static_cast<size_t>(end - digits));
}

// The shape of the formula (see FormulaShape) and the reference parts it
// found, as the scanner would find them; false when it has none.
bool ShapeOf(std::string_view s, int row, int column, std::string& shape, std::vector<Part>* parts) {
  shape.clear();
  shape.reserve(s.size() + 8);
  bool tokenStart = true;
  size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (c >= '\x01' && c <= '\x03') return false;  // the shape's own marks
    if (c == '[') return false;                       // not read by the parser
    if (c == '"' || c == '\'') {
      // A text or a quoted sheet name, copied as it stands.
      const size_t start = i;
      if (!ReadQuoted(s, i, nullptr)) return false;
      shape.append(s.substr(start, i - start));
      tokenStart = true;
      continue;
    }
    const bool word = IsNameChar(c) || c == '$';
    if (tokenStart && word) {
      Part first, second;
      if (ReferenceParts(s, i, first, second)) {
        for (const Part* part : {&first, &second}) {
          if (part->kind == 0) continue;
          if (part != &first) shape += ':';
          if (part->kind != 3) AppendCoordinate(shape, '\x01', part->column, part->absColumn, column);
          if (part->kind != 2) AppendCoordinate(shape, '\x02', part->row, part->absRow, row);
          if (parts) parts->push_back(*part);
        }
        i = second.kind ? second.end : first.end;
        tokenStart = false;
        continue;
      }
      const size_t start = i;
      while (i < s.size() && (IsNameChar(s[i]) || s[i] == '$')) ++i;
      shape.append(s.substr(start, i - start));
      tokenStart = false;
      continue;
    }
    shape += c;
    tokenStart = !word;
    ++i;
  }
  return true;
}

std::string_view Body(std::string_view formula) {
  if (!formula.empty() && formula[0] == '=') formula.remove_prefix(1);
  return formula;
}

}  // namespace

NodePtr ParseA1Formula(std::string_view formula) {
  Parser parser(Body(formula), nullptr);
  return parser.Formula();
}

ShapedFormula ParseA1FormulaAt(std::string_view formula, int row, int column) {
  const std::string_view body = Body(formula);
  Anchor anchor{row, column, {}};
  Parser parser(body, &anchor);
  ShapedFormula out;
  out.tree = parser.Formula();
  // The tree serves its shape when the shape's scan found the very
  // references the parser read, where it read them.
  std::string shape;
  std::vector<Part> parts;
  out.shareable = ShapeOf(body, row, column, shape, &parts) && parts == anchor.parts;
  return out;
}

bool FormulaShape(std::string_view formula, int row, int column, std::string& shape) {
  return ShapeOf(Body(formula), row, column, shape, nullptr);
}

namespace {

// The sheet before "." at at ("Sheet2." or "$'My Sheet'."), at moved past
// the "."; false when none stands there.
bool SheetBeforeDot(std::string_view text, size_t& at, std::string& sheet) {
  size_t i = at;
  if (i < text.size() && text[i] == '$') ++i;
  sheet.clear();
  if (i < text.size() && text[i] == '\'') {
    if (!ReadQuoted(text, i, &sheet)) return false;
  } else {
    while (i < text.size() && text[i] != '.' && text[i] != ':' && text[i] != '!' && text[i] != '\'') sheet += text[i++];
  }
  if (sheet.empty() || i >= text.size() || text[i] != '.') return false;
  at = i + 1;
  return true;
}

bool SameSheetName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if ((a[i] >= 'a' && a[i] <= 'z' ? a[i] - 32 : a[i]) != (b[i] >= 'a' && b[i] <= 'z' ? b[i] - 32 : b[i])) return false;
  return true;
}

}  // namespace

std::optional<std::string> SheetDotReferenceToA1(std::string_view text) {
  size_t at = 0;
  std::string sheet;
  if (!SheetBeforeDot(text, at, sheet)) return std::nullopt;
  std::string rest(text.substr(at));
  // The far corner may name the sheet again ("Sheet2.A1:Sheet2.B2").
  if (const size_t colon = rest.find(':'); colon != std::string::npos && rest.find('.', colon) != std::string::npos) {
    size_t second = colon + 1;
    std::string other;
    if (!SheetBeforeDot(rest, second, other)) return std::nullopt;
    if (!SameSheetName(sheet, other)) throw FormulaUnreadable{"it spans sheets"};
    rest.erase(colon + 1, second - colon - 1);
  }
  if (rest.empty() || rest.find_first_of(".!'") != std::string::npos) return std::nullopt;
  std::string out = "'";
  for (char c : sheet) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'!" + rest;
}

}  // namespace host::calc
