#pragma once
// An OpenDocument spreadsheet package (.ods) read for its tables: the sheets
// of content.xml in order, and the active sheet named in settings.xml.

#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "host/odf/OdsSheet.h"

namespace host {
class Package;
}

namespace host::odf {

class OdsDocument {
 public:
  // Opens the package. HostError naming the file when it is no OpenDocument
  // spreadsheet, is encrypted, or its XML is damaged.
  explicit OdsDocument(const std::string& path);
  ~OdsDocument();
  OdsDocument(const OdsDocument&) = delete;
  OdsDocument& operator=(const OdsDocument&) = delete;

  int SheetCount() const { return static_cast<int>(sheets_.size()); }
  // Sheets 1..SheetCount in document order.
  OdsSheet& Sheet(int index) { return sheets_.at(static_cast<size_t>(index - 1)); }
  // The sheet settings.xml names as ActiveTable, else the first (1-based).
  int ActiveSheet() const { return active_; }

  // content.xml as it stands now (rows split where an operation touched them).
  std::string ContentXml() const;

 private:
  [[noreturn]] void Refuse(const std::string& why) const;
  void Parse(pugi::xml_document& doc, const std::string& bytes, const char* part) const;

  std::string name_;
  std::unique_ptr<Package> package_;
  pugi::xml_document content_;
  std::vector<OdsSheet> sheets_;
  int active_ = 1;
};

}  // namespace host::odf
