#include "host/io/ZipDirectory.h"
#include "host/formats/odf/OdsWorkbook.h"

#include "host/formats/odf/OdsDocument.h"
#include "host/formats/odf/OdsNames.h"
#include "host/formats/odf/OdsSheetStore.h"

namespace host::odf {

OdsWorkbook::OdsWorkbook(const std::string& path) : path_(path), document_(std::make_shared<OdsDocument>(path)) {
  for (int k = 1; k <= document_->SheetCount(); ++k) {
    sheets_.push_back({document_->Sheet(k).Name(), true});
    stores_.push_back(std::make_unique<OdsSheetStore>(document_, k));
  }
}

SheetStore* OdsWorkbook::Sheet(size_t index) { return index < stores_.size() ? stores_[index].get() : nullptr; }

size_t OdsWorkbook::ActiveTab() const { return static_cast<size_t>(document_->ActiveSheet() - 1); }

bool OdsWorkbook::Date1904() const { return document_->Date1904(); }

ReferenceText OdsWorkbook::IndirectReferences() const {
  // As LibreOffice 7.4 reads each value (measured: INDIRECT("Sheet2.A1"),
  // INDIRECT("Sheet2!A1") and INDIRECT("A1") under each).
  switch (document_->StringRefSyntax()) {
    case -1:
    case 7: return ReferenceText::SheetDotThenA1;
    case 0:
    case 1:
    case 4:
    case 5:
    case 6: return ReferenceText::SheetDot;
    case 2: return ReferenceText::A1;
    default: return ReferenceText::Unknown;  // 3: R1C1
  }
}

bool OdsWorkbook::HasDefinedNames() const { return !DefinedNames()->empty(); }

std::optional<std::vector<WorkbookStore::DefinedName>> OdsWorkbook::DefinedNames() const {
  std::vector<std::string_view> tables;
  for (int k = 1; k <= document_->SheetCount(); ++k) tables.push_back(document_->Sheet(k).NamedExpressions());
  return ReadOdsNames(document_->NamedExpressions(), tables);
}

void OdsWorkbook::Save() {
  // The stores change the tables of the shared document in place; the
  // document knows which tables changed.
  document_->Save();
}

std::unique_ptr<WorkbookStore> OpenOds(const std::string& path) { return std::make_unique<OdsWorkbook>(path); }


MemoryNeed OdsMemoryNeed(const std::string& path) {
  const uint64_t xml = InflatedXmlSize(path);
  return {3 * xml, "its XML parts inflate to " + SizeText(xml)};
}
}  // namespace host::odf
