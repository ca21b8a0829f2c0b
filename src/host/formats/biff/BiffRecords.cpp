#include "host/formats/biff/BiffRecords.h"

#include <cstdio>
#include <utility>

#include "host/core/HostError.h"
#include "host/io/LittleEndian.h"

namespace host::biff {

using namespace host::io;  // the container and the byte helpers the records sit in

namespace {

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

}  // namespace

RecordReader::RecordReader(std::string_view stream, size_t offset, std::string streamName, std::string path)
    : stream_(stream), position_(offset), streamName_(std::move(streamName)), path_(std::move(path)) {}

void RecordReader::Damaged(uint16_t type, size_t offset, const std::string& what) const {
  throw HostError("Cannot open \"" + path_ + "\": its stream \"" + streamName_ + "\" is damaged (record 0x" +
                  Hex(type, 4) + " at offset " + std::to_string(offset) + " " + what + ").");
}

bool RecordReader::ReadOne(uint16_t& type, size_t& offset, std::string_view& body) {
  if (position_ >= stream_.size()) return false;
  offset = position_;
  if (stream_.size() - position_ < 4) {
    type = stream_.size() - position_ >= 2 ? U16(stream_, position_) : 0;
    Damaged(type, offset, "is cut short");
  }
  type = U16(stream_, position_);
  uint16_t length = U16(stream_, position_ + 2);
  if (stream_.size() - position_ - 4 < length) Damaged(type, offset, "runs past the end of the stream");
  body = stream_.substr(position_ + 4, length);
  position_ += 4 + length;
  return true;
}

bool RecordReader::Next(Record& record) {
  if (!ReadOne(record.type, record.offset, record.body)) return false;
  record.continues.clear();
  while (position_ + 4 <= stream_.size() && U16(stream_, position_) == rt::kContinue) {
    uint16_t type;
    size_t offset;
    std::string_view body;
    ReadOne(type, offset, body);
    record.continues.push_back(body);
  }
  record.end = position_;
  return true;
}

BiffVersion DetectBiffVersion(std::string_view stream) {
  if (stream.size() < 8) return BiffVersion::Unknown;
  uint16_t type = U16(stream, 0);
  switch (type) {
    case rt::kBof2: return BiffVersion::Biff2;
    case rt::kBof3: return BiffVersion::Biff3;
    case rt::kBof4: return BiffVersion::Biff4;
    case rt::kBof:
      switch (U16(stream, 4)) {
        case 0x0600: return BiffVersion::Biff8;
        case 0x0500: return BiffVersion::Biff5;
        // BIFF5 writers also gave 0 or older numbers here; BIFF8 always writes 0x0600.
        default: return U16(stream, 4) < 0x0600 ? BiffVersion::Biff5 : BiffVersion::Unknown;
      }
    default: return BiffVersion::Unknown;
  }
}

size_t SubstreamEnd(std::string_view stream, size_t offset, const std::string& streamName, const std::string& path) {
  RecordReader reader(stream, offset, streamName, path);
  Record record;
  int depth = 0;
  while (reader.Next(record)) {
    if (record.type == rt::kBof) ++depth;
    if (record.type == rt::kEof && --depth == 0) return record.end;
    if (depth == 0) reader.Damaged(record.type, record.offset, "stands where a BOF record must begin a substream");
  }
  reader.Damaged(rt::kEof, stream.size(), "is missing: a substream has no end");
}

std::string_view RawRecord(std::string_view stream, size_t offset) {
  size_t end = offset + 4 + U16(stream, offset + 2);
  while (end + 4 <= stream.size() && U16(stream, end) == rt::kContinue) end += 4 + U16(stream, end + 2);
  return stream.substr(offset, end - offset);
}

const char* ErrorValueText(uint8_t code) {
  switch (code) {
    case 0x00: return "#NULL!";
    case 0x07: return "#DIV/0!";
    case 0x0F: return "#VALUE!";
    case 0x17: return "#REF!";
    case 0x1D: return "#NAME?";
    case 0x24: return "#NUM!";
    case 0x2A: return "#N/A";
    case 0x2B: return "#GETTING_DATA";
    default: return nullptr;
  }
}

bool ErrorValueCode(std::string_view text, uint8_t& code) {
  for (uint8_t candidate : {0x00, 0x07, 0x0F, 0x17, 0x1D, 0x24, 0x2A, 0x2B})
    if (text == ErrorValueText(candidate)) {
      code = candidate;
      return true;
    }
  return false;
}

}  // namespace host::biff
