#pragma once
// The part of a binary workbook's style sheet (styles.bin) the host reads:
// the number format of every cell format (the BrtXF records after
// BrtBeginCellXFs), from the custom codes of BrtFmt or the built-in ones.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace host::xlsb {

class Styles {
 public:
  Styles() = default;
  // Reads the part; RecordFault naming part, record and offset when damaged.
  Styles(std::string_view part, const std::string& partName);

  size_t Count() const { return codes_.size(); }
  // The number format code of cell format index; "General" when none.
  std::string_view FormatCode(uint32_t index) const;

 private:
  std::vector<std::string> codes_;
};

}  // namespace host::xlsb
