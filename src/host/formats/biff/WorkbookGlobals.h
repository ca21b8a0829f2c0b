#pragma once
// The globals substream of a BIFF8 workbook stream: the sheets (BOUNDSHEET8),
// the shared strings (SST), the number formats (FORMAT, XF), the date system
// and the active sheet.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "host/formats/biff/FormulaTokens.h"

namespace host::biff {

// One BOUNDSHEET8 record.
struct SheetInfo {
  std::string name;
  uint32_t position = 0;   // offset of the sheet's BOF record in the stream
  uint8_t visibility = 0;  // 0 visible, 1 hidden, 2 very hidden
  uint8_t kind = 0;        // 0 worksheet, 1 macro sheet, 2 chart, 6 VBA module
  size_t recordOffset = 0; // offset of the BOUNDSHEET8 record itself
};

// One XTI of EXTERNSHEET: the SUPBOOK and the sheets a 3-D reference names.
struct ExternSheet {
  uint16_t supBook = 0;
  int16_t firstSheet = 0, lastSheet = 0;
};

// What one NAME record's name stands for.
struct NameDefinition {
  int sheet = -1;    // the BOUNDSHEET8 index of the sheet it is local to; -1 for the workbook
  std::string rgce;  // its parsed formula
};

struct WorkbookGlobals {
  std::vector<SheetInfo> sheets;
  std::vector<std::string> sharedStrings;  // UTF-8, in SST order
  size_t sstOffset = std::string_view::npos;  // of the SST record, when there is one
  std::map<uint16_t, std::string> formats;    // FORMAT records: number format id to format string
  std::vector<uint16_t> xfFormats;            // the number format id of each XF, in XF order
  bool date1904 = false;
  uint16_t activeSheet = 0;  // WINDOW1's selected tab, an index into sheets
  std::vector<std::string> definedNames;  // NAME records' names (built-in ones as "Print_Area" etc.)
  std::vector<NameDefinition> nameDefinitions;  // the same records' scopes and formulas, in the same order
  std::vector<ExternSheet> externSheets;   // EXTERNSHEET's XTIs
  std::vector<bool> supBookIsSelf;         // per SUPBOOK: true for the one naming this workbook's sheets
  std::vector<std::vector<std::string>> externNames;  // per SUPBOOK: the EXTERNNAME records after it (add-in functions)
  size_t recalcIdOffset = std::string_view::npos;  // of the RECALCID record, when there is one
  size_t eofOffset = 0;      // of the globals' EOF record

  // The name of the sheet a 3-D reference's XTI index names in this
  // workbook; empty when it names another workbook or several sheets.
  std::string SheetOfXti(int xti) const;
  // What the globals lend to a formula's text: sheets of 3-D references and
  // defined names (the globals must outlive it).
  FormulaContext NamesContext() const;
  // The name of a ptgNameX: EXTERNNAME index (1-based) of the SUPBOOK that
  // XTI index xti names; empty when there is none.
  std::string ExternNameOf(int xti, uint32_t index) const;
  size_t end = 0;            // offset just after the globals' EOF record
};

// Reads the globals of a workbook stream; streamName and path name the place
// in messages. Throws HostError when the workbook is not BIFF8 (Excel 95 and
// older are named as such), is protected with a password (FILEPASS), or has a
// damaged record.
WorkbookGlobals ReadGlobals(std::string_view stream, const std::string& streamName, const std::string& path);

}  // namespace host::biff
