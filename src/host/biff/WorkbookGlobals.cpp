#include "host/biff/WorkbookGlobals.h"

#include <algorithm>

#include "host/HostError.h"
#include "host/biff/BiffRecords.h"
#include "host/biff/ContinuedData.h"
#include "host/FileFormat.h"
#include "host/biff/LittleEndian.h"

namespace host::biff {

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

}  // namespace

WorkbookGlobals ReadGlobals(std::string_view stream, const std::string& streamName, const std::string& path) {
  switch (DetectBiffVersion(stream)) {
    case BiffVersion::Biff8: break;
    case BiffVersion::Biff5: throw HostError(RefusalMessage(FileFormat::Biff5Workbook, path));
    case BiffVersion::Biff2:
    case BiffVersion::Biff3:
    case BiffVersion::Biff4: throw HostError(RefusalMessage(FileFormat::Biff4OrOlder, path));
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
      case rt::kEof: globals.end = record.end; return globals;
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
      default: break;
    }
  }
  reader.Damaged(rt::kEof, stream.size(), "is missing: the workbook globals have no end");
}

}  // namespace host::biff
