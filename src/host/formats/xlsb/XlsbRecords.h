#pragma once
// The records of a binary workbook part (BIFF12): a record type and a size,
// each a variable-length integer of 7 bits a byte, then the body. Reading
// walks a part record by record and refuses a damaged one by part, record
// and offset; writing frames a body anew. Also the two string forms the
// records hold (a count of UTF-16 units, then the units).

#include <cstdint>
#include <string>
#include <string_view>

namespace host::xlsb {

// Record types this host reads or writes.
namespace rt {
constexpr uint32_t kRowHdr = 0, kCellBlank = 1, kCellRk = 2, kCellError = 3, kCellBool = 4, kCellReal = 5,
                   kCellSt = 6, kCellIsst = 7, kFmlaString = 8, kFmlaNum = 9, kFmlaBool = 10, kFmlaError = 11,
                   kSstItem = 19, kName = 39, kFmt = 44, kXf = 47, kCellRString = 62;
constexpr uint32_t kBeginSheetData = 145, kEndSheetData = 146, kWsDim = 148, kWbProp = 153, kBundleSh = 156,
                   kBookView = 158, kMergeCell = 176, kSupBookSrc = 355, kSupSelf = 357, kSupSame = 358,
                   kExternSheet = 362, kBeginList = 343, kArrFmla = 426, kShrFmla = 427, kHLink = 494,
                   kSheetProtection = 535, kBeginCellXFs = 617, kEndCellXFs = 618, kBeginComment = 635,
                   kListPart = 661, kSupAddin = 667, kSheetProtectionIso = 1046;
// The calculation properties and the records the workbook part lists just
// before them.
constexpr uint32_t kCalcProp = 157, kBeginBook = 131, kEndBundleShs = 144, kEndExternals = 354;
}  // namespace rt

// A part that cannot be read as records, in the host's words ("the part P
// is damaged: record T at byte O ..."); the workbook names the file.
struct RecordFault {
  std::string message;
};

struct Record {
  uint32_t type = 0;
  size_t offset = 0;      // where the record's header starts in the part
  std::string_view body;  // the record's body
  size_t end = 0;         // the offset just past the record
};

// Walks the records of one part. Next throws RecordFault naming the part, the
// record and its offset when a header or a body runs past the part's end.
class RecordReader {
 public:
  RecordReader(std::string_view bytes, std::string partName) : bytes_(bytes), part_(std::move(partName)) {}
  // The next record; false at the part's end.
  bool Next(Record& record);
  // Refuses the record as damaged: "the part P is damaged: record T at byte O why".
  [[noreturn]] void Damaged(const Record& record, const std::string& why) const;
  const std::string& Part() const { return part_; }

 private:
  std::string_view bytes_;
  std::string part_;
  size_t at_ = 0;
};

// Appends one record: its type, its size and its body.
void AppendRecord(std::string& out, uint32_t type, std::string_view body);

// Reads the string at body[at] (a 4-byte count of UTF-16 units, then the
// units) as UTF-8 and moves at past it; false when it runs past the body.
// A nullable string's count 0xFFFFFFFF is an absent string, read as "".
bool ReadWideString(std::string_view body, size_t& at, std::string& text);

// Appends text (UTF-8) as a wide string.
void AppendWideString(std::string& out, std::string_view text);

}  // namespace host::xlsb
