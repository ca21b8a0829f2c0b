#pragma once
// An .ods workbook as the host's object model sees it: its tables as sheets,
// the active one, and the save that writes back only what changed.

#include <memory>
#include <string>
#include <vector>

#include "host/core/MemoryBudget.h"
#include "host/core/WorkbookStore.h"

namespace host::odf {

class OdsDocument;

class OdsWorkbook : public WorkbookStore {
 public:
  // Opens the package at path; HostError naming the file when it cannot.
  explicit OdsWorkbook(const std::string& path);

  const std::string& Path() const override { return path_; }
  const std::vector<SheetEntry>& Sheets() const override { return sheets_; }
  SheetStore* Sheet(size_t index) override;
  size_t ActiveTab() const override;
  bool Date1904() const override;
  // A document has no flag that makes the next program recalculate it.
  bool CanRequestRecalculation() const override { return false; }
  // The reference texts INDIRECT follows, as the document's settings ask
  // (LibreOffice's SyntaxStringRef): none set or 7, the OpenDocument way and
  // then A1; 0, 1, 4, 5 and 6 the OpenDocument way alone; 2 A1; any other
  // (3 is R1C1) not read.
  ReferenceText IndirectReferences() const override;
  // Named ranges and expressions, the document's and each table's (see OdsNames.h).
  bool HasDefinedNames() const override;
  std::optional<std::vector<DefinedName>> DefinedNames() const override;
  // Writes content.xml anew when a table changed (only those tables' bytes
  // differ); every other entry is copied as stored. Nothing is written when
  // nothing changed.
  void Save() override;

 private:
  std::string path_;
  std::shared_ptr<OdsDocument> document_;
  std::vector<SheetEntry> sheets_;
  std::vector<std::unique_ptr<SheetStore>> stores_;  // one a table, over document_
};

// Opens an OpenDocument spreadsheet package (.ods).
std::unique_ptr<WorkbookStore> OpenOds(const std::string& path);
// What opening, sorting and saving the .ods file at path takes: its XML
// parts inflated, the records of their rows and the new content, about three
// times what the zip directory says they inflate to.
MemoryNeed OdsMemoryNeed(const std::string& path);

}  // namespace host::odf
