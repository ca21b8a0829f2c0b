#include "host/formats/xlsb/XlsbStrings.h"

#include "host/formats/xlsb/XlsbRecords.h"

namespace host::xlsb {

SharedStrings::SharedStrings(std::string_view part, const std::string& partName) {
  RecordReader reader(part, partName);
  Record record;
  while (reader.Next(record)) {
    if (record.type != rt::kSstItem) continue;
    // A byte of flags (rich runs, phonetic runs), then the text.
    size_t at = 1;
    std::string text;
    if (record.body.empty() || !ReadWideString(record.body, at, text)) reader.Damaged(record, "holds a string that is cut off");
    strings_.push_back(std::move(text));
  }
}

const std::string& SharedStrings::At(size_t index) const {
  static const std::string kEmpty;
  return index < strings_.size() ? strings_[index] : kEmpty;
}

}  // namespace host::xlsb
