#include "host/io/ZipDirectory.h"
#include "host/formats/ooxml/WorkbookFile.h"

#include <pugixml.hpp>

#include <algorithm>
#include <map>
#include <sstream>

#include "host/formats/ooxml/AlternateContent.h"
#include "host/formats/ooxml/CalcChainDrop.h"
#include "host/formats/ooxml/ChildElement.h"
#include "host/core/HostError.h"
#include "host/formats/ooxml/NoteMoves.h"
#include "host/formats/ooxml/PackageRelationships.h"
#include "host/core/SortPlan.h"
#include "host/formats/ooxml/SheetData.h"
#include "host/formats/ooxml/XmlEncoding.h"
#include "host/formats/ooxml/XmlProblem.h"
#include "host/io/XmlScanner.h"

namespace host::ooxml {

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c += 32;
  return out;
}

bool EndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}


struct Relationship {
  std::string type;
  std::string target;
  bool external = false;
};

const char* const kMainContentTypes[] = {
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
    "application/vnd.ms-excel.sheet.macroEnabled.main+xml",
    "application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml",
    "application/vnd.ms-excel.template.macroEnabled.main+xml",
};

void Replace(PartBytes& bytes, const std::string& text) {
  bytes.data = AllocatePartMemory(text.size());
  std::copy(text.begin(), text.end(), bytes.data.get());
  bytes.size = text.size();
}

// Parts edited and written back keep their comments, processing
// instructions, white space and line ends.
constexpr unsigned kRewriteFlags =
    (pugi::parse_default | pugi::parse_comments | pugi::parse_pi | pugi::parse_declaration | pugi::parse_ws_pcdata) &
    ~(pugi::parse_wconv_attribute | pugi::parse_eol);

}  // namespace

WorkbookFile::~WorkbookFile() = default;

void WorkbookFile::Fail(const std::string& what) const {
  throw HostError("Cannot open \"" + path_ + "\": " + what + ".");
}

WorkbookFile::WorkbookFile(const std::string& path) : path_(path) {
  try {
    Load();
  } catch (...) {
    RethrowAsHostError("Cannot open \"" + path_ + "\": " + (current_.empty() ? "the package" : "the part " + current_));
  }
}

std::string WorkbookFile::ReadPartText(const std::string& part) const {
  std::string xml = package_->Read(part);
  if (IsUtf16(xml)) return Utf16ToUtf8(xml);
  return xml;  // moved, not copied
}

std::string WorkbookFile::ReadXmlPart(const std::string& part) {
  current_ = part;
  std::string xml = ReadPartText(part);
  RejectDocumentTypeIn(part, xml);
  return xml;
}

PartBytes WorkbookFile::ReadPartBytes(const std::string& part) const {
  PartBytes xml = package_->ReadBytes(part);
  if (IsUtf16(xml.View())) Replace(xml, Utf16ToUtf8(xml.View()));
  return xml;
}

PartBytes WorkbookFile::ReadXmlBytes(const std::string& part) {
  current_ = part;
  PartBytes xml = ReadPartBytes(part);
  RejectDocumentTypeIn(part, xml.View());
  return xml;
}

void WorkbookFile::RejectDocumentTypeIn(const std::string& part, std::string_view xml) const {
  try {
    RejectDocumentType(xml);
  } catch (const XmlFault& fault) {
    Fail("the part " + part + " is not acceptable XML: " + fault.message);
  }
}

