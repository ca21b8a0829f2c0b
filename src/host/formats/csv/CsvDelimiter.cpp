#include "host/formats/csv/CsvDelimiter.h"

namespace host::csv {

bool DelimiterDetector::Feed(std::string_view piece) {
  for (char c : piece) {
    if (done_) break;
    if (afterCr_ && c == '\n') {
      afterCr_ = false;
      continue;
    }
    afterCr_ = false;
    if (c == '"') {
      inQuotes_ = !inQuotes_;
      content_ = true;
      continue;
    }
    if (inQuotes_) continue;
    if (c == '\n' || c == '\r') {
      EndRecord();
      afterCr_ = c == '\r';
      continue;
    }
    content_ = true;
    for (size_t k = 0; k < candidates_.size(); ++k)
      if (c == candidates_[k]) ++inRecord_[k];
  }
  return !done_;
}

void DelimiterDetector::EndRecord() {
  if (!content_) return;  // a blank line
  ++records_;
  for (size_t k = 0; k < candidates_.size(); ++k) {
    if (records_ == 1) {
      common_[k] = inRecord_[k];
      inFirst_[k] = inRecord_[k] > 0;
    } else if (common_[k] != inRecord_[k]) {
      common_[k] = -1;
    }
    inRecord_[k] = 0;
  }
  content_ = false;
  if (records_ >= kRecords) done_ = true;
}

char DelimiterDetector::Result() const {
  DelimiterDetector read = *this;
  if (!read.done_) read.EndRecord();  // the last record, without a line break
  for (size_t k = 0; k < candidates_.size(); ++k)
    if (read.common_[k] > 0) return candidates_[k];
  for (size_t k = 0; k < candidates_.size(); ++k)
    if (read.inFirst_[k]) return candidates_[k];
  return ',';
}

size_t SeparatorLine(std::string_view text, char& delimiter) {
  if (text.size() < 5) return 0;
  for (size_t i = 0; i < 4; ++i)
    if ((text[i] | 0x20) != "sep="[i]) return 0;
  const char c = text[4];
  if (c == '\r' || c == '\n') return 0;
  size_t end = 5;
  if (end < text.size() && text[end] == '\r') ++end;
  if (end < text.size() && text[end] == '\n') ++end;
  if (end == 5 && end != text.size()) return 0;  // more than one character follows "sep="
  delimiter = c;
  return end;
}

}  // namespace host::csv
