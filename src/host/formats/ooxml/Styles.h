#pragma once
// The part of the style sheet the host reads: the number format of each
// cell style (cellXfs), custom codes from numFmts and built-in ones by id.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace host::ooxml {

class Styles {
 public:
  // No style sheet: only style 0, General.
  Styles();
  // Reads the styles part; throws XmlFault when it is malformed.
  explicit Styles(std::string_view xml);

  // The number of cell styles; a cell's style index must be below it.
  size_t Count() const { return codes_.size(); }
  // The number format code of cell style index ("General" for the default).
  std::string_view FormatCode(uint32_t index) const {
    return index < codes_.size() ? std::string_view(codes_[index]) : std::string_view("General");
  }

 private:
  std::vector<std::string> codes_;
};

}  // namespace host::ooxml