void WorkbookFile::Load() {
  // The content decides, not the name: an .xlsx named .xls opens as .xlsx.
  const std::string& path = path_;
  package_ = std::make_unique<Package>(path);

  auto parse = [this](pugi::xml_document& doc, std::string& xml, const std::string& part) {
    pugi::xml_parse_result result = doc.load_buffer_inplace(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_auto);
    if (!result)
      Fail("the part " + part + " is not valid XML: " + XmlProblem(result));
  };

  // The package's content types and its main part.
  if (!package_->Has("[Content_Types].xml"))
    throw HostError("\"" + path + "\" is not a format this host can open (it is a zip package, but no workbook).");
  std::string typesXml = ReadXmlPart("[Content_Types].xml");
  pugi::xml_document types;
  parse(types, typesXml, "[Content_Types].xml");
  if (!package_->Has("_rels/.rels")) Fail("the package has no relationships, so no workbook part");
  std::string rootRelsXml = ReadXmlPart("_rels/.rels");
  pugi::xml_document rootRels;
  parse(rootRels, rootRelsXml, "_rels/.rels");
  for (pugi::xml_node rel : rootRels.document_element().children()) {
    if (LocalName(rel.name()) != "Relationship") continue;
    if (EndsWith(rel.attribute("Type").value(), "/officeDocument")) {
      workbookPart_ = ResolveTarget("", rel.attribute("Target").value());
      break;
    }
  }
  if (workbookPart_.empty()) Fail("the package has no workbook part");
  if (!package_->Has(workbookPart_)) Fail("the workbook part " + workbookPart_ + " is missing");
  std::string contentType;
  std::string partExt = Lower(workbookPart_.substr(workbookPart_.rfind('.') + 1));
  for (pugi::xml_node node : types.document_element().children()) {
    std::string_view local = LocalName(node.name());
    if (local == "Override" && Lower(node.attribute("PartName").value()) == "/" + Lower(workbookPart_)) {
      contentType = node.attribute("ContentType").value();
      break;
    }
    if (local == "Default" && Lower(node.attribute("Extension").value()) == partExt && contentType.empty())
      contentType = node.attribute("ContentType").value();
  }
  if (std::none_of(std::begin(kMainContentTypes), std::end(kMainContentTypes),
                   [&](const char* t) { return contentType == t; }))
    throw HostError("\"" + path + "\" is not a format this host can open (its main part is \"" + contentType + "\").");

  // The workbook part: sheets, date system, active tab.
  workbookXml_ = ReadXmlPart(workbookPart_);
  std::string workbookCopy = workbookXml_;
  pugi::xml_document workbook;
  parse(workbook, workbookCopy, workbookPart_);
  pugi::xml_node root = workbook.document_element();
  if (LocalName(root.name()) != "workbook") Fail("the workbook part has no <workbook> element");
  pugi::xml_node workbookPr = ChildElement(root, "workbookPr");
  std::string_view d1904 = workbookPr.attribute("date1904").value();
  date1904_ = d1904 == "1" || d1904 == "true";
  pugi::xml_node view = ChildElement(ChildElement(root, "bookViews"), "workbookView");
  activeTab_ = static_cast<size_t>(std::max(0, view.attribute("activeTab").as_int(0)));
  for (pugi::xml_node name : ChildElement(root, "definedNames").children()) {
    if (LocalName(name.name()) != "definedName") continue;
    hasDefinedNames_ = true;
    DefinedName defined;
    defined.name = name.attribute("name").value();
    pugi::xml_attribute local = name.attribute("localSheetId");
    defined.sheet = local ? std::max(0, local.as_int(0)) : -1;
    defined.formula = name.text().get();
    if (!defined.formula.empty() && defined.formula.front() == '=') defined.formula.erase(0, 1);
    definedNames_.push_back(std::move(defined));
  }

  std::map<std::string, Relationship> rels;
  std::string relsPart = RelationshipsPartOf(workbookPart_);
  workbookRelsPart_ = relsPart;
  if (package_->Has(relsPart)) {
    std::string relsXml = ReadXmlPart(relsPart);
    pugi::xml_document relsDoc;
    parse(relsDoc, relsXml, relsPart);
    for (pugi::xml_node rel : relsDoc.document_element().children()) {
      if (LocalName(rel.name()) != "Relationship") continue;
      Relationship r;
      r.type = rel.attribute("Type").value();
      r.external = std::string_view(rel.attribute("TargetMode").value()) == "External";
      r.target = r.external ? rel.attribute("Target").value() : ResolveTarget(workbookPart_, rel.attribute("Target").value());
      rels[rel.attribute("Id").value()] = r;
    }
  }
  std::string stringsPart, stylesPart, metadataPart;
  for (const auto& [id, r] : rels) {
    if (r.external) continue;
    if (EndsWith(r.type, "/sharedStrings")) stringsPart = r.target;
    else if (EndsWith(r.type, "/styles")) stylesPart = r.target;
    else if (EndsWith(r.type, "/calcChain")) calcChainPart_ = r.target;
    else if (EndsWith(r.type, "/sheetMetadata")) metadataPart = r.target;
  }

  for (pugi::xml_node sheet : ChildElement(root, "sheets").children()) {
    if (LocalName(sheet.name()) != "sheet") continue;
    SheetParts entry;
    entry.name = sheet.attribute("name").value();
    std::string id;
    for (pugi::xml_attribute attr : sheet.attributes())
      if (LocalName(attr.name()) == "id" && std::string_view(attr.name()) != "id") id = attr.value();
    auto rel = rels.find(id);
    if (id.empty() || rel == rels.end() || rel->second.external)
      Fail("sheet \"" + entry.name + "\" has no part in the package");
    const std::string& type = rel->second.type;
    entry.kind = EndsWith(type, "/worksheet")    ? SheetKind::Worksheet
                 : EndsWith(type, "/chartsheet") ? SheetKind::Chartsheet
                 : EndsWith(type, "/dialogsheet") ? SheetKind::Dialogsheet
                                                  : SheetKind::Other;
    entry.part = rel->second.target;
    if (!package_->Has(entry.part)) Fail("the part " + entry.part + " of sheet \"" + entry.name + "\" is missing");
    sheets_.push_back(entry);
    entries_.push_back(SheetEntry{entry.name, entry.kind == SheetKind::Worksheet});
  }
  if (sheets_.empty()) Fail("the workbook has no sheets");
  if (activeTab_ >= sheets_.size()) activeTab_ = 0;
  workbook.reset();
  workbookCopy.clear();
  workbookCopy.shrink_to_fit();

  try {
    if (!stylesPart.empty()) {
      if (!package_->Has(stylesPart)) Fail("the style part " + stylesPart + " is missing");
      styles_ = Styles(ReadXmlPart(stylesPart));
    }
  } catch (const XmlFault& fault) {
    Fail("the style part " + stylesPart + " is not valid XML: " + fault.message);
  }
  try {
    if (!stringsPart.empty()) {
      if (!package_->Has(stringsPart)) Fail("the shared string part " + stringsPart + " is missing");
      strings_ = SharedStrings(ReadXmlBytes(stringsPart).View());
    }
  } catch (const XmlFault& fault) {
    Fail("the shared string part " + stringsPart + " is not valid XML: " + fault.message);
  }

  if (!metadataPart.empty() && package_->Has(metadataPart)) arrayMetadata_ = DynamicArrayMetadata(ReadXmlPart(metadataPart));

  data_.resize(sheets_.size());
  for (size_t i = 0; i < sheets_.size(); ++i) {
    if (sheets_[i].kind != SheetKind::Worksheet) continue;
    current_ = sheets_[i].part;
    PartBytes xml = ReadPartBytes(sheets_[i].part);
    // Alternatives among the rows and cells are read as their chosen branch;
    // a changed sheet is written that way too, so no branch goes stale.
    std::string resolved;
    if (ResolveSheetDataAlternates(xml.View(), resolved)) Replace(xml, resolved);
    try {
      data_[i] = std::make_unique<SheetData>(std::move(xml), strings_.Count(), styles_.Count());
    } catch (const XmlFault& fault) {
      Fail("sheet \"" + sheets_[i].name + "\" (" + sheets_[i].part + ") is damaged: " + fault.message);
    }
    std::vector<TableArea> tables;
    ReadSheetRelations(sheets_[i], tables);
    data_[i]->SetTables(std::move(tables));
    data_[i]->Bind(strings_, styles_, arrayMetadata_, date1904_);
  }
}

