#include "host/formats/xlsb/XlsbStyles.h"

#include <map>

#include "host/formats/BuiltinNumberFormats.h"
#include "host/formats/xlsb/XlsbRecords.h"
#include "host/io/LittleEndian.h"

namespace host::xlsb {

Styles::Styles(std::string_view part, const std::string& partName) {
  RecordReader reader(part, partName);
  Record record;
  std::map<uint16_t, std::string> custom;
  std::vector<uint16_t> formats;  // each cell format's number format id
  bool inCellXfs = false;
  while (reader.Next(record)) {
    switch (record.type) {
      case rt::kFmt: {
        size_t at = 2;
        std::string code;
        if (record.body.size() < 2 || !ReadWideString(record.body, at, code))
          reader.Damaged(record, "holds a number format that is cut off");
        custom[io::U16(record.body, 0)] = std::move(code);
        break;
      }
      case rt::kBeginCellXFs: inCellXfs = true; break;
      case rt::kEndCellXFs: inCellXfs = false; break;
      case rt::kXf:
        if (!inCellXfs) break;
        if (record.body.size() < 4) reader.Damaged(record, "is shorter than a cell format");
        formats.push_back(io::U16(record.body, 2));
        break;
      default: break;
    }
  }
  for (uint16_t id : formats) {
    auto found = custom.find(id);
    codes_.emplace_back(found != custom.end() ? found->second : std::string(BuiltinFormatCode(id)));
  }
}

std::string_view Styles::FormatCode(uint32_t index) const {
  if (index >= codes_.size() || codes_[index].empty()) return "General";
  return codes_[index];
}

}  // namespace host::xlsb
