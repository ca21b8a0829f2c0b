#include "host/formats/xlsb/XlsbWorkbook.h"

#include <map>

#include "host/core/HostError.h"
#include "host/formats/ooxml/CalcChainDrop.h"
#include "host/formats/ooxml/NoteMoves.h"
#include "host/formats/ooxml/PackageRelationships.h"
#include "host/formats/xlsb/XlsbNotes.h"
#include "host/formats/xlsb/XlsbRecords.h"
#include "host/formats/xlsb/XlsbSheet.h"
#include "host/io/LittleEndian.h"

namespace host::xlsb {

using ooxml::ContentTypeOf;
using ooxml::PackageRelationship;
using ooxml::ReadRelationships;
using ooxml::RelationshipsPartOf;

namespace {

bool EndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// A table part's area, header and totals rows and name (BrtBeginList).
bool ReadTable(std::string_view part, const std::string& partName, TableArea& table) {
  RecordReader reader(part, partName);
  Record record;
  while (reader.Next(record)) {
    if (record.type != rt::kBeginList) continue;
    const std::string_view body = record.body;
    if (body.size() < 64) reader.Damaged(record, "is shorter than a table");
    table.area = CellArea{static_cast<int>(io::U32(body, 0)) + 1, static_cast<int>(io::U32(body, 8)) + 1,
                          static_cast<int>(io::U32(body, 4)) + 1, static_cast<int>(io::U32(body, 12)) + 1};
    if (table.area.firstRow < 1 || table.area.lastRow > kMaxRows || table.area.firstRow > table.area.lastRow ||
        table.area.firstColumn < 1 || table.area.lastColumn > kMaxColumns || table.area.firstColumn > table.area.lastColumn)
      reader.Damaged(record, "names an area beyond the sheet");
    table.headerRows = static_cast<int>(io::U32(body, 24));
    table.totalsRows = static_cast<int>(io::U32(body, 28));
    size_t at = 64;
    std::string name, display;
    if (ReadWideString(body, at, name) && ReadWideString(body, at, display)) table.name = display.empty() ? name : display;
    return true;
  }
  return false;
}

}  // namespace

XlsbWorkbook::~XlsbWorkbook() = default;

XlsbWorkbook::XlsbWorkbook(const std::string& path) : path_(path) {
  try {
    Load();
  } catch (const RecordFault& fault) {
    throw CannotOpen(path_, fault.message);
  } catch (const XmlFault& fault) {
    throw CannotOpen(path_, "the part " + current_ + " is not valid XML: " + fault.message);
  } catch (...) {
    RethrowAsHostError("Cannot open \"" + path_ + "\": " + (current_.empty() ? "the package" : "the part " + current_));
  }
}

void XlsbWorkbook::Load() {
  package_ = std::make_unique<Package>(path_);
  auto fail = [this](const std::string& why) { throw CannotOpen(path_, why); };
  auto read = [this](const std::string& part) {
    current_ = part;
    return package_->Read(part);
  };
  if (!package_->Has("[Content_Types].xml") || !package_->Has("_rels/.rels")) fail("the package has no workbook part");
  std::string workbookPart;
  for (const PackageRelationship& rel : ReadRelationships(read("_rels/.rels"), ""))
    if (!rel.external && EndsWith(rel.type, "/officeDocument")) {
      workbookPart = rel.target;
      break;
    }
  if (workbookPart.empty() || !package_->Has(workbookPart)) fail("the package has no workbook part");
  const std::string type = ContentTypeOf(read("[Content_Types].xml"), workbookPart);
  if (type != kMainContentType) fail("its main part is \"" + type + "\", not a binary workbook");
  workbookPart_ = workbookPart;
  workbookBytes_ = read(workbookPart);
  book_ = ReadBookPart(workbookBytes_, workbookPart);
  if (book_.sheets.empty()) fail("the workbook has no sheets");
  activeTab_ = book_.activeTab < book_.sheets.size() ? book_.activeTab : 0;

  std::map<std::string, PackageRelationship> rels;
  workbookRelsPart_ = RelationshipsPartOf(workbookPart);
  if (package_->Has(workbookRelsPart_))
    for (PackageRelationship& rel : ReadRelationships(read(workbookRelsPart_), workbookPart)) rels[rel.id] = std::move(rel);
  for (const auto& [id, rel] : rels) {
    if (rel.external || !package_->Has(rel.target)) continue;
    if (EndsWith(rel.type, "/calcChain")) calcChainPart_ = rel.target;
    if (EndsWith(rel.type, "/sharedStrings")) strings_ = SharedStrings(read(rel.target), rel.target);
    if (EndsWith(rel.type, "/styles")) styles_ = Styles(read(rel.target), rel.target);
  }

  XlsbSheet::Book lent;
  lent.strings = &strings_;
  lent.styles = &styles_;
  lent.names = Names();
  sheets_.resize(book_.sheets.size());
  data_.resize(book_.sheets.size());
  for (size_t i = 0; i < book_.sheets.size(); ++i) {
    const BookPart::Sheet& sheet = book_.sheets[i];
    auto rel = rels.find(sheet.relationshipId);
    if (rel == rels.end() || rel->second.external) fail("sheet \"" + sheet.name + "\" has no part in the package");
    const bool worksheet = EndsWith(rel->second.type, "/worksheet");
    entries_.push_back(SheetEntry{sheet.name, worksheet});
    if (!worksheet) continue;
    if (!package_->Has(rel->second.target))
      fail("the part " + rel->second.target + " of sheet \"" + sheet.name + "\" is missing");
    sheets_[i].part = rel->second.target;
    current_ = sheets_[i].part;
    data_[i] = std::make_unique<XlsbSheet>(package_->ReadBytes(sheets_[i].part), sheets_[i].part, lent);
    std::vector<TableArea> tables;
    ReadSheetRelations(sheets_[i], sheet.name, tables);
    data_[i]->SetTables(std::move(tables));
  }
  current_.clear();
}

void XlsbWorkbook::ReadSheetRelations(SheetParts& parts, const std::string& sheetName, std::vector<TableArea>& tables) {
  const std::string relsPart = RelationshipsPartOf(parts.part);
  if (!package_->Has(relsPart)) return;
  current_ = relsPart;
  for (const PackageRelationship& rel : ReadRelationships(package_->Read(relsPart), parts.part)) {
    if (rel.external || !package_->Has(rel.target)) continue;
    if (EndsWith(rel.type, "/comments")) {
      parts.commentParts.push_back(rel.target);
    } else if (EndsWith(rel.type, "/vmlDrawing")) {
      parts.vmlParts.push_back(rel.target);
    } else if (EndsWith(rel.type, "/table")) {
      current_ = rel.target;
      TableArea table;
      if (!ReadTable(package_->Read(rel.target), rel.target, table))
        throw CannotOpen(path_, "the table part " + rel.target + " of sheet \"" + sheetName + "\" holds no table");
      tables.push_back(std::move(table));
    }
  }
}

FormulaNames XlsbWorkbook::Names() const {
  FormulaNames names;
  names.sheetOfXti = [this](uint32_t xti) -> std::string {
    if (xti >= book_.xtiSheets.size()) return {};
    const int sheet = book_.xtiSheets[xti];
    return sheet >= 0 && static_cast<size_t>(sheet) < book_.sheets.size() ? book_.sheets[static_cast<size_t>(sheet)].name
                                                                           : std::string();
  };
  names.definedName = [this](uint32_t index) -> std::string {
    return index >= 1 && index <= book_.definedNames.size() ? book_.definedNames[index - 1] : std::string();
  };
  return names;
}

std::optional<std::vector<WorkbookStore::DefinedName>> XlsbWorkbook::DefinedNames() const {
  const FormulaNames lent = Names();
  return NamesFromTokens(book_.definedNames, book_.nameDefinitions,
                         [&lent](const auto& rgce) { return FormulaText(rgce, 0, 0, lent); });
}

SheetStore* XlsbWorkbook::Sheet(size_t index) { return index < data_.size() ? data_[index].get() : nullptr; }

void XlsbWorkbook::Save() {
  current_.clear();
  try {
    SaveChanges();
  } catch (const RecordFault& fault) {
    throw HostError("Cannot save \"" + path_ + "\": " + fault.message + ".");
  } catch (const XmlFault& fault) {
    throw HostError("Cannot save \"" + path_ + "\": the part " + current_ + " is damaged: " + fault.message + ".");
  } catch (...) {
    RethrowAsHostError("Cannot save \"" + path_ + "\": " + (current_.empty() ? "the package" : "the part " + current_));
  }
}

void XlsbWorkbook::SaveChanges() {
  std::map<std::string, NewPart> changed;
  bool formulasMoved = false;
  for (size_t i = 0; i < data_.size() && i < sheets_.size(); ++i) {
    const XlsbSheet* sheet = data_[i].get();
    if (!sheet || !sheet->Modified()) continue;
    current_ = sheets_[i].part;
    // The package counts the bytes as it deflates them; the size as read
    // tells it how to split the work.
    changed[package_->StoredName(sheets_[i].part)] = NewPart{sheet->Writer(), sheet->SourceSize(), kBinarySheetDeflateLevel};
    if (sheet->Moves().empty()) continue;
    formulasMoved = formulasMoved || sheet->HoldsFormulas();
    for (const std::string& part : sheets_[i].commentParts) {
      current_ = part;
      std::string bytes = package_->Read(part);
      if (MoveCommentCells(bytes, part, sheet->Moves())) changed[package_->StoredName(part)] = TextPart(std::move(bytes));
    }
    for (const std::string& part : sheets_[i].vmlParts) {
      current_ = part;
      std::string xml = package_->Read(part);
      if (ooxml::MoveVmlNotes(xml, sheet->Moves())) changed[package_->StoredName(part)] = TextPart(std::move(xml));
    }
  }
  if (fullCalc_) {
    current_ = workbookPart_;
    changed[package_->StoredName(workbookPart_)] = TextPart(WithFullCalcOnLoad(workbookBytes_, book_));
  }
  // The calculation chain names formula cells by address.
  if ((fullCalc_ || formulasMoved) && !calcChainPart_.empty()) {
    current_ = workbookRelsPart_;
    ooxml::DropCalcChain(*package_, workbookRelsPart_, calcChainPart_, changed);
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

}  // namespace host::xlsb
