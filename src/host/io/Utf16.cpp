#include "host/io/Utf16.h"

#include "host/io/LittleEndian.h"

namespace host::io {

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | c >> 6));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | c >> 12));
    out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | c >> 18));
    out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

namespace {

void AppendUnit(std::string& out, uint16_t unit, uint16_t& pending) {
  constexpr uint32_t kReplacement = 0xFFFD;
  bool high = unit >= 0xD800 && unit < 0xDC00;
  bool low = unit >= 0xDC00 && unit < 0xE000;
  if (pending) {
    if (low) {
      AppendUtf8(out, 0x10000 + ((pending - 0xD800u) << 10) + (unit - 0xDC00u));
      pending = 0;
      return;
    }
    AppendUtf8(out, kReplacement);
    pending = 0;
  }
  if (high)
    pending = unit;
  else
    AppendUtf8(out, low ? kReplacement : unit);
}

}  // namespace

void AppendUnits(std::string& out, std::string_view bytes, bool wide, uint16_t& pending) {
  if (!wide) {
    for (char byte : bytes) AppendUnit(out, static_cast<uint8_t>(byte), pending);
    return;
  }
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) AppendUnit(out, U16(bytes, i), pending);
}

void FinishUnits(std::string& out, uint16_t& pending) {
  if (pending) AppendUtf8(out, 0xFFFD);
  pending = 0;
}

std::string Utf16ToUtf8(std::string_view bytes) {
  std::string out;
  uint16_t pending = 0;
  AppendUnits(out, bytes, true, pending);
  FinishUnits(out, pending);
  return out;
}

std::string Utf8ToUtf16(std::string_view text) {
  std::string units;
  units.reserve(text.size() * 2);
  for (size_t i = 0; i < text.size();) {
    // UTF-8 to code points, then to UTF-16 units.
    const auto c = static_cast<unsigned char>(text[i]);
    uint32_t cp = c;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra) cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < text.size(); ++k) cp = cp << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    i += 1 + extra;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      Append(units, 0xD800 + (cp >> 10), 2);
      Append(units, 0xDC00 + (cp & 0x3FF), 2);
    } else {
      Append(units, cp, 2);
    }
  }
  return units;
}

}  // namespace host::io
