#pragma once
// The file side of an open workbook: the package, the workbook part and its
// relationships, the sheet list, shared strings and styles, and the saving
// of what changed.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/Package.h"
#include "host/SharedStrings.h"
#include "host/Styles.h"

namespace pugi {
class xml_node;
}

namespace host {

class SheetData;
struct TableArea;

class WorkbookFile {
 public:
  enum class SheetKind { Worksheet, Chartsheet, Dialogsheet, Other };
  struct SheetEntry {
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
  ~WorkbookFile();

  const std::vector<SheetEntry>& Sheets() const { return sheets_; }
  // The sheet data of a worksheet entry, scanned at open (moved out once).
  std::unique_ptr<SheetData> TakeSheetData(size_t index);
  // 0-based index of the workbook view's active tab.
  size_t ActiveTab() const { return activeTab_; }
  bool Date1904() const { return date1904_; }
  const SharedStrings& Strings() const { return strings_; }
  const Styles& StyleSheet() const { return styles_; }

  // True when the workbook part defines names.
  bool HasDefinedNames() const { return hasDefinedNames_; }
  // Marks the workbook for a full recalculation when next opened.
  void RequestFullRecalculation() { fullCalc_ = true; }

  // Writes what changed back to the file (see Package::Save). sheets pairs
  // each worksheet part with its data.
  void Save(const std::vector<std::pair<std::string, const SheetData*>>& sheets);

  const std::string& Path() const { return path_; }

 private:
  void Load();
  void SaveChanges(const std::vector<std::pair<std::string, const SheetData*>>& sheets);
  [[noreturn]] void Fail(const std::string& what) const;
  // The part's text, in UTF-8 whatever it was written in.
  std::string ReadPartText(const std::string& part) const;
  std::string ReadXmlPart(const std::string& part);
  std::string WorkbookWithFullCalc() const;
  // Reads the sheet's relationships: its note parts into entry, its tables
  // (as plain areas) into tables.
  void ReadSheetRelations(SheetEntry& entry, std::vector<TableArea>& tables);
  // Notes of sheets whose cells moved, rewritten into changed.
  void MoveNotes(const SheetEntry& entry, const SheetData& data, std::map<std::string, NewPart>& changed);
  // The XML of part without the elements for which drop(element) is true.
  std::string PartWithout(const std::string& part, const std::function<bool(const pugi::xml_node&)>& drop) const;

  std::string path_;
  std::string current_;  // the part being read or written, for messages
  std::unique_ptr<Package> package_;
  std::string workbookPart_;
  std::string workbookXml_;  // kept for the recalculation flag
  std::string workbookRelsPart_;
  std::string calcChainPart_;  // the calculation chain, dropped when formulas move
  std::vector<SheetEntry> sheets_;
  std::vector<std::unique_ptr<SheetData>> data_;
  size_t activeTab_ = 0;
  bool date1904_ = false;
  bool fullCalc_ = false;
  bool hasDefinedNames_ = false;
  SharedStrings strings_;
  Styles styles_;
};

}  // namespace host
