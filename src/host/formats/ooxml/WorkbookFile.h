#pragma once
// The file side of an open workbook: the package, the workbook part and its
// relationships, the sheet list, shared strings and styles, and the saving
// of what changed.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/core/MemoryBudget.h"
#include "host/core/SortPlan.h"
#include "host/core/WorkbookStore.h"
#include "host/io/Package.h"
#include "host/formats/ooxml/DynamicArrayMetadata.h"
#include "host/formats/ooxml/SharedStrings.h"
#include "host/formats/ooxml/Styles.h"

namespace pugi {
class xml_node;
}

namespace host::ooxml {

class SheetData;


// What opening, sorting and saving the package at path takes: its XML parts
// inflated, the records of their rows and the new parts, about three times
// what the zip directory says they inflate to.
MemoryNeed OoxmlMemoryNeed(const std::string& path);

class WorkbookFile : public WorkbookStore {
 public:
  enum class SheetKind { Worksheet, Chartsheet, Dialogsheet, Other };
  struct SheetParts {
    std::string name;
    SheetKind kind;
    std::string part;  // package part name, e.g. "xl/worksheets/sheet1.xml"
    // Parts that follow the sheet's cells: notes (comments and threaded
    // comments) and the VML drawings that hold the notes' shapes.
    std::vector<std::string> commentParts;
    std::vector<std::string> threadedCommentParts;
    std::vector<std::string> vmlParts;
  };

  // Opens and checks the workbook at path; HostError naming the file and the
  // fault otherwise.
  explicit WorkbookFile(const std::string& path);
  ~WorkbookFile() override;

  // The sheets with the parts that hold them.
  const std::vector<SheetParts>& SheetPartList() const { return sheets_; }

  // WorkbookStore.
  const std::string& Path() const override { return path_; }
  const std::vector<SheetEntry>& Sheets() const override { return entries_; }
  SheetStore* Sheet(size_t index) override;
  size_t ActiveTab() const override { return activeTab_; }
  bool Date1904() const override { return date1904_; }
  bool HasDefinedNames() const override { return hasDefinedNames_; }
  std::optional<std::vector<DefinedName>> DefinedNames() const override { return definedNames_; }
  void RequestFullRecalculation() override { fullCalc_ = true; }
  // Writes what changed back to the file (see Package::Save).
  void Save() override;

  const SharedStrings& Strings() const { return strings_; }
  const Styles& StyleSheet() const { return styles_; }

 private:
  void Load();
  void SaveChanges();
  [[noreturn]] void Fail(const std::string& what) const;
  // The part's text, in UTF-8 whatever it was written in.
  std::string ReadPartText(const std::string& part) const;
  std::string ReadXmlPart(const std::string& part);
  // A large part the same way, in memory of its own (huge pages, put in
  // while the part is inflated): the shared strings, the sheets.
  PartBytes ReadPartBytes(const std::string& part) const;
  PartBytes ReadXmlBytes(const std::string& part);
  // Fail()s when the part declares a document type.
  void RejectDocumentTypeIn(const std::string& part, std::string_view xml) const;
  std::string WorkbookWithFullCalc() const;
  // Reads the sheet's relationships: its note parts into entry, its tables
  // (as plain areas) into tables.
  void ReadSheetRelations(SheetParts& entry, std::vector<TableArea>& tables);
  // Notes of sheets whose cells moved, rewritten into changed.
  void MoveNotes(const SheetParts& entry, const SheetData& data, std::map<std::string, NewPart>& changed);

  std::string path_;
  std::string current_;  // the part being read or written, for messages
  std::unique_ptr<Package> package_;
  std::string workbookPart_;
  std::string workbookXml_;  // kept for the recalculation flag
  std::string workbookRelsPart_;
  std::string calcChainPart_;  // the calculation chain, dropped when formulas move
  std::vector<SheetParts> sheets_;
  std::vector<SheetEntry> entries_;
  std::vector<std::unique_ptr<SheetData>> data_;
  size_t activeTab_ = 0;
  bool date1904_ = false;
  bool fullCalc_ = false;
  bool hasDefinedNames_ = false;
  std::vector<DefinedName> definedNames_;  // workbook.xml's definedName elements
  SharedStrings strings_;
  Styles styles_;
  DynamicArrayMetadata arrayMetadata_;  // which cells' array formulas spill
};

}  // namespace host::ooxml
