#pragma once
// An OpenDocument spreadsheet package (.ods) read for its tables: the sheets
// of content.xml in order, the active sheet named in settings.xml, the cell
// styles' number formats, and the save that writes back only the tables that
// changed.

#include <deque>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "host/formats/odf/OdsDataStyles.h"
#include "host/formats/odf/OdsSheet.h"
#include "host/io/Package.h"

namespace host::odf {

class OdsDocument {
 public:
  // Opens the package. HostError naming the file when it is no OpenDocument
  // spreadsheet (a flat .fods included), is encrypted, or its XML is damaged.
  explicit OdsDocument(const std::string& path);
  ~OdsDocument();
  OdsDocument(const OdsDocument&) = delete;
  OdsDocument& operator=(const OdsDocument&) = delete;

  const std::string& Path() const;
  int SheetCount() const { return static_cast<int>(sheets_.size()); }
  // Sheets 1..SheetCount in document order.
  OdsSheet& Sheet(int index) { return sheets_.at(static_cast<size_t>(index - 1)); }
  const OdsSheet& Sheet(int index) const { return sheets_.at(static_cast<size_t>(index - 1)); }
  // The sheet settings.xml names as ActiveTable, else the first (1-based).
  int ActiveSheet() const { return active_; }
  // True when dates count from 1904-01-01 (table:null-date).
  bool Date1904() const { return date1904_; }
  // The SyntaxStringRef setting of settings.xml: how the document reads the
  // reference texts INDIRECT is given; -1 when it has none.
  int StringRefSyntax() const { return stringRefSyntax_; }
  // The document's own table:named-expressions element (an empty node when it has none).
  pugi::xml_node NamedExpressions() const;
  // The format code of a cell style's data style ("General" when none).
  std::string_view FormatCode(std::string_view cellStyle);

  // Writes the package back when a table changed: content.xml with only the
  // changed tables written anew (every other byte as read), every other entry
  // copied as stored; nothing is written otherwise.
  void Save();

 private:
  class ContentScan;
  [[noreturn]] void Refuse(const std::string& why) const;
  void Parse(pugi::xml_document& doc, std::string_view bytes, const char* part) const;
  void RefuseFlatXml(const std::string& path) const;
  // Reads content.xml: its tables into sheets_ (from its bytes) and the rest
  // into content_ (a tree without the tables' contents).
  void ReadContent();
  // content.xml as it would be saved now, in pieces: the bytes read, with
  // each changed table written anew (strings kept in written) in place of
  // its old element.
  Pieces ContentPieces(std::deque<std::string>& written) const;

  std::string path_;
  std::unique_ptr<Package> package_;
  PartBytes contentBytes_;
  pugi::xml_document content_;  // content.xml with each table element left empty
  std::vector<OdsSheet> sheets_;
  int active_ = 1;
  bool date1904_ = false;
  int stringRefSyntax_ = -1;
  bool stylesRead_ = false;
  OdsDataStyles styles_;
  pugi::xml_document stylesPart_;  // styles.xml, read for its data styles when first needed
};

}  // namespace host::odf