void WorkbookFile::ReadSheetRelations(SheetParts& entry, std::vector<TableArea>& tables) {
  std::string relsPart = RelationshipsPartOf(entry.part);
  if (!package_->Has(relsPart)) return;
  auto load = [this](pugi::xml_document& doc, std::string& xml, const std::string& part) {
    pugi::xml_parse_result result = doc.load_buffer_inplace(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_auto);
    if (!result) Fail("the part " + part + " is not well-formed XML (fault at byte " + std::to_string(result.offset) + ")");
  };
  std::string relsXml = ReadXmlPart(relsPart);
  pugi::xml_document rels;
  load(rels, relsXml, relsPart);
  for (pugi::xml_node rel : rels.document_element().children()) {
    if (LocalName(rel.name()) != "Relationship" ||
        std::string_view(rel.attribute("TargetMode").value()) == "External")
      continue;
    std::string_view type = rel.attribute("Type").value();
    std::string target = ResolveTarget(entry.part, rel.attribute("Target").value());
    if (!package_->Has(target)) continue;
    if (EndsWith(type, "/comments")) {
      entry.commentParts.push_back(target);
    } else if (EndsWith(type, "/threadedComment")) {
      entry.threadedCommentParts.push_back(target);
    } else if (EndsWith(type, "/vmlDrawing")) {
      entry.vmlParts.push_back(target);
    } else if (EndsWith(type, "/table")) {
      std::string xml = ReadXmlPart(target);
      pugi::xml_document doc;
      load(doc, xml, target);
      pugi::xml_node table = doc.document_element();
      TableArea area;
      area.name = table.attribute("displayName").value();
      if (area.name.empty()) area.name = table.attribute("name").value();
      if (!ParseAreaReference(table.attribute("ref").value(), area.area))
        Fail("the table \"" + area.name + "\" of sheet \"" + entry.name + "\" has no valid area");
      area.headerRows = table.attribute("headerRowCount").as_int(1);
      area.totalsRows = table.attribute("totalsRowCount").as_int(0);
      tables.push_back(area);
    }
  }
}

