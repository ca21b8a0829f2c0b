#include "host/formats/odf/OdsFormula.h"
#include "host/core/Characters.h"

#include <cctype>
#include <charconv>

#include "host/core/CellAddress.h"
#include "host/core/FormulaShift.h"

namespace host::odf {

namespace {

// Shifts the address after a sheet locator's '.': "$A$1", "A1", "A", "1".
// False when the row leaves the sheet.
bool ShiftAddress(std::string_view address, int rowDelta, std::string& out) {
  size_t i = 0;
  if (i < address.size() && address[i] == '$' && i + 1 < address.size() && IsAsciiLetter(address[i + 1])) ++i;
  while (i < address.size() && IsAsciiLetter(address[i])) ++i;
  size_t rowStart = i;
  bool absolute = i < address.size() && address[i] == '$';
  size_t digits = absolute ? i + 1 : i;
  size_t end = digits;
  while (end < address.size() && IsAsciiDigit(address[end])) ++end;
  if (end != address.size() || end == digits || absolute || rowDelta == 0) {
    out.append(address);  // no relative row, or not an address we know: as written
    return true;
  }
  long row = 0;
  auto [ptr, ec] = std::from_chars(address.data() + digits, address.data() + end, row);
  if (ec != std::errc() || ptr != address.data() + end) {
    out.append(address);
    return true;
  }
  row += rowDelta;
  if (row < 1 || row > kMaxRows) return false;
  out.append(address.substr(0, rowStart));
  out += std::to_string(row);
  return true;
}

// The content of one bracketed reference ("$Sheet2.A1:.B$3") with each
// part's address (after the part's last '.' outside quotes) given to
// address, which appends its form; false when address refuses one.
template <typename AddressFn>
bool MapAddresses(std::string_view inner, std::string& out, AddressFn&& address) {
  size_t i = 0;
  while (i <= inner.size()) {
    size_t partStart = i, lastDot = std::string_view::npos;
    bool quoted = false;
    for (; i < inner.size(); ++i) {
      char c = inner[i];
      if (c == '\'') quoted = !quoted;  // '' inside a name toggles twice
      else if (!quoted && c == '.') lastDot = i;
      else if (!quoted && c == ':') break;
    }
    std::string_view part = inner.substr(partStart, i - partStart);
    if (lastDot == std::string_view::npos) {
      out.append(part);
    } else {
      size_t dot = lastDot - partStart;
      out.append(part.substr(0, dot + 1));
      if (!address(part.substr(dot + 1), out)) return false;
    }
    if (i >= inner.size()) break;
    out += ':';
    ++i;
  }
  return true;
}

// The body with each bracketed reference's content given to reference,
// which appends its form ("[" and "]" are the caller's); text literals and
// the rest as written. False when reference refuses one.
template <typename ReferenceFn>
bool MapReferences(std::string_view body, std::string& out, ReferenceFn&& reference) {
  for (size_t i = 0; i < body.size();) {
    char c = body[i];
    if (c == '"') {  // a text literal, "" for a quote inside
      size_t end = i + 1;
      while (end < body.size()) {
        if (body[end] == '"') {
          if (end + 1 < body.size() && body[end + 1] == '"') {
            end += 2;
            continue;
          }
          break;
        }
        ++end;
      }
      end = end < body.size() ? end + 1 : end;
      out.append(body.substr(i, end - i));
      i = end;
      continue;
    }
    if (c != '[') {  // up to the next text or reference, in one piece
      size_t end = i + 1;
      while (end < body.size() && body[end] != '"' && body[end] != '[') ++end;
      out.append(body.substr(i, end - i));
      i = end;
      continue;
    }
    size_t end = i + 1;
    bool quoted = false;
    for (; end < body.size(); ++end) {
      if (body[end] == '\'') quoted = !quoted;
      else if (!quoted && body[end] == ']') break;
    }
    if (end >= body.size()) {  // unclosed: the rest as written
      out.append(body.substr(i));
      break;
    }
    if (!reference(body.substr(i + 1, end - i - 1), out)) return false;
    i = end + 1;
  }
  return true;
}

// A cell address's coordinate as an offset from the cell's ("\x01-1\x03"),
// or as written when absolute ("$A", "$3").
void AppendOffset(std::string& out, char mark, std::string_view written, bool absolute, int value, int base) {
  if (absolute) {
    out.append(written);
    return;
  }
  char digits[16];
  digits[0] = mark;
  char* end = std::to_chars(digits + 1, digits + sizeof digits - 1, value - base).ptr;
  *end++ = '\x03';
  out.append(digits, static_cast<size_t>(end - digits));
}

}  // namespace

std::string_view FormulaBody(std::string_view formula) {
  size_t eq = formula.find('=');
  size_t colon = formula.find(':');
  if (colon != std::string_view::npos && (eq == std::string_view::npos || colon < eq)) {
    bool prefix = colon > 0;
    for (size_t k = 0; k < colon; ++k)
      if (!IsAsciiLetter(formula[k])) prefix = false;
    if (prefix) formula.remove_prefix(colon + 1);
  }
  if (!formula.empty() && formula.front() == '=') formula.remove_prefix(1);
  return formula;
}

std::string ShiftOdsFormula(std::string_view formula, int rowDelta) {
  if (rowDelta == 0) return std::string(formula);
  std::string_view body = FormulaBody(formula);
  std::string out(formula.substr(0, formula.size() - body.size()));
  if (formula.substr(0, 6) == "msoxl:") return out + ShiftFormula(body, rowDelta, 0);
  MapReferences(body, out, [&](std::string_view inner, std::string& to) {
    std::string reference;
    if (MapAddresses(inner, reference, [&](std::string_view address, std::string& o) { return ShiftAddress(address, rowDelta, o); }))
      to += "[" + reference + "]";
    else
      to += "#REF!";
    return true;
  });
  return out;
}

bool OdsFormulaShape(std::string_view formula, int row, int column, std::string& shape) {
  shape.clear();
  if (formula.substr(0, 6) == "msoxl:") return false;
  for (char c : formula)
    if (c >= '\x01' && c <= '\x03') return false;  // the shape's own marks
  shape.reserve(formula.size() + 8);
  return MapReferences(formula, shape, [&](std::string_view inner, std::string& to) {
    to += '[';
    const bool mapped = MapAddresses(inner, to, [&](std::string_view address, std::string& o) {
      // A cell's address only ("A1", "$A$1"); a whole column or row, or an
      // error, leaves the formula without a shape.
      const bool absColumn = !address.empty() && address[0] == '$';
      size_t i = absColumn ? 1 : 0;
      int c = 0;
      for (; i < address.size() && address[i] >= 'A' && address[i] <= 'Z' && c <= kMaxColumns; ++i)
        c = c * 26 + (address[i] - 'A' + 1);
      const size_t rowStart = i;
      const bool absRow = i < address.size() && address[i] == '$';
      if (absRow) ++i;
      const size_t digits = i;
      int r = 0;
      for (; i < address.size() && IsAsciiDigit(address[i]) && r <= kMaxRows; ++i) r = r * 10 + (address[i] - '0');
      if (i != address.size() || c < 1 || c > kMaxColumns || i == digits || r < 1 || r > kMaxRows) return false;
      AppendOffset(o, '\x01', address.substr(0, rowStart), absColumn, c, column);
      AppendOffset(o, '\x02', address.substr(rowStart), absRow, r, row);
      return true;
    });
    to += ']';
    return mapped;
  });
}

}  // namespace host::odf
