#pragma once
// The workbook's shared string table: every string decoded once into one
// block of memory (rich text runs joined, phonetic runs left out).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace host::ooxml {

class SharedStrings {
 public:
  SharedStrings() = default;
  // Reads the sharedStrings part; throws XmlFault when it is malformed.
  explicit SharedStrings(std::string_view xml);

  size_t Count() const { return offsets_.empty() ? 0 : offsets_.size() - 1; }
  // The index-th string (0-based); the caller checks the index.
  std::string_view Get(size_t index) const {
    return std::string_view(text_.data() + offsets_[index], offsets_[index + 1] - offsets_[index]);
  }

 private:
  std::string text_;
  std::vector<uint64_t> offsets_;
};

}  // namespace host::ooxml
