#pragma once
// Reads the data of a record and its CONTINUE records as one run of bytes,
// with the BIFF8 string rule: where a string's characters go on in the next
// CONTINUE record, that record starts with a new byte saying their width.

#include <cstdint>
#include <string>
#include <string_view>

#include "host/formats/biff/BiffRecords.h"

namespace host::biff {

class ContinuedData {
 public:
  // reader reports a record cut short; record must outlive this object.
  ContinuedData(const Record& record, const RecordReader& reader);

  uint8_t Byte();
  uint16_t Word();
  uint32_t Dword();
  void Skip(uint64_t count);
  // Bytes left in the record and its CONTINUE records.
  uint64_t Remaining() const;

  // XLUnicodeString (16-bit count) and ShortXLUnicodeString (8-bit count), as UTF-8.
  std::string UnicodeString();
  std::string ShortUnicodeString();
  // XLUnicodeRichExtendedString (shared strings): the text, formatting runs
  // and phonetic data passed over.
  std::string RichExtendedString();

 private:
  std::string Characters(uint32_t count, uint8_t flags);
  void NextSegment();
  [[noreturn]] void CutShort() const;

  const Record& record_;
  const RecordReader& reader_;
  size_t segment_ = 0;  // 0 is the body, then each CONTINUE
  std::string_view data_;
  size_t at_ = 0;
};

}  // namespace host::biff
