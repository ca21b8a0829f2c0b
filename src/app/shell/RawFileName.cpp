#include "app/shell/RawFileName.h"

namespace tabulory {

namespace {

constexpr char16_t kRawBase = 0xDC00;

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence at bytes[at] and its code
// point, or 0 when the bytes there are no such sequence (overlong forms,
// surrogates and values past U+10FFFF included).
int SequenceAt(QByteArrayView bytes, qsizetype at, char32_t& code) {
  const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[at + i]); };
  const unsigned char lead = byte(0);
  const qsizetype left = bytes.size() - at;
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  int length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  else if (lead == 0xE0) length = 3, low = 0xA0;
  else if (lead == 0xED) length = 3, high = 0x9F;
  else if (lead >= 0xE1 && lead <= 0xEF) length = 3;
  else if (lead == 0xF0) length = 4, low = 0x90;
  else if (lead == 0xF4) length = 4, high = 0x8F;
  else if (lead >= 0xF1 && lead <= 0xF3) length = 4;
  else return 0;
  if (left < length || byte(1) < low || byte(1) > high) return 0;
  for (int i = 2; i < length; ++i)
    if (!IsContinuation(byte(i))) return 0;
  code = lead & (0xFF >> (length + 1));
  for (int i = 1; i < length; ++i) code = (code << 6) | (byte(i) & 0x3F);
  return length;
}

bool IsRawByte(char16_t unit) { return unit >= kRawBase + 0x80 && unit <= kRawBase + 0xFF; }

}  // namespace

QString FileNameFromBytes(QByteArrayView bytes) {
  QString name;
  name.reserve(bytes.size());
  for (qsizetype at = 0; at < bytes.size();) {
    char32_t code = 0;
    const int length = SequenceAt(bytes, at, code);
    if (length == 0) {
      name.append(QChar(static_cast<char16_t>(kRawBase + static_cast<unsigned char>(bytes[at]))));
      ++at;
      continue;
    }
    name.append(QChar::fromUcs4(code));
    at += length;
  }
  return name;
}

QByteArray FileNameBytes(QStringView name) {
  QByteArray bytes;
  bytes.reserve(name.size());
  qsizetype textStart = 0;  // start of the run of plain text not yet written
  for (qsizetype i = 0; i <= name.size(); ++i) {
    if (i < name.size() && !IsRawByte(name[i].unicode())) continue;
    // A kept byte directly after a high surrogate would be half of a pair,
    // which the decoder never makes; it is text then, not a byte.
    if (i < name.size() && i > 0 && name[i - 1].isHighSurrogate()) continue;
    bytes += name.mid(textStart, i - textStart).toUtf8();
    if (i < name.size()) bytes += static_cast<char>(name[i].unicode() - kRawBase);
    textStart = i + 1;
  }
  return bytes;
}

bool HoldsRawBytes(QStringView name) {
  for (qsizetype i = 0; i < name.size(); ++i)
    if (IsRawByte(name[i].unicode()) && !(i > 0 && name[i - 1].isHighSurrogate())) return true;
  return false;
}

}  // namespace tabulory
