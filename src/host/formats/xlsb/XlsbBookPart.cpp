#include "host/formats/xlsb/XlsbBookPart.h"

#include <cstring>

#include "host/formats/xlsb/XlsbRecords.h"
#include "host/io/LittleEndian.h"

namespace host::xlsb {

BookPart ReadBookPart(std::string_view part, const std::string& partName) {
  BookPart book;
  RecordReader reader(part, partName);
  Record record;
  bool viewRead = false;
  // The supporting links in order: true for those that name this workbook.
  std::vector<bool> selfLinks;
  while (reader.Next(record)) {
    const std::string_view body = record.body;
    switch (record.type) {
      case rt::kBundleSh: {
        // hsState, iTabID, then the relationship id and the name.
        BookPart::Sheet sheet;
        size_t at = 8;
        if (body.size() < 8 || !ReadWideString(body, at, sheet.relationshipId) || !ReadWideString(body, at, sheet.name))
          reader.Damaged(record, "holds a sheet entry that is cut off");
        book.sheets.push_back(std::move(sheet));
        break;
      }
      case rt::kWbProp:
        if (body.size() < 4) reader.Damaged(record, "is shorter than the workbook's properties");
        book.date1904 = io::U32(body, 0) & 1;
        break;
      case rt::kBookView:
        if (body.size() < 28) reader.Damaged(record, "is shorter than a workbook view");
        if (!viewRead) book.activeTab = io::U32(body, 24);
        viewRead = true;
        break;
      case rt::kName: {
        // Flags, a shortcut key and the sheet it is local to, then the name.
        size_t at = 9;
        std::string name;
        if (body.size() < 9 || !ReadWideString(body, at, name)) reader.Damaged(record, "holds a defined name that is cut off");
        book.definedNames.push_back(std::move(name));
        // The formula after the name: its size and its tokens.
        BookPart::NameDefinition definition;
        const uint32_t scope = io::U32(body, 5);
        definition.sheet = scope == 0xFFFFFFFFu || scope > 0xFFFF ? -1 : static_cast<int>(scope);
        if (at + 4 <= body.size()) {
          const size_t size = io::U32(body, at);
          if (size <= body.size() - at - 4) definition.rgce = std::string(body.substr(at + 4, size));
        }
        book.nameDefinitions.push_back(std::move(definition));
        break;
      }
      case rt::kSupSelf:
      case rt::kSupSame: selfLinks.push_back(true); break;
      case rt::kSupBookSrc:
      case rt::kSupAddin: selfLinks.push_back(false); break;
      case rt::kExternSheet: {
        if (body.size() < 4) reader.Damaged(record, "is shorter than its count");
        const uint32_t count = io::U32(body, 0);
        if (count > (body.size() - 4) / 12) reader.Damaged(record, "holds fewer entries than it counts");
        for (uint32_t i = 0; i < count; ++i) {
          const uint32_t link = io::U32(body, 4 + 12 * i);
          const auto first = static_cast<int32_t>(io::U32(body, 8 + 12 * i));
          const auto last = static_cast<int32_t>(io::U32(body, 12 + 12 * i));
          const bool self = link < selfLinks.size() && selfLinks[link];
          book.xtiSheets.push_back(self && first == last && first >= 0 ? first : -1);
        }
        break;
      }
      case rt::kCalcProp:
        // The flags (fFullCalcOnLoad first) follow the engine id, the mode,
        // the iteration count and change, and the thread count.
        if (body.size() < 26) reader.Damaged(record, "is shorter than the calculation properties");
        book.calcPropBodyAt = static_cast<size_t>(body.data() - part.data());
        break;
      default: break;
    }
    if (book.calcPropBodyAt == std::string_view::npos &&
        (record.type == rt::kBeginBook || record.type == rt::kEndBundleShs || record.type == rt::kEndExternals ||
         record.type == rt::kName))
      book.calcPropPlace = record.end;
  }
  return book;
}

std::string WithFullCalcOnLoad(std::string_view part, const BookPart& book) {
  std::string out(part);
  if (book.calcPropBodyAt != std::string_view::npos) {
    out[book.calcPropBodyAt + 24] = static_cast<char>(io::U8(part, book.calcPropBodyAt + 24) | 0x01);
    return out;
  }
  // Engine 0 (never calculated), automatic, 100 iterations of 0.001, one
  // thread; full calculation on load, A1 references, full precision,
  // calculation before saving, several threads.
  std::string body;
  io::Append(body, 0, 4);
  io::Append(body, 1, 4);
  io::Append(body, 100, 4);
  const double delta = 0.001;
  uint64_t bits = 0;
  std::memcpy(&bits, &delta, sizeof bits);
  io::Append(body, bits, 8);
  io::Append(body, 1, 4);
  io::Append(body, 0x01 | 0x02 | 0x08 | 0x20 | 0x40, 2);
  std::string record;
  AppendRecord(record, rt::kCalcProp, body);
  out.insert(book.calcPropPlace, record);
  return out;
}

}  // namespace host::xlsb
