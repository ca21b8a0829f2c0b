#include "host/formats/ooxml/XmlEncoding.h"

#include "host/io/XmlScanner.h"

namespace host::ooxml {

namespace {

// Makes the declaration's encoding="..." say UTF-8.
void DeclareUtf8(std::string& xml) {
  if (xml.compare(0, 5, "<?xml") != 0) return;
  size_t end = xml.find("?>");
  size_t at = xml.find("encoding", 5);
  if (end == std::string::npos || at == std::string::npos || at > end) return;
  size_t open = xml.find_first_of("\"'", at);
  if (open == std::string::npos || open > end) return;
  size_t close = xml.find(xml[open], open + 1);
  if (close == std::string::npos || close > end) return;
  xml.replace(open + 1, close - open - 1, "UTF-8");
}

}  // namespace

bool IsUtf16(std::string_view bytes) {
  return bytes.size() >= 2 && ((static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) ||
                               (static_cast<unsigned char>(bytes[0]) == 0xFE && static_cast<unsigned char>(bytes[1]) == 0xFF));
}

std::string Utf16ToUtf8(std::string_view bytes) {
  const bool little = static_cast<unsigned char>(bytes[0]) == 0xFF;
  if (bytes.size() % 2 != 0) throw XmlFault{"the UTF-16 text has an odd number of bytes"};
  auto unit = [&](size_t i) {
    unsigned a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    return little ? (b << 8) | a : (a << 8) | b;
  };
  std::string out;
  out.reserve(bytes.size() / 2 + bytes.size() / 8);
  for (size_t i = 2; i < bytes.size(); i += 2) {
    uint32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 2 >= bytes.size()) throw XmlFault{"malformed UTF-16 at byte " + std::to_string(i)};
      uint32_t low = unit(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) throw XmlFault{"malformed UTF-16 at byte " + std::to_string(i)};
      u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      throw XmlFault{"malformed UTF-16 at byte " + std::to_string(i)};
    }
    AppendUtf8(out, u);
  }
  DeclareUtf8(out);
  return out;
}

}  // namespace host::ooxml
