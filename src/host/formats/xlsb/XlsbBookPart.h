#pragma once
// The workbook part of a binary workbook (workbook.bin): the sheets in order
// (BrtBundleSh: relationship id and name), the active tab (BrtBookView), the
// date system (BrtWbProp), the defined names and the sheets that 3-D
// references name through BrtExternSheet.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace host::xlsb {

struct BookPart {
  struct Sheet {
    std::string name;
    std::string relationshipId;
  };
  std::vector<Sheet> sheets;
  size_t activeTab = 0;
  bool date1904 = false;
  std::vector<std::string> definedNames;  // in order (1-based in formulas)
  // Per BrtExternSheet entry: the sheet it names in this workbook, or -1.
  std::vector<int> xtiSheets;
};

// Reads the part; RecordFault naming part, record and offset when damaged.
BookPart ReadBookPart(std::string_view part, const std::string& partName);

}  // namespace host::xlsb
