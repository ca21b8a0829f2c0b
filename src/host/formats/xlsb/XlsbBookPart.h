#pragma once
// The workbook part of a binary workbook (workbook.bin): the sheets in order
// (BrtBundleSh: relationship id and name), the active tab (BrtBookView), the
// date system (BrtWbProp), the defined names, the sheets that 3-D
// references name through BrtExternSheet, and the calculation properties
// (BrtCalcProp), whose full-recalculation flag a sort of formulas sets.

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
  // What each defined name stands for, in the same order.
  struct NameDefinition {
    int sheet = -1;    // the index of the sheet it is local to; -1 for the workbook
    std::string rgce;  // its parsed formula
  };
  std::vector<NameDefinition> nameDefinitions;
  // Per BrtExternSheet entry: the sheet it names in this workbook, or -1.
  std::vector<int> xtiSheets;
  // Where BrtCalcProp's body starts (npos when the part has none), and where
  // one would go: after the sheets, external references and names.
  size_t calcPropBodyAt = std::string_view::npos;
  size_t calcPropPlace = 0;
};

// Reads the part; RecordFault naming part, record and offset when damaged.
BookPart ReadBookPart(std::string_view part, const std::string& partName);

// The part (as read into book) asking for a full recalculation when the
// workbook is next opened: BrtCalcProp's fFullCalcOnLoad set, the record
// made with the usual settings where the part has none.
std::string WithFullCalcOnLoad(std::string_view part, const BookPart& book);

}  // namespace host::xlsb