void WorkbookFile::MoveNotes(const SheetParts& entry, const SheetData& data, std::map<std::string, NewPart>& changed) {
  auto rewrite = [&](const std::string& part, const std::function<bool(std::string&)>& move) {
    std::string xml = package_->Read(part);
    try {
      if (!move(xml)) return;
    } catch (const XmlFault& fault) {
      throw HostError("Cannot save \"" + path_ + "\": the notes part " + part + " is damaged: " + fault.message + ".");
    }
    changed[package_->StoredName(part)] = TextPart(std::move(xml));
  };
  const auto& moves = data.Moves();
  for (const std::string& part : entry.commentParts)
    rewrite(part, [&](std::string& xml) { return MoveCellRefs(xml, "comment", moves); });
  for (const std::string& part : entry.threadedCommentParts)
    rewrite(part, [&](std::string& xml) { return MoveCellRefs(xml, "threadedComment", moves); });
  for (const std::string& part : entry.vmlParts)
    rewrite(part, [&](std::string& xml) { return MoveVmlNotes(xml, moves); });
}

SheetStore* WorkbookFile::Sheet(size_t index) { return index < data_.size() ? data_[index].get() : nullptr; }

std::string WorkbookFile::WorkbookWithFullCalc() const {
  std::string xml = workbookXml_;
  pugi::xml_document doc;
  unsigned flags = kRewriteFlags;
  if (!doc.load_buffer(xml.data(), xml.size(), flags, pugi::encoding_auto))
    throw HostError("Cannot save \"" + path_ + "\": the workbook part cannot be read again.");
  pugi::xml_node root = doc.document_element();
  std::string_view rootName = root.name();
  std::string prefix(rootName.substr(0, rootName.size() - LocalName(rootName).size()));
  pugi::xml_node calcPr = ChildElement(root, "calcPr");
  if (!calcPr) {
    // calcPr follows these elements in the workbook's element order.
    static const char* const before[] = {"fileVersion", "fileSharing", "workbookPr", "workbookProtection",
                                         "bookViews",   "sheets",      "functionGroups", "externalReferences",
                                         "definedNames"};
    pugi::xml_node after;
    for (pugi::xml_node child : root.children()) {
      if (child.type() != pugi::node_element) continue;
      std::string_view local = LocalName(child.name());
      if (std::any_of(std::begin(before), std::end(before), [&](const char* n) { return local == n; })) after = child;
    }
    calcPr = after ? root.insert_child_after((prefix + "calcPr").c_str(), after)
                   : root.prepend_child((prefix + "calcPr").c_str());
  }
  pugi::xml_attribute full = calcPr.attribute("fullCalcOnLoad");
  if (!full) full = calcPr.append_attribute("fullCalcOnLoad");
  full.set_value("1");
  std::ostringstream out;
  doc.save(out, "", pugi::format_raw | (doc.first_child().type() == pugi::node_declaration ? 0 : pugi::format_no_declaration),
           pugi::encoding_utf8);
  return out.str();
}

void WorkbookFile::Save() {
  current_.clear();
  try {
    SaveChanges();
  } catch (...) {
    RethrowAsHostError("Cannot save \"" + path_ + "\": " + (current_.empty() ? "the package" : "the part " + current_));
  }
}

void WorkbookFile::SaveChanges() {
  std::map<std::string, NewPart> changed;
  bool formulasMoved = false;  // the calculation chain names formula cells by address
  for (size_t i = 0; i < data_.size() && i < sheets_.size(); ++i) {
    const SheetData* data = data_[i].get();
    const std::string& part = sheets_[i].part;
    if (!data || !data->Modified()) continue;
    current_ = part;
    // The package counts the bytes as it deflates them; the size as read
    // tells it how to split the work.
    changed[package_->StoredName(part)] = NewPart{data->Writer(), data->SourceSize(), kSheetDeflateLevel};
    if (data->Moves().empty()) continue;
    formulasMoved = formulasMoved || data->HoldsFormulas();
    MoveNotes(sheets_[i], *data, changed);
  }
  if (fullCalc_) {
    current_ = workbookPart_;
    changed[package_->StoredName(workbookPart_)] = TextPart(WorkbookWithFullCalc());
  }
  if ((fullCalc_ || formulasMoved) && !calcChainPart_.empty() && package_->Has(calcChainPart_)) {
    current_ = workbookRelsPart_;
    DropCalcChain(*package_, workbookRelsPart_, calcChainPart_, changed);
  }
  current_.clear();
  // Nothing changed (a sort that moved no row): the file stays as it is.
  if (changed.empty()) return;
  try {
    package_->Save(changed);
  } catch (...) {
    if (!package_->FailedEntry().empty()) current_ = package_->FailedEntry();
    throw;
  }
}


MemoryNeed OoxmlMemoryNeed(const std::string& path) {
  const uint64_t xml = InflatedXmlSize(path);
  return {3 * xml, "its XML parts inflate to " + SizeText(xml)};
}
}  // namespace host::ooxml
