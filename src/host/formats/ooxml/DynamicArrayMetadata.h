#pragma once
// Which cell-metadata blocks of a workbook's metadata part mark a dynamic
// array. A cell's cm attribute names a block of the part's cellMetadata
// (1-based); a block whose record is of the type XLDAPR points at that
// type's future metadata, whose dynamic-array properties say with fDynamic
// whether the array formula of the cell spills (its ref is where the result
// fell) or was entered over its area.

#include <cstdint>
#include <string_view>
#include <vector>

namespace host::ooxml {

class DynamicArrayMetadata {
 public:
  DynamicArrayMetadata() = default;
  // Reads the metadata part's XML.
  explicit DynamicArrayMetadata(std::string_view xml);

  // True when the cell metadata block cm (1-based, 0: none) marks a dynamic
  // array, or is a block the part does not give (no part, or one that cannot
  // be read): such an array is taken as one that spills, whose result must
  // keep its recorded size.
  bool Dynamic(uint32_t cm) const { return cm >= 1 && (cm > dynamic_.size() || dynamic_[cm - 1]); }

 private:
  std::vector<uint8_t> dynamic_;  // by block, from the first
};

}  // namespace host::ooxml
