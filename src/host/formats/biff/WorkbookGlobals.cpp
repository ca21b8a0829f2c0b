#include "host/formats/biff/WorkbookGlobals.h"

#include <algorithm>
#include <iterator>

#include "host/core/HostError.h"
#include "host/formats/biff/BiffRecords.h"
#include "host/formats/biff/ContinuedData.h"
#include "host/formats/biff/XlsFormat.h"
#include "host/io/LittleEndian.h"
#include "host/io/Utf16.h"

namespace host::biff {

using namespace host::io;  // the container and the byte helpers the records sit in

namespace {

std::vector<std::string> ReadSst(const Record& record, const RecordReader& reader) {
  ContinuedData data(record, reader);
  data.Dword();  // references to shared strings in the workbook
  uint32_t unique = data.Dword();
  std::vector<std::string> strings;
  // Each string takes at least 3 bytes: a damaged count cannot reserve much.
  strings.reserve(std::min<uint64_t>(unique, data.Remaining() / 3));
  for (uint32_t i = 0; i < unique; ++i) strings.push_back(data.RichExtendedString());
  return strings;
}

// count characters from body[at] (a byte each, or UTF-16 when wide) as
// UTF-8; as many as body holds.
std::string CharactersAt(std::string_view body, size_t at, size_t count, bool wide) {
  std::string_view chars = body.substr(at, std::min(body.size() - at, count * (wide ? 2 : 1)));
  if (wide) return Utf16ToUtf8(chars);
  std::string text;
  for (char c : chars) AppendUtf8(text, static_cast<uint8_t>(c));
  return text;
}

// The name a NAME record defines: its text, or a built-in name's own.
std::string NameOf(std::string_view body) {
  static const char* const builtIn[] = {"Consolidate_Area", "Auto_Open", "Auto_Close", "Extract", "Database",
                                        "Criteria", "Print_Area", "Print_Titles", "Recorder", "Data_Form",
                                        "Auto_Activate", "Auto_Deactivate", "Sheet_Title", "_FilterDatabase"};
  if (body.size() < 15) return {};
  const size_t count = U8(body, 3);
  const bool wide = U8(body, 14) & 0x01;
  if ((U16(body, 0) & 0x0020) && count > 0 && body.size() > 15 && U8(body, 15) < std::size(builtIn)) return builtIn[U8(body, 15)];
  return CharactersAt(body, 15, count, wide);
}

// The name an EXTERNNAME record gives (after its flags and 4 bytes, a
// ShortXLUnicodeString); what the record holds of it when cut short.
std::string ExternNameText(std::string_view body) {
  if (body.size() < 8) return {};
  return CharactersAt(body, 8, U8(body, 6), U8(body, 7) & 0x01);
}

// What a NAME record's name stands for: the sheet it is local to (itab,
// 1-based; 0 for the workbook) and its parsed formula after the name.
NameDefinition DefinitionOf(std::string_view body) {
  NameDefinition definition;
  if (body.size() < 15) return definition;
  definition.sheet = static_cast<int>(U16(body, 8)) - 1;
  const size_t start = 15 + U8(body, 3) * ((U8(body, 14) & 0x01) ? 2u : 1u);
  if (start <= body.size()) definition.rgce = std::string(body.substr(start, std::min<size_t>(U16(body, 4), body.size() - start)));
  return definition;
}

}  // namespace

std::string WorkbookGlobals::ExternNameOf(int xti, uint32_t index) const {
  if (xti < 0 || static_cast<size_t>(xti) >= externSheets.size()) return {};
  const uint16_t supBook = externSheets[static_cast<size_t>(xti)].supBook;
  if (supBook >= externNames.size() || index < 1 || index > externNames[supBook].size()) return {};
  return externNames[supBook][index - 1];
}

std::string WorkbookGlobals::SheetOfXti(int xti) const {
  if (xti < 0 || static_cast<size_t>(xti) >= externSheets.size()) return {};
  const ExternSheet& e = externSheets[xti];
  if (e.supBook >= supBookIsSelf.size() || !supBookIsSelf[e.supBook] || e.firstSheet != e.lastSheet ||
      e.firstSheet < 0 || static_cast<size_t>(e.firstSheet) >= sheets.size())
    return {};
  return sheets[e.firstSheet].name;
}

FormulaContext WorkbookGlobals::NamesContext() const {
  FormulaContext context;
  context.sheetName = [this](int xti) { return SheetOfXti(xti); };
  context.definedName = [this](uint32_t index) {
    return index >= 1 && index <= definedNames.size() ? definedNames[index - 1] : std::string();
  };
  context.externName = [this](int xti, uint32_t index) { return ExternNameOf(xti, index); };
  return context;
}

WorkbookGlobals ReadGlobals(std::string_view stream, const std::string& streamName, const std::string& path) {
  switch (DetectBiffVersion(stream)) {
    case BiffVersion::Biff8: break;
    case BiffVersion::Biff5: throw HostError(Excel95Refusal(path));
    case BiffVersion::Biff2:
    case BiffVersion::Biff3:
    case BiffVersion::Biff4: throw HostError(Excel4Refusal(path));
    case BiffVersion::Unknown:
      throw HostError("Cannot open \"" + path + "\": its stream \"" + streamName +
                      "\" is damaged (it does not begin with a BOF record).");
  }
  RecordReader reader(stream, 0, streamName, path);
  WorkbookGlobals globals;
  Record record;
  reader.Next(record);
  if (record.body.size() < 4 || U16(record.body, 2) != static_cast<uint16_t>(SubstreamKind::Globals))
    reader.Damaged(record.type, record.offset, "does not begin the workbook globals");
  while (reader.Next(record)) {
    const std::string_view body = record.body;
    auto need = [&](size_t size) {
      if (body.size() < size) reader.Damaged(record.type, record.offset, "is too short");
    };
    switch (record.type) {
      case rt::kFilePass: throw HostError("\"" + path + "\" is protected with a password: this host cannot open it.");
      case rt::kBof: reader.Damaged(record.type, record.offset, "begins a substream inside the workbook globals");
      case rt::kEof:
        globals.end = record.end;
        globals.eofOffset = record.offset;
        return globals;
      case rt::kBoundSheet8: {
        need(8);
        ContinuedData data(record, reader);
        SheetInfo sheet;
        sheet.position = data.Dword();
        sheet.visibility = data.Byte() & 0x03;
        sheet.kind = data.Byte();
        sheet.name = data.ShortUnicodeString();
        sheet.recordOffset = record.offset;
        if (sheet.position >= stream.size())
          reader.Damaged(record.type, record.offset, "places sheet \"" + sheet.name + "\" beyond the end of the stream");
        globals.sheets.push_back(std::move(sheet));
        break;
      }
      case rt::kSst:
        need(8);
        globals.sharedStrings = ReadSst(record, reader);
        globals.sstOffset = record.offset;
        break;
      case rt::kFormat: {
        need(5);
        ContinuedData data(record, reader);
        uint16_t id = data.Word();
        globals.formats[id] = data.UnicodeString();
        break;
      }
      case rt::kXf:
        need(4);
        globals.xfFormats.push_back(U16(body, 2));
        break;
      case rt::kDateMode:
        need(2);
        globals.date1904 = U16(body, 0) == 1;
        break;
      case rt::kWindow1:
        need(12);
        globals.activeSheet = U16(body, 10);
        break;
      case rt::kName:
        globals.definedNames.push_back(NameOf(body));
        globals.nameDefinitions.push_back(DefinitionOf(body));
        break;
      case rt::kSupBook:
        need(4);
        globals.supBookIsSelf.push_back(U16(body, 2) == 0x0401);
        globals.externNames.emplace_back();
        break;
      case rt::kExternName:
        if (!globals.externNames.empty()) globals.externNames.back().push_back(ExternNameText(body));
        break;
      case rt::kExternSheet: {
        ContinuedData data(record, reader);
        uint16_t count = data.Word();
        // Each XTI takes 6 bytes: a damaged count cannot reserve much.
        globals.externSheets.reserve(std::min<uint64_t>(count, data.Remaining() / 6));
        for (uint16_t i = 0; i < count; ++i) {
          ExternSheet xti;
          xti.supBook = data.Word();
          xti.firstSheet = static_cast<int16_t>(data.Word());
          xti.lastSheet = static_cast<int16_t>(data.Word());
          globals.externSheets.push_back(xti);
        }
        break;
      }
      case rt::kRecalcId: globals.recalcIdOffset = record.offset; break;
      default: break;
    }
  }
  reader.Damaged(rt::kEof, stream.size(), "is missing: the workbook globals have no end");
}

}  // namespace host::biff
