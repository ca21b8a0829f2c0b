#pragma once
// An open binary workbook (.xlsb): the package (shared with .xlsx), the
// workbook part and its relationships, the sheets with their notes and
// tables, shared strings and styles, and the saving of what changed: the
// sheets a sort or a hide changed are written anew, their notes moved, and
// every other part copied byte for byte (the workbook part and the
// calculation chain also change when moved formulas ask for a full
// recalculation).

#include <memory>
#include <string>
#include <vector>

#include "host/core/WorkbookStore.h"
#include "host/formats/xlsb/XlsbBookPart.h"
#include "host/formats/xlsb/XlsbFormula.h"
#include "host/formats/xlsb/XlsbStrings.h"
#include "host/formats/xlsb/XlsbStyles.h"
#include "host/io/Package.h"

namespace host::xlsb {

class XlsbSheet;

// The content type of a binary workbook's main part.
inline constexpr const char* kMainContentType = "application/vnd.ms-excel.sheet.binary.macroEnabled.main";

class XlsbWorkbook : public WorkbookStore {
 public:
  // Opens and reads the workbook at path; HostError naming the file and the
  // fault (a damaged record by part, record and offset) otherwise.
  explicit XlsbWorkbook(const std::string& path);
  ~XlsbWorkbook() override;

  const std::string& Path() const override { return path_; }
  const std::vector<SheetEntry>& Sheets() const override { return entries_; }
  SheetStore* Sheet(size_t index) override;
  size_t ActiveTab() const override { return activeTab_; }
  bool Date1904() const override { return book_.date1904; }
  bool HasDefinedNames() const override { return !book_.definedNames.empty(); }
  // Results left untrue: the save sets the workbook's full-recalculation
  // flag. A save of moved formulas drops the calculation chain (calcChain.bin).
  void RequestFullRecalculation() override { fullCalc_ = true; }
  // The defined names with their formulas as A1 text.
  std::optional<std::vector<DefinedName>> DefinedNames() const override;
  void Save() override;

 private:
  struct SheetParts {
    std::string part;                       // "" for a sheet that is not a worksheet
    std::vector<std::string> commentParts;  // comments.bin parts
    std::vector<std::string> vmlParts;      // the notes' shapes
  };

  void Load();
  // What the workbook part lends to a formula's text (sheets and names).
  FormulaNames Names() const;
  void ReadSheetRelations(SheetParts& parts, const std::string& sheetName, std::vector<TableArea>& tables);
  void SaveChanges();

  std::string path_;
  std::string current_;  // the part being read or written, for messages
  std::unique_ptr<Package> package_;
  std::string workbookPart_, workbookRelsPart_, calcChainPart_;
  std::string workbookBytes_;  // the workbook part as read (a few hundred bytes)
  BookPart book_;
  SharedStrings strings_;
  Styles styles_;
  std::vector<SheetParts> sheets_;
  std::vector<SheetEntry> entries_;
  std::vector<std::unique_ptr<XlsbSheet>> data_;
  size_t activeTab_ = 0;
  bool fullCalc_ = false;
};

}  // namespace host::xlsb
