#pragma once
// The record layer of a BIFF workbook stream: records with the CONTINUE
// records that carry the rest of their data, and BOF/EOF substreams. A record
// cut short fails with a HostError naming the stream, record and offset.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/io/LittleEndian.h"

namespace host::biff {

using namespace host::io;  // the container and the byte helpers the records sit in

// Record types this layer and its readers know.
namespace rt {
constexpr uint16_t kFormula = 0x0006, kEof = 0x000A, kFilePass = 0x002F, kContinue = 0x003C, kDateMode = 0x0022,
                   kWindow1 = 0x003D, kXf = 0x00E0, kFormat = 0x041E, kBoundSheet8 = 0x0085, kMulRk = 0x00BD, kMulBlank = 0x00BE,
                   kRString = 0x00D6, kDbCell = 0x00D7, kSst = 0x00FC, kLabelSst = 0x00FD, kExtSst = 0x00FF,
                   kDimensions = 0x0200, kBlank = 0x0201, kNumber = 0x0203, kLabel = 0x0204, kBoolErr = 0x0205,
                   kString = 0x0207, kRow = 0x0208, kIndex = 0x020B, kRk = 0x027E, kBof = 0x0809,
                   kBof2 = 0x0009, kBof3 = 0x0209, kBof4 = 0x0409, kNote = 0x001C, kProtect = 0x0012,
                   kName = 0x0018, kExternSheet = 0x0017, kExternName = 0x0023, kSupBook = 0x01AE, kRecalcId = 0x01C1, kMergeCells = 0x00E5,
                   kArray = 0x0221, kTable = 0x0236, kShrFmla = 0x04BC, kHLink = 0x01B8, kHLinkTooltip = 0x0800,
                   kFeatHeader = 0x0867, kDefaultRowHeight = 0x0225, kDefColWidth = 0x0055, kWindow2 = 0x023E, kMsoDrawing = 0x00EC, kObj = 0x005D;
}

// One record and the CONTINUE records that follow it.
struct Record {
  uint16_t type = 0;
  size_t offset = 0;                           // of its 4-byte header in the stream
  size_t end = 0;                              // just after its last CONTINUE record
  std::string_view body;                       // its own data
  std::vector<std::string_view> continues;     // the data of each CONTINUE record
};

// Walks the records of a stream from an offset.
class RecordReader {
 public:
  // streamName and path name the place in messages.
  RecordReader(std::string_view stream, size_t offset, std::string streamName, std::string path);
  // The next record with its CONTINUE records; false at the end of the stream.
  bool Next(Record& record);
  // Throws the HostError for a damaged record at offset.
  [[noreturn]] void Damaged(uint16_t type, size_t offset, const std::string& what) const;

 private:
  bool ReadOne(uint16_t& type, size_t& offset, std::string_view& body);

  std::string_view stream_;
  size_t position_;
  std::string streamName_;
  std::string path_;
};

// The record at offset (checked before) with its CONTINUE records, as stored.
std::string_view RawRecord(std::string_view stream, size_t offset);

enum class BiffVersion { Biff2, Biff3, Biff4, Biff5, Biff8, Unknown };

// The BIFF version of a workbook stream, from its first BOF record.
BiffVersion DetectBiffVersion(std::string_view stream);

// Substream kinds, as BOF names them.
enum class SubstreamKind : uint16_t { Globals = 0x0005, Worksheet = 0x0010, Chart = 0x0020, MacroSheet = 0x0040 };

// The offset just after the EOF record that closes the substream whose BOF is
// at offset; substreams nested inside (charts in a sheet) are passed over.
size_t SubstreamEnd(std::string_view stream, size_t offset, const std::string& streamName, const std::string& path);

// The text of a BIFF8 error value ("#N/A" for 0x2A), or nullptr for a code
// the format does not define.
const char* ErrorValueText(uint8_t code);
// The BIFF8 code of an error value's text ("#N/A" gives 0x2A); false when
// the format defines no such error. Binary workbooks (.xlsb) use the same codes.
bool ErrorValueCode(std::string_view text, uint8_t& code);

}  // namespace host::biff
