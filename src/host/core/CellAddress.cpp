#include "host/core/CellAddress.h"

#include <algorithm>

namespace host {

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads letters at text[pos...] into a column number; false when none or too many.
bool ReadColumn(std::string_view text, size_t& pos, int& column) {
  size_t start = pos;
  int value = 0;
  while (pos < text.size() && IsLetter(text[pos])) {
    if (pos - start >= 3) return false;
    value = value * 26 + ((text[pos] | 0x20) - 'a' + 1);
    ++pos;
  }
  if (pos == start || value > kMaxColumns) return false;
  column = value;
  return true;
}

// Reads digits at text[pos...] into a row number of at most lastRow.
bool ReadRow(std::string_view text, size_t& pos, int& row, int lastRow = kMaxRows) {
  size_t start = pos;
  long long value = 0;
  while (pos < text.size() && IsDigit(text[pos])) {
    if (pos - start >= 10) return false;
    value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  if (pos == start || value < 1 || value > lastRow || text[start] == '0') return false;
  row = static_cast<int>(value);
  return true;
}

}  // namespace

std::string ColumnLetters(int column) {
  std::string out;
  AppendColumnLetters(out, column);
  return out;
}

void AppendColumnLetters(std::string& out, int column) {
  char buffer[8];
  int n = 0;
  while (column > 0 && n < 8) {
    int rem = (column - 1) % 26;
    buffer[n++] = static_cast<char>('A' + rem);
    column = (column - 1) / 26;
  }
  while (n > 0) out.push_back(buffer[--n]);
}

bool ParsePlainCellReference(std::string_view text, int& row, int& column) {
  size_t pos = 0;
  if (!ReadColumn(text, pos, column)) return false;
  if (!ReadRow(text, pos, row)) return false;
  return pos == text.size();
}

namespace {

bool ParseCellReferenceWithin(std::string_view text, int lastRow, int& row, int& column) {
  size_t pos = 0;
  if (pos < text.size() && text[pos] == '$') ++pos;
  if (!ReadColumn(text, pos, column)) return false;
  if (pos < text.size() && text[pos] == '$') ++pos;
  if (!ReadRow(text, pos, row, lastRow)) return false;
  return pos == text.size();
}

}  // namespace

bool ParseCellReference(std::string_view text, int& row, int& column) {
  return ParseCellReferenceWithin(text, kMaxRows, row, column);
}

bool ParseAreaReference(std::string_view text, CellArea& area, int lastRow) {
  size_t colon = text.find(':');
  std::string_view first = text.substr(0, colon);
  std::string_view second = colon == std::string_view::npos ? first : text.substr(colon + 1);
  if (first.empty() || second.empty()) return false;
  int r1 = 0, c1 = 0, r2 = 0, c2 = 0;
  if (ParseCellReferenceWithin(first, lastRow, r1, c1) && ParseCellReferenceWithin(second, lastRow, r2, c2)) {
  } else if (colon != std::string_view::npos) {
    // Whole columns ("C:E") or whole rows ("3:7").
    auto strip = [](std::string_view s) { return !s.empty() && s[0] == '$' ? s.substr(1) : s; };
    std::string_view a = strip(first), b = strip(second);
    size_t pa = 0, pb = 0;
    if (ReadColumn(a, pa, c1) && pa == a.size() && ReadColumn(b, pb, c2) && pb == b.size()) {
      r1 = 1;
      r2 = lastRow;
    } else if (pa = 0, pb = 0, ReadRow(a, pa, r1, lastRow) && pa == a.size() && ReadRow(b, pb, r2, lastRow) &&
               pb == b.size()) {
      c1 = 1;
      c2 = kMaxColumns;
    } else {
      return false;
    }
  } else {
    return false;
  }
  area.firstRow = std::min(r1, r2);
  area.lastRow = std::max(r1, r2);
  area.firstColumn = std::min(c1, c2);
  area.lastColumn = std::max(c1, c2);
  return true;
}

namespace {

std::string AreaAddress(const CellArea& area, bool absolute) {
  auto corner = [absolute](std::string& out, int row, int column) {
    if (absolute) out.push_back('$');
    AppendColumnLetters(out, column);
    if (absolute) out.push_back('$');
    out += std::to_string(row);
  };
  std::string out;
  corner(out, area.firstRow, area.firstColumn);
  if (area.lastRow != area.firstRow || area.lastColumn != area.firstColumn) {
    out.push_back(':');
    corner(out, area.lastRow, area.lastColumn);
  }
  return out;
}

}  // namespace

std::string GridExtent(const CellArea& grid) {
  return AreaAddress(CellArea{grid.firstRow, grid.firstColumn, grid.firstRow, grid.firstColumn}, false) + " to " +
         AreaAddress(CellArea{grid.lastRow, grid.lastColumn, grid.lastRow, grid.lastColumn}, false);
}

std::string AbsoluteAddress(const CellArea& area) { return AreaAddress(area, true); }

std::string PlainAddress(const CellArea& area) { return AreaAddress(area, false); }

}  // namespace host
