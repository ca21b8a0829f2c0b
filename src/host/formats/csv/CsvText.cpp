#include "host/formats/csv/CsvText.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace host::csv {

namespace {

// Length of the well-formed UTF-8 sequence at s[i], or 0.
size_t SequenceLength(std::string_view s, size_t i) {
  auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
  unsigned char c = b(0);
  if (c < 0x80) return 1;
  size_t n = c >= 0xC2 && c <= 0xDF ? 2 : (c >= 0xE0 && c <= 0xEF ? 3 : (c >= 0xF0 && c <= 0xF4 ? 4 : 0));
  if (n == 0 || i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k)
    if ((b(k) & 0xC0) != 0x80) return 0;
  // No overlong forms, surrogates or code points past U+10FFFF.
  if (c == 0xE0 && b(1) < 0xA0) return 0;
  if (c == 0xED && b(1) > 0x9F) return 0;
  if (c == 0xF0 && b(1) < 0x90) return 0;
  if (c == 0xF4 && b(1) > 0x8F) return 0;
  return n;
}

// Windows-1252 code points of the bytes 0x80..0x9F; the five unassigned bytes
// keep their own value.
constexpr std::array<uint16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendCodePoint(uint32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendUnit(uint32_t unit, bool bigEndian, std::string& out) {
  const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
  out += bigEndian ? high : low;
  out += bigEndian ? low : high;
}

}  // namespace

bool IsValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    // Eight ASCII bytes at a time: most of a text file.
    uint64_t eight;
    if (i + 8 <= s.size() && (std::memcpy(&eight, s.data() + i, 8), (eight & 0x8080808080808080ull) == 0)) {
      i += 8;
      continue;
    }
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    size_t n = SequenceLength(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

void AppendAsUtf8(std::string_view s, bool utf8, std::string& out) {
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (utf8 ? SequenceLength(s, i) : 0);
    if (n > 0) {
      out.append(s, i, n);
      i += n;
      continue;
    }
    AppendCodePoint(c >= 0x80 && c <= 0x9F ? kHigh[c - 0x80] : c, out);
    ++i;
  }
}

bool Utf16ToUtf8(std::string_view units, bool bigEndian, std::string& out) {
  if (units.size() % 2 != 0) return false;
  out.reserve(out.size() + units.size() / 2 * 3 / 2);
  auto unitAt = [&](size_t i) {
    const auto a = static_cast<unsigned char>(units[i]), b = static_cast<unsigned char>(units[i + 1]);
    return bigEndian ? static_cast<uint32_t>(a << 8 | b) : static_cast<uint32_t>(b << 8 | a);
  };
  for (size_t i = 0; i < units.size(); i += 2) {
    uint32_t unit = unitAt(i);
    if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 2 >= units.size()) return false;
      const uint32_t low = unitAt(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) return false;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    AppendCodePoint(unit, out);
  }
  return true;
}

void AppendAsUtf16(std::string_view utf8, bool bigEndian, std::string& out) {
  for (size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const size_t n = c < 0x80 ? 1 : SequenceLength(utf8, i);
    uint32_t cp = c;
    if (n == 2) cp = (c & 0x1F) << 6;
    if (n == 3) cp = (c & 0x0F) << 12;
    if (n == 4) cp = (c & 0x07) << 18;
    for (size_t k = 1; k < n; ++k)
      cp |= static_cast<uint32_t>(static_cast<unsigned char>(utf8[i + k]) & 0x3F) << (6 * (n - 1 - k));
    if (cp >= 0x10000) {
      AppendUnit(0xD800 + ((cp - 0x10000) >> 10), bigEndian, out);
      AppendUnit(0xDC00 + ((cp - 0x10000) & 0x3FF), bigEndian, out);
    } else {
      AppendUnit(cp, bigEndian, out);
    }
    i += n == 0 ? 1 : n;
  }
}

}  // namespace host::csv
