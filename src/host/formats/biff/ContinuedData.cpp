#include "host/formats/biff/ContinuedData.h"

#include "host/io/LittleEndian.h"
#include "host/io/Utf16.h"

namespace host::biff {

using namespace host::io;  // the container and the byte helpers the records sit in

ContinuedData::ContinuedData(const Record& record, const RecordReader& reader)
    : record_(record), reader_(reader), data_(record.body) {}

void ContinuedData::CutShort() const { reader_.Damaged(record_.type, record_.offset, "is cut short"); }

void ContinuedData::NextSegment() {
  if (segment_ >= record_.continues.size()) CutShort();
  data_ = record_.continues[segment_++];
  at_ = 0;
}

uint8_t ContinuedData::Byte() {
  while (at_ >= data_.size()) NextSegment();
  return U8(data_, at_++);
}

uint16_t ContinuedData::Word() {
  uint16_t low = Byte();
  return static_cast<uint16_t>(low | Byte() << 8);
}

uint32_t ContinuedData::Dword() {
  uint32_t low = Word();
  return low | static_cast<uint32_t>(Word()) << 16;
}

void ContinuedData::Skip(uint64_t count) {
  while (count > 0) {
    while (at_ >= data_.size()) NextSegment();
    uint64_t step = std::min<uint64_t>(count, data_.size() - at_);
    at_ += step;
    count -= step;
  }
}

uint64_t ContinuedData::Remaining() const {
  uint64_t left = data_.size() - at_;
  for (size_t i = segment_; i < record_.continues.size(); ++i) left += record_.continues[i].size();
  return left;
}

std::string ContinuedData::Characters(uint32_t count, uint8_t flags) {
  std::string text;
  uint16_t pending = 0;
  bool wide = flags & 0x01;
  while (count > 0) {
    if (at_ >= data_.size()) {
      NextSegment();
      if (data_.empty()) continue;
      wide = U8(data_, at_++) & 0x01;  // the width of the characters that go on here
      continue;
    }
    size_t width = wide ? 2 : 1;
    size_t fit = (data_.size() - at_) / width;
    if (fit == 0) CutShort();  // half a wide character at the end of a record
    size_t take = std::min<size_t>(fit, count);
    AppendUnits(text, data_.substr(at_, take * width), wide, pending);
    at_ += take * width;
    count -= static_cast<uint32_t>(take);
  }
  FinishUnits(text, pending);
  return text;
}

std::string ContinuedData::UnicodeString() {
  uint16_t count = Word();
  uint8_t flags = Byte();
  return Characters(count, flags);
}

std::string ContinuedData::ShortUnicodeString() {
  uint8_t count = Byte();
  uint8_t flags = Byte();
  return Characters(count, flags);
}

std::string ContinuedData::RichExtendedString() {
  uint16_t count = Word();
  uint8_t flags = Byte();
  uint16_t runs = flags & 0x08 ? Word() : 0;
  uint32_t phonetic = flags & 0x04 ? Dword() : 0;
  std::string text = Characters(count, flags);
  Skip(4ull * runs);
  Skip(phonetic);
  return text;
}

}  // namespace host::biff
