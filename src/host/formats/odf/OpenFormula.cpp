#include "host/formats/odf/OpenFormula.h"

#include <array>

#include "host/core/Characters.h"
#include "host/formats/odf/OdsFormula.h"

namespace host::odf {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsNameStart(char c) { return IsAsciiLetter(c) || c == '_' || c == '\\' || static_cast<unsigned char>(c) >= 0x80; }
bool IsNameChar(char c) { return IsNameStart(c) || IsAsciiDigit(c) || c == '.'; }

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

// The error literals both grammars write alike.
constexpr std::array<std::string_view, 7> kErrors = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A"};

// OpenDocument functions whose results differ from the reference program's
// functions of the same name: plain CEILING and FLOOR round negative numbers
// toward zero where the reference program's round away (spreadsheet
// programs write the reference program's as COM.MICROSOFT.CEILING).
constexpr std::array<std::string_view, 2> kMeaningDiffers = {"CEILING", "FLOOR"};

// One side of a bracketed reference: an optional sheet, then ".", then a
// cell ("$A$1"), a column ("A") or a row ("1"); or #REF! in either place.
struct Part {
  bool hasSheet = false;
  std::string sheet;
  std::string address;     // as written, "$" kept
  int kind = 0;            // 1 cell, 2 column, 3 row
  bool refError = false;
};

// Reads the part at s[i..]; i ends on the ':' after it or at the end.
bool ReadPart(std::string_view s, size_t& i, Part& part) {
  if (i < s.size() && s[i] == '$') ++i;  // an absolute sheet: no matter for a value
  if (i < s.size() && s[i] == '\'') {
    ++i;
    for (;;) {
      if (i >= s.size()) return false;
      if (s[i] == '\'') {
        if (i + 1 < s.size() && s[i + 1] == '\'') {
          part.sheet += '\'';
          i += 2;
          continue;
        }
        ++i;
        break;
      }
      part.sheet += s[i++];
    }
    part.hasSheet = true;
    if (i >= s.size() || s[i] != '.') return false;
  } else if (i < s.size() && s[i] != '.') {
    const size_t start = i;
    while (i < s.size() && s[i] != '.' && s[i] != ':') ++i;
    part.sheet = std::string(s.substr(start, i - start));
    part.hasSheet = true;
    if (part.sheet.find("#REF!") != std::string::npos) part.refError = true;
    else if (part.sheet.find_first_of(" #$'[]") != std::string::npos) return false;
    if (i >= s.size() || s[i] != '.') return part.refError && (i >= s.size() || s[i] == ':');
  }
  if (i >= s.size() || s[i] != '.') return false;
  ++i;
  if (s.substr(i, 5) == "#REF!") {
    part.refError = true;
    i += 5;
    return i >= s.size() || s[i] == ':';
  }
  const size_t start = i, n = s.size();
  size_t p = i;
  if (p < n && s[p] == '$') ++p;
  const size_t letters = p;
  while (p < n && IsAsciiLetter(s[p])) ++p;
  const size_t letterCount = p - letters;
  if (letterCount == 0) p = start;  // no column: a "$" is the row's
  size_t r = p;
  if (r < n && s[r] == '$') ++r;
  const size_t digits = r;
  while (r < n && IsAsciiDigit(s[r])) ++r;
  const size_t digitCount = r - digits;
  if (letterCount > 0 && digitCount > 0) {
    part.kind = 1;
  } else if (letterCount > 0) {
    part.kind = 2;
    r = p;
  } else if (digitCount > 0) {
    part.kind = 3;
  } else {
    return false;
  }
  if (letterCount > 3 || digitCount > 7) return false;
  i = r;
  part.address = Upper(s.substr(start, i - start));
  return i >= s.size() || s[i] == ':';
}

std::string QuotedSheet(std::string_view first, std::string_view last) {
  std::string out = "'";
  auto add = [&out](std::string_view name) {
    for (char c : name) {
      out += c;
      if (c == '\'') out += '\'';
    }
  };
  add(first);
  if (!last.empty()) {
    out += ':';
    add(last);
  }
  return out + "'!";
}

// The A1 form of a bracketed reference's content ("$Sheet1.A1:.B2").
bool Reference(std::string_view inner, std::string& out) {
  // Another document's cells: "'file:///other.ods'#$Sheet1.A1".
  if (!inner.empty() && inner.front() == '\'') {
    size_t close = 1;
    while (close < inner.size()) {
      if (inner[close] == '\'' && close + 1 < inner.size() && inner[close + 1] == '\'') close += 2;
      else if (inner[close] == '\'') break;
      else ++close;
    }
    if (close + 1 < inner.size() && inner[close + 1] == '#') return false;
  }
  size_t i = 0;
  Part first, second;
  if (!ReadPart(inner, i, first)) return false;
  const bool range = i < inner.size();
  if (range) {
    ++i;  // ':'
    if (!ReadPart(inner, i, second) || i != inner.size()) return false;
  }
  if (first.refError || second.refError) {
    out += "#REF!";
    return true;
  }
  if (range ? second.kind != first.kind : first.kind != 1) return false;
  if (second.hasSheet && !first.hasSheet) return false;
  if (first.hasSheet)
    out += QuotedSheet(first.sheet, second.hasSheet && second.sheet != first.sheet ? second.sheet : "");
  out += first.address;
  if (range) out += ":" + second.address;
  return true;
}

// The function name as the engine knows it; empty when it has no A1 form.
std::string FunctionName(std::string_view written) {
  std::string name = Upper(written);
  constexpr std::string_view kPrefix = "COM.MICROSOFT.";
  if (name.compare(0, kPrefix.size(), kPrefix) == 0) return name.substr(kPrefix.size());
  for (std::string_view differs : kMeaningDiffers)
    if (name == differs) return {};
  return name;
}

// The body of an OpenDocument formula in A1 syntax.
std::optional<std::string> Translate(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  bool inArray = false;
  for (size_t i = 0; i < s.size();) {
    const char c = s[i];
    if (IsSpace(c)) {
      ++i;
      continue;
    }
    if (c == '"') {  // a text, "" standing for a quote: the same in both
      size_t end = i + 1;
      for (;; ++end) {
        if (end >= s.size()) return std::nullopt;
        if (s[end] != '"') continue;
        if (end + 1 < s.size() && s[end + 1] == '"') {
          ++end;
          continue;
        }
        break;
      }
      out.append(s.substr(i, end + 1 - i));
      i = end + 1;
      continue;
    }
    if (c == '[') {
      size_t end = i + 1;
      bool quoted = false;
      for (; end < s.size(); ++end) {
        if (s[end] == '\'') quoted = !quoted;
        else if (!quoted && s[end] == ']') break;
      }
      if (end >= s.size() || !Reference(s.substr(i + 1, end - i - 1), out)) return std::nullopt;
      i = end + 1;
      continue;
    }
    if (c == '#') {
      bool known = false;
      for (std::string_view error : kErrors)
        if (Upper(s.substr(i, error.size())) == error) {
          out.append(error);
          i += error.size();
          known = true;
          break;
        }
      if (!known) return std::nullopt;
      continue;
    }
    if (IsNameStart(c)) {
      size_t end = i;
      while (end < s.size() && IsNameChar(s[end])) ++end;
      size_t look = end;
      while (look < s.size() && IsSpace(s[look])) ++look;
      if (look < s.size() && s[look] == '(') {
        std::string name = FunctionName(s.substr(i, end - i));
        if (name.empty()) return std::nullopt;
        out += name;
        i = look;
      } else {
        out.append(s.substr(i, end - i));  // a named expression
        i = end;
      }
      continue;
    }
    if (IsAsciiDigit(c) || c == '.') {
      size_t end = i;
      while (end < s.size() && (IsAsciiDigit(s[end]) || s[end] == '.')) ++end;
      if (end < s.size() && (s[end] == 'e' || s[end] == 'E')) {
        size_t at = end + 1;
        if (at < s.size() && (s[at] == '+' || s[at] == '-')) ++at;
        if (at < s.size() && IsAsciiDigit(s[at])) {
          end = at;
          while (end < s.size() && IsAsciiDigit(s[end])) ++end;
        }
      }
      out.append(s.substr(i, end - i));
      i = end;
      continue;
    }
    switch (c) {
      case ';': out += ','; break;  // arguments; an array's columns
      case '|':
        if (!inArray) return std::nullopt;
        out += ';';  // an array's rows
        break;
      case '{':
        if (inArray) return std::nullopt;
        inArray = true;
        out += c;
        break;
      case '}':
        if (!inArray) return std::nullopt;
        inArray = false;
        out += c;
        break;
      case '!': out += ' '; break;  // intersection
      case '+': case '-': case '*': case '/': case '^': case '&': case '=': case '<': case '>':
      case '%': case ':': case '(': case ')': case '~':
        out += c;
        break;
      default:
        return std::nullopt;  // "," and "'" have no meaning here
    }
    ++i;
  }
  if (inArray || out.empty()) return std::nullopt;
  return out;
}

}  // namespace

std::optional<std::string> OpenFormulaToA1(std::string_view formula) {
  const std::string_view body = FormulaBody(formula);
  const std::string_view space = formula.substr(0, formula.size() - body.size());
  if (space.substr(0, 6) == "msoxl:") return body.empty() ? std::nullopt : std::optional<std::string>(body);
  // OpenFormula, its forerunner "oooc:" (the same references and
  // separators), or no namespace (the default is OpenFormula).
  if (!(space.empty() || space == "=" || space.substr(0, 3) == "of:" || space.substr(0, 5) == "oooc:"))
    return std::nullopt;
  return Translate(body);
}

}  // namespace host::odf
