#pragma once
// Writes a changed worksheet part piece by piece: the bytes before and after
// sheetData and every unchanged row are copied as they are; rows with a new
// hidden flag or with moved cells are written anew, each moved cell from its
// own bytes with a new reference (and its shifted formula).

#include <memory>
#include <string>
#include <string_view>

#include "host/formats/ooxml/SheetData.h"

namespace host::ooxml {

class SheetWriter {
 public:
  explicit SheetWriter(const SheetData& sheet);
  // The next piece of the part; empty when the part is complete.
  std::string_view Next();

 private:
  void WriteRow(const SheetData::RowRecord& row);
  void WriteCreatedRow(int row, bool hidden);
  void WriteStartTag(const SheetData::RowRecord& row, bool withChildren);
  // The element with its r attribute's value (valueBegin..valueEnd) made the cell's new place.
  void WriteWithReference(std::string_view element, size_t valueBegin, size_t valueEnd, int column, int row);
  void WriteCell(const SheetData::CellRecord& cell, int row);

  const SheetData& sheet_;
  std::string_view xml_;
  std::string scratch_;
  int phase_ = 0;
  size_t rowIndex_ = 0;
  std::map<int, bool>::const_iterator created_;
  uint32_t rawCursor_ = 0;
  bool openedSheetData_ = false;
};

}  // namespace host::ooxml
