#include "host/formats/xlsb/XlsbRecords.h"

#include "host/io/LittleEndian.h"
#include "host/io/Utf16.h"

namespace host::xlsb {

namespace {

// A record type takes at most two bytes of 7 bits, a size at most four.
bool ReadVarint(std::string_view bytes, size_t& at, int maxBytes, uint32_t& value) {
  value = 0;
  for (int i = 0; i < maxBytes; ++i) {
    if (at >= bytes.size()) return false;
    const uint8_t byte = static_cast<uint8_t>(bytes[at++]);
    value |= static_cast<uint32_t>(byte & 0x7F) << (7 * i);
    if (!(byte & 0x80)) return true;
  }
  return false;
}

void AppendVarint(std::string& out, uint32_t value) {
  do {
    uint8_t byte = value & 0x7F;
    value >>= 7;
    if (value) byte |= 0x80;
    out.push_back(static_cast<char>(byte));
  } while (value);
}

}  // namespace

bool RecordReader::Next(Record& record) {
  if (at_ >= bytes_.size()) return false;
  record.offset = at_;
  record.type = 0;
  record.body = {};
  size_t at = at_;
  uint32_t type = 0, size = 0;
  if (!ReadVarint(bytes_, at, 2, type)) Damaged(record, "has a header that is cut off or too long");
  record.type = type;
  if (!ReadVarint(bytes_, at, 4, size)) Damaged(record, "has a header that is cut off or too long");
  if (size > bytes_.size() - at) Damaged(record, "runs past the end of the part");
  record.body = bytes_.substr(at, size);
  at_ = at + size;
  record.end = at_;
  return true;
}

void RecordReader::Damaged(const Record& record, const std::string& why) const {
  throw RecordFault{"the part " + part_ + " is damaged: record " + std::to_string(record.type) + " at byte " +
                  std::to_string(record.offset) + " " + why};
}

void AppendRecord(std::string& out, uint32_t type, std::string_view body) {
  AppendVarint(out, type);
  AppendVarint(out, static_cast<uint32_t>(body.size()));
  out.append(body);
}

bool ReadWideString(std::string_view body, size_t& at, std::string& text) {
  text.clear();
  if (body.size() < 4 || at > body.size() - 4) return false;
  const uint32_t count = io::U32(body, at);
  if (count == 0xFFFFFFFF) {
    at += 4;
    return true;
  }
  if (count > (body.size() - at - 4) / 2) return false;
  text = io::Utf16ToUtf8(body.substr(at + 4, size_t{count} * 2));
  at += 4 + size_t{count} * 2;
  return true;
}

void AppendWideString(std::string& out, std::string_view text) {
  const std::string units = io::Utf8ToUtf16(text);
  io::Append(out, units.size() / 2, 4);
  out += units;
}

}  // namespace host::xlsb
