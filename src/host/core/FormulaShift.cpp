#include "host/core/FormulaShift.h"
#include "host/core/Characters.h"

#include "host/core/CellAddress.h"

#include <string>

namespace host {

namespace {

constexpr long long kMaxRow = kMaxRows;
constexpr long long kMaxColumn = 16384;  // XFD
const char* const kRefError = "#REF!";


// Characters that may continue a name, a function or a reference.
bool IsNameChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '_' || c == '.' || c == '\\' || c == '?' || c == '$' || u >= 0x80;
}

bool IsNameStart(char c) {
    const auto u = static_cast<unsigned char>(c);
    return IsAsciiLetter(c) || c == '_' || c == '\\' || c == '$' || u >= 0x80;
}

// One coordinate of a reference as written: "$C", "C", "$12", "12".
struct Coord {
    std::string_view text;  // as written, "$" included
    bool absolute = false;
    long long value = 0;
};

// Letters (1-3) as a column number, or 0 when not a column.
long long ColumnNumber(std::string_view letters) {
    if (letters.empty() || letters.size() > 3) return 0;
    long long n = 0;
    for (char c : letters) {
        if (!IsAsciiLetter(c)) return 0;
        n = n * 26 + ((c | 0x20) - 'a' + 1);
    }
    return n <= kMaxColumn ? n : 0;
}

// Reads "$?letters" from the start of s; returns the characters used (0 if none).
size_t ReadColumn(std::string_view s, Coord& c) {
    size_t i = 0;
    c.absolute = i < s.size() && s[i] == '$';
    if (c.absolute) ++i;
    const size_t start = i;
    while (i < s.size() && IsAsciiLetter(s[i]) && i - start < 4) ++i;
    c.value = ColumnNumber(s.substr(start, i - start));
    if (c.value == 0) return 0;
    c.text = s.substr(0, i);
    return i;
}

// Reads "$?digits" from the start of s; returns the characters used (0 if none).
size_t ReadRow(std::string_view s, Coord& c) {
    size_t i = 0;
    c.absolute = i < s.size() && s[i] == '$';
    if (c.absolute) ++i;
    const size_t start = i;
    long long v = 0;
    while (i < s.size() && IsAsciiDigit(s[i])) {
        if (v <= kMaxRow) v = v * 10 + (s[i] - '0');
        ++i;
    }
    if (i == start || s[start] == '0' || v > kMaxRow) return 0;
    c.value = v;
    c.text = s.substr(0, i);
    return i;
}

bool ParseCell(std::string_view s, Coord& col, Coord& row) {
    const size_t a = ReadColumn(s, col);
    if (a == 0) return false;
    const size_t b = ReadRow(s.substr(a), row);
    return b > 0 && a + b == s.size();
}

bool ParseColumnOnly(std::string_view s, Coord& col) { return ReadColumn(s, col) == s.size() && !s.empty(); }
bool ParseRowOnly(std::string_view s, Coord& row) { return ReadRow(s, row) == s.size() && !s.empty(); }

// Appends the coordinate moved by delta; false when it leaves the sheet.
bool ShiftColumn(const Coord& c, int delta, std::string& out) {
    if (c.absolute || delta == 0) { out.append(c.text); return true; }
    const long long v = c.value + delta;
    if (v < 1 || v > kMaxColumn) return false;
    AppendColumnLetters(out, static_cast<int>(v));
    return true;
}

bool ShiftRow(const Coord& c, int delta, std::string& out) {
    if (c.absolute || delta == 0) { out.append(c.text); return true; }
    const long long v = c.value + delta;
    if (v < 1 || v > kMaxRow) return false;
    out += std::to_string(v);
    return true;
}

bool ShiftCell(std::string_view s, int rowDelta, int columnDelta, std::string& out) {
    Coord col, row;
    ParseCell(s, col, row);
    return ShiftColumn(col, columnDelta, out) && ShiftRow(row, rowDelta, out);
}

// Copies a bracket group starting at f[i] == '[' (nested brackets included);
// returns the index after it.
size_t CopyBrackets(std::string_view f, size_t i, std::string& out) {
    int depth = 0;
    const size_t start = i;
    for (; i < f.size(); ++i) {
        if (f[i] == '\'' && i + 1 < f.size()) {  // escaped character inside a table reference
            ++i;
            continue;
        }
        if (f[i] == '[') ++depth;
        else if (f[i] == ']' && --depth == 0) { ++i; break; }
    }
    out.append(f.substr(start, i - start));
    return i;
}

size_t NameEnd(std::string_view f, size_t i) {
    while (i < f.size() && IsNameChar(f[i])) ++i;
    return i;
}

}  // namespace

