#include "formats/xlsb/XlsbFixtures.h"

#include <cstring>

namespace xlsbfixtures {

std::string U16(uint32_t value) { return std::string{static_cast<char>(value & 0xFF), static_cast<char>(value >> 8 & 0xFF)}; }
std::string U32(uint32_t value) { return U16(value & 0xFFFF) + U16(value >> 16); }
std::string F64(double value) {
  std::string bytes(8, '\0');
  std::memcpy(bytes.data(), &value, 8);
  return bytes;
}
std::string Wide(const std::string& ascii) {
  std::string out = U32(static_cast<uint32_t>(ascii.size()));
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

std::string Record(uint32_t type, const std::string& body) {
  auto varint = [](uint32_t value) {
    std::string out;
    do {
      uint8_t byte = value & 0x7F;
      value >>= 7;
      if (value) byte |= 0x80;
      out.push_back(static_cast<char>(byte));
    } while (value);
    return out;
  };
  return varint(type) + varint(static_cast<uint32_t>(body.size())) + body;
}

namespace {
std::string Cell(int column, uint32_t style) { return U32(static_cast<uint32_t>(column)) + U32(style & 0xFFFFFF); }
std::string Formula(const std::string& rgce, const std::string& rgcb) {
  return U32(static_cast<uint32_t>(rgce.size())) + rgce + U32(static_cast<uint32_t>(rgcb.size())) + rgcb;
}
}  // namespace

std::string Row(int row, bool hidden) {
  return Record(0, U32(static_cast<uint32_t>(row)) + U32(0) + U16(300) + std::string(1, '\0') +
                       std::string(1, hidden ? '\x10' : '\0') + std::string(1, '\0') + U32(0));
}
std::string Blank(int column, uint32_t style) { return Record(1, Cell(column, style)); }
std::string Number(int column, double value, uint32_t style) { return Record(5, Cell(column, style) + F64(value)); }
std::string Rk(int column, uint32_t rk) { return Record(2, Cell(column, 0) + U32(rk)); }
std::string Text(int column, const std::string& text) { return Record(6, Cell(column, 0) + Wide(text)); }
std::string Shared(int column, uint32_t index, uint32_t style) { return Record(7, Cell(column, style) + U32(index)); }
std::string Bool(int column, bool value) { return Record(4, Cell(column, 0) + std::string(1, value ? '\1' : '\0')); }
std::string Error(int column, uint8_t code) { return Record(3, Cell(column, 0) + std::string(1, static_cast<char>(code))); }
std::string FormulaNumber(int column, double cached, const std::string& rgce, const std::string& rgcb) {
  return Record(9, Cell(column, 0) + F64(cached) + U16(0) + Formula(rgce, rgcb));
}

namespace {
uint16_t ColumnWord(uint32_t column, bool rowRelative, bool columnRelative) {
  return static_cast<uint16_t>((column & 0x3FFF) | (columnRelative ? 0x4000 : 0) | (rowRelative ? 0x8000 : 0));
}
}  // namespace

std::string PtgRef(uint32_t row, uint32_t column, bool rowRelative, bool columnRelative) {
  return "\x44" + U32(row) + U16(ColumnWord(column, rowRelative, columnRelative));
}
std::string PtgRefN(int32_t rowOffset, int32_t columnOffset) {
  return "\x4C" + U32(static_cast<uint32_t>(rowOffset)) + U16(ColumnWord(static_cast<uint32_t>(columnOffset), true, true));
}
std::string PtgArea(uint32_t firstRow, uint32_t lastRow, uint32_t firstColumn, uint32_t lastColumn, bool relative) {
  return "\x25" + U32(firstRow) + U32(lastRow) + U16(ColumnWord(firstColumn, relative, relative)) +
         U16(ColumnWord(lastColumn, relative, relative));
}
std::string PtgRef3d(uint16_t xti, uint32_t row, uint32_t column) {
  return "\x5A" + U16(xti) + U32(row) + U16(ColumnWord(column, true, true));
}
std::string PtgNum(double value) { return "\x1F" + F64(value); }
std::string PtgExp(uint32_t row) { return "\x01" + U32(row); }
std::string PtgArea3d(uint16_t xti, uint32_t firstRow, uint32_t lastRow, uint32_t firstColumn, uint32_t lastColumn) {
  return "\x3B" + U16(xti) + U32(firstRow) + U32(lastRow) + U16(ColumnWord(firstColumn, true, true)) +
         U16(ColumnWord(lastColumn, true, true));
}
std::string PtgInt(uint16_t value) { return "\x1E" + U16(value); }
std::string PtgBool(bool value) { return std::string("\x1D") + (value ? '\1' : '\0'); }
std::string PtgStr(const std::string& ascii) {
  std::string out = "\x17" + U16(static_cast<uint32_t>(ascii.size()));
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}
std::string PtgFuncVar(uint8_t arguments, uint16_t function) {
  return "\x42" + std::string(1, static_cast<char>(arguments)) + U16(function);
}
std::string PtgOp(uint8_t token) { return std::string(1, static_cast<char>(token)); }
std::string PtgFunc(uint16_t function) { return "\x41" + U16(function); }
std::string Area(int firstRow, int lastRow, int firstColumn, int lastColumn) {
  return U32(static_cast<uint32_t>(firstRow)) + U32(static_cast<uint32_t>(lastRow)) + U32(static_cast<uint32_t>(firstColumn)) +
         U32(static_cast<uint32_t>(lastColumn));
}
std::string SharedFormula(int firstRow, int lastRow, int firstColumn, int lastColumn, const std::string& rgce) {
  return Record(427, Area(firstRow, lastRow, firstColumn, lastColumn) + Formula(rgce, ""));
}
std::string MergeCells(const std::vector<std::string>& areas) {
  std::string out = Record(177, U32(static_cast<uint32_t>(areas.size())));
  for (const std::string& area : areas) out += Record(176, area);
  return out + Record(178, "");
}
std::string Hyperlink(int firstRow, int lastRow, int firstColumn, int lastColumn, const std::string& relId) {
  return Record(494, Area(firstRow, lastRow, firstColumn, lastColumn) + Wide(relId) + Wide("") + Wide("") + Wide(""));
}
std::string Protection(bool sortLocked, bool formatRowsLocked) {
  std::string body = U16(0) + U32(1);  // no password, locked
  for (int field = 0; field < 15; ++field) {
    bool locked = field == 4 ? formatRowsLocked : field == 11 ? sortLocked : true;
    body += U32(locked ? 1 : 0);
  }
  return Record(535, body);
}

std::string SheetPart(const std::string& data, const std::string& after) {
  return Record(129, "") + Record(148, Area(0, 0, 0, 0)) + Record(145, "") + data + Record(146, "") + after + Record(130, "");
}

std::string StylesPart(const std::vector<std::pair<uint16_t, std::string>>& formats, const std::vector<uint16_t>& xfs) {
  std::string out = Record(278, "") + Record(615, U32(static_cast<uint32_t>(formats.size())));
  for (const auto& [id, code] : formats) out += Record(44, U16(id) + Wide(code));
  out += Record(616, "") + Record(617, U32(static_cast<uint32_t>(xfs.size())));
  for (uint16_t id : xfs) out += Record(47, U16(0xFFFF) + U16(id) + std::string(12, '\0'));
  return out + Record(618, "") + Record(279, "");
}

std::vector<std::pair<std::string, std::string>> Package(const std::vector<SheetSpec>& sheets,
                                                          const std::vector<std::string>& strings, const std::string& styles,
                                                          uint32_t activeTab, bool date1904) {
  std::string types =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Override PartName=\"/xl/workbook.bin\" ContentType=\"application/vnd.ms-excel.sheet.binary.macroEnabled.main\"/>"
      "<Override PartName=\"/xl/sharedStrings.bin\" ContentType=\"application/vnd.ms-excel.sharedStrings\"/>";
  if (!styles.empty()) types += "<Override PartName=\"/xl/styles.bin\" ContentType=\"application/vnd.ms-excel.styles\"/>";
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
  std::string bookRels =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rIdS\" Type=\"" + rel + "sharedStrings\" Target=\"sharedStrings.bin\"/>";
  if (!styles.empty()) bookRels += "<Relationship Id=\"rIdY\" Type=\"" + rel + "styles\" Target=\"styles.bin\"/>";
  std::string book = Record(131, "") + Record(153, U32(date1904 ? 1 : 0) + U32(0) + Wide("")) + Record(135, "") +
                     Record(158, U32(0) + U32(0) + U32(20000) + U32(10000) + U32(600) + U32(0) + U32(activeTab) +
                                     std::string(1, '\x78')) +
                     Record(136, "") + Record(143, "");
  std::vector<std::pair<std::string, std::string>> parts;
  for (size_t i = 0; i < sheets.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    types += "<Override PartName=\"/xl/worksheets/sheet" + n + ".bin\" ContentType=\"application/vnd.ms-excel.worksheet\"/>";
    bookRels += "<Relationship Id=\"rId" + n + "\" Type=\"" + rel + "worksheet\" Target=\"worksheets/sheet" + n + ".bin\"/>";
    book += Record(156, U32(0) + U32(static_cast<uint32_t>(i + 1)) + Wide("rId" + n) + Wide(sheets[i].name));
    parts.emplace_back("xl/worksheets/sheet" + n + ".bin", SheetPart(sheets[i].data, sheets[i].after));
    if (!sheets[i].rels.empty()) parts.emplace_back("xl/worksheets/_rels/sheet" + n + ".bin.rels", sheets[i].rels);
    for (const auto& part : sheets[i].parts) parts.push_back(part);
  }
  book += Record(144, "");
  if (sheets.size() > 1) {
    // The externals: the workbook itself, then one XTI per sheet.
    std::string xtis = U32(static_cast<uint32_t>(sheets.size()));
    for (size_t i = 0; i < sheets.size(); ++i) xtis += U32(0) + U32(static_cast<uint32_t>(i)) + U32(static_cast<uint32_t>(i));
    book += Record(353, "") + Record(357, "") + Record(362, xtis) + Record(354, "");
  }
  book += Record(132, "");
  bookRels += "</Relationships>";
  std::string sst = Record(159, U32(static_cast<uint32_t>(strings.size())) + U32(static_cast<uint32_t>(strings.size())));
  for (const std::string& s : strings) sst += Record(19, std::string(1, '\0') + Wide(s));
  sst += Record(160, "");
  for (const auto& [name, bytes] : parts) {
    (void)bytes;
    if (name.find("comments") != std::string::npos && name.size() > 4 && name.substr(name.size() - 4) == ".bin")
      types += "<Override PartName=\"/" + name + "\" ContentType=\"application/vnd.ms-excel.comments\"/>";
  }
  types += "<Default Extension=\"vml\" ContentType=\"application/vnd.openxmlformats-officedocument.vmlDrawing\"/></Types>";
  std::vector<std::pair<std::string, std::string>> all = {
      {"[Content_Types].xml", types},
      {"_rels/.rels",
       "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
       "<Relationship Id=\"rId1\" Type=\"" + rel + "officeDocument\" Target=\"xl/workbook.bin\"/></Relationships>"},
      {"xl/workbook.bin", book},
      {"xl/_rels/workbook.bin.rels", bookRels},
      {"xl/sharedStrings.bin", sst},
  };
  if (!styles.empty()) all.emplace_back("xl/styles.bin", styles);
  all.insert(all.end(), parts.begin(), parts.end());
  return all;
}

std::string Write(const fixtures::TempDir& dir, const std::string& file,
                  const std::vector<std::pair<std::string, std::string>>& parts) {
  fixtures::WriteZip(dir.File(file), parts);
  return dir.File(file);
}

std::string Keys(const fixtures::TempDir& dir, const std::string& file, bool merged) {
  const char* const keys[] = {"b", "a", "c"};
  std::string data;
  std::vector<std::string> strings, merges;
  for (int r = 0; r < 3; ++r) {
    strings.push_back(keys[r]);
    data += Row(r) + Shared(0, static_cast<uint32_t>(strings.size() - 1)) + Number(1, r + 1);
    if (merged) {
      strings.push_back(std::string(keys[r]) + "-m");
      data += Shared(2, static_cast<uint32_t>(strings.size() - 1));
      merges.push_back(Area(r, r, 2, 3));
    }
  }
  SheetSpec sheet{"Keys", data, merged ? MergeCells(merges) : std::string(), {}, ""};
  return Write(dir, file, Package({sheet}, strings));
}

std::string EncryptedPackageFile() {
  constexpr uint32_t kFree = 0xFFFFFFFF, kEnd = 0xFFFFFFFE, kFatSector = 0xFFFFFFFD, kNone = 0xFFFFFFFF;
  // The header: signature, version 3.62, little-endian, 512-byte sectors,
  // 64-byte mini sectors, one FAT sector (sector 0), the directory in sector 1.
  std::string file = std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(16, '\0') + U16(0x3E) + U16(3) +
                     U16(0xFFFE) + U16(9) + U16(6) + std::string(6, '\0') + U32(0) + U32(1) + U32(1) + U32(0) + U32(4096) +
                     U32(kEnd) + U32(0) + U32(kEnd) + U32(0) + U32(0);
  for (int i = 1; i < 109; ++i) file += U32(kFree);
  // Sector 0, the FAT: itself, the directory, then two streams of eight sectors.
  std::string fat = U32(kFatSector) + U32(kEnd);
  for (uint32_t s = 2; s < 18; ++s) fat += U32(s == 9 || s == 17 ? kEnd : s + 1);
  while (fat.size() < 512) fat += U32(kFree);
  // Sector 1, the directory: the root, its two streams (a tree of two), one unused entry.
  auto entry = [](const std::string& name, uint8_t type, uint8_t colour, uint32_t right, uint32_t child, uint32_t start,
                  uint32_t size) {
    std::string e;
    for (char c : name) e += std::string{c, '\0'};
    e.resize(64, '\0');
    e += U16(name.empty() ? 0 : static_cast<uint32_t>(2 * name.size() + 2));
    e += std::string{static_cast<char>(type), static_cast<char>(colour)};
    e += U32(kNone) + U32(right) + U32(child) + std::string(16 + 4 + 16, '\0') + U32(start) + U32(size) + U32(0);
    return e;
  };
  std::string directory = entry("Root Entry", 5, 1, kNone, 1, kEnd, 0) + entry("EncryptionInfo", 2, 1, 2, kNone, 2, 4096) +
                          entry("EncryptedPackage", 2, 0, kNone, kNone, 10, 4096) + entry("", 0, 0, kNone, kNone, 0, 0);
  std::string info = U16(4) + U16(4) + U32(0x40) + "<?xml version=\"1.0\" encoding=\"UTF-8\"?><encryption/>";
  info.resize(4096, '\0');
  std::string package = U32(1000) + U32(0);
  for (int i = 0; package.size() < 4096; ++i) package.push_back(static_cast<char>(i * 37 + 11));
  return file + fat + directory + info + package;
}

}  // namespace xlsbfixtures
