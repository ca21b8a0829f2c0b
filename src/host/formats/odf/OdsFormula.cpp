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

// The content of one bracketed reference ("$Sheet2.A1:.B$3"); false when a
// part leaves the sheet.
bool ShiftReference(std::string_view inner, int rowDelta, std::string& out) {
  size_t i = 0;
  while (i <= inner.size()) {
    // One part up to ':' outside quotes; its address follows the last '.'.
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
      if (!ShiftAddress(part.substr(dot + 1), rowDelta, out)) return false;
    }
    if (i >= inner.size()) break;
    out += ':';
    ++i;
  }
  return true;
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
    if (c != '[') {
      out += c;
      ++i;
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
    std::string reference;
    if (ShiftReference(body.substr(i + 1, end - i - 1), rowDelta, reference))
      out += "[" + reference + "]";
    else
      out += "#REF!";
    i = end + 1;
  }
  return out;
}

}  // namespace host::odf
