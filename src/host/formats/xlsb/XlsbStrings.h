#pragma once
// The shared strings of a binary workbook (sharedStrings.bin): one
// BrtSSTItem per string, read as its plain text (rich and phonetic runs are
// formatting and are left in the part, which a sort never changes).

#include <string>
#include <string_view>
#include <vector>

namespace host::xlsb {

class SharedStrings {
 public:
  SharedStrings() = default;
  // Reads the part; RecordFault naming part, record and offset when damaged.
  SharedStrings(std::string_view part, const std::string& partName);

  size_t Count() const { return strings_.size(); }
  // The string at index; "" past the end (the sheet checks its indexes).
  const std::string& At(size_t index) const;

 private:
  std::vector<std::string> strings_;
};

}  // namespace host::xlsb