std::string ShiftFormula(std::string_view f, int rowDelta, int columnDelta) {
    std::string out;
    out.reserve(f.size() + 8);
    const size_t n = f.size();
    size_t i = 0;
    while (i < n) {
        const char c = f[i];
        if (c == '"' || c == '\'') {
            // a text literal, or a quoted sheet name; a doubled quote stays inside
            size_t j = i + 1;
            while (j < n) {
                if (f[j] == c) {
                    if (j + 1 < n && f[j + 1] == c) { j += 2; continue; }
                    ++j;
                    break;
                }
                ++j;
            }
            out.append(f.substr(i, j - i));
            i = j;
            continue;
        }
        if (c == '[') {  // external workbook index such as [1]
            i = CopyBrackets(f, i, out);
            continue;
        }
        if (c == '#') {  // error literal: #REF!, #N/A, #DIV/0!, #NAME?
            size_t j = i + 1;
            while (j < n && (IsAsciiLetter(f[j]) || IsAsciiDigit(f[j]) || f[j] == '/' || f[j] == '_')) ++j;
            if (j < n && (f[j] == '!' || f[j] == '?')) ++j;
            out.append(f.substr(i, j - i));
            i = j;
            continue;
        }
        if (IsAsciiDigit(c) || (c == '.' && i + 1 < n && IsAsciiDigit(f[i + 1]))) {
            // a whole-row range 3:5 / 3:$5, else a number such as 1.5 or 1E5
            if (IsAsciiDigit(c)) {
                size_t j = i;
                while (j < n && IsAsciiDigit(f[j])) ++j;
                if (j < n && f[j] == ':') {
                    const size_t k = NameEnd(f, j + 1);
                    Coord r1, r2;
                    const bool call = k < n && f[k] == '(';
                    if (!call && ParseRowOnly(f.substr(i, j - i), r1) && ParseRowOnly(f.substr(j + 1, k - j - 1), r2)) {
                        std::string ref;
                        if (ShiftRow(r1, rowDelta, ref) && (ref += ':', ShiftRow(r2, rowDelta, ref))) out += ref;
                        else out += kRefError;
                        i = k;
                        continue;
                    }
                }
            }
            size_t j = i;
            while (j < n && IsAsciiDigit(f[j])) ++j;
            if (j < n && f[j] == '.') {
                ++j;
                while (j < n && IsAsciiDigit(f[j])) ++j;
            }
            if (j < n && (f[j] == 'E' || f[j] == 'e')) {
                size_t k = j + 1;
                if (k < n && (f[k] == '+' || f[k] == '-')) ++k;
                if (k < n && IsAsciiDigit(f[k])) {
                    while (k < n && IsAsciiDigit(f[k])) ++k;
                    j = k;
                }
            }
            out.append(f.substr(i, j - i));
            i = j;
            continue;
        }
        if (IsNameStart(c)) {
            const size_t j = NameEnd(f, i);
            const std::string_view word = f.substr(i, j - i);
            const char next = j < n ? f[j] : '\0';
            if (next == '(' || next == '!') {  // a function, or a sheet name
                out.append(f.substr(i, j - i + 1));
                i = j + 1;
                continue;
            }
            if (next == '[') {  // a table reference: Table1[Col] stays as written
                out.append(word);
                i = CopyBrackets(f, j, out);
                continue;
            }
            Coord c1, r1, c2, r2;
            if (next == ':') {
                const size_t k = NameEnd(f, j + 1);
                const std::string_view word2 = f.substr(j + 1, k - j - 1);
                const char after = k < n ? f[k] : '\0';
                if (after == '!' || after == '(') {
                    if (ParseCell(word, c1, r1)) {
                        // A1:OFFSET(A1,0,0) or Sheet1!A1:Sheet1!A5: the cell is the
                        // range's first end; the other end follows as written.
                        std::string ref;
                        out += ShiftCell(word, rowDelta, columnDelta, ref) ? ref : std::string(kRefError);
                        out += ':';
                        i = j + 1;
                        continue;
                    }
                    // Sheet1:Sheet3!A1 names sheets, not cells
                    out.append(f.substr(i, k - i));
                    i = k;
                    continue;
                }
                std::string ref;
                bool isRange = true;
                bool ok = true;
                if (ParseCell(word, c1, r1) && ParseCell(word2, c2, r2)) {
                    ok = ShiftCell(word, rowDelta, columnDelta, ref);
                    ref += ':';
                    ok = ok && ShiftCell(word2, rowDelta, columnDelta, ref);
                } else if (ParseColumnOnly(word, c1) && ParseColumnOnly(word2, c2)) {
                    ok = ShiftColumn(c1, columnDelta, ref);
                    ref += ':';
                    ok = ok && ShiftColumn(c2, columnDelta, ref);
                } else if (ParseRowOnly(word, r1) && ParseRowOnly(word2, r2)) {
                    ok = ShiftRow(r1, rowDelta, ref);
                    ref += ':';
                    ok = ok && ShiftRow(r2, rowDelta, ref);
                } else {
                    isRange = false;
                }
                if (isRange) {
                    out += ok ? ref : std::string(kRefError);
                    i = k;
                    continue;
                }
            }
            if (ParseCell(word, c1, r1)) {
                std::string ref;
                out += ShiftCell(word, rowDelta, columnDelta, ref) ? ref : std::string(kRefError);
            } else {
                out.append(word);  // a defined name, TRUE/FALSE, R1C1-looking text
            }
            i = j;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    return out;
}

}  // namespace host
