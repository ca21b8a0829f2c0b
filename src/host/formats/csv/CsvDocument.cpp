#include "host/formats/csv/CsvDocument.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <memory>
#include <thread>

#include "host/core/HostError.h"
#include "host/core/UsableCores.h"
#include "host/io/PartMemory.h"
#include "host/formats/csv/CsvDelimiter.h"
#include "host/formats/csv/CsvFields.h"
#include "host/formats/csv/CsvRecords.h"
#include "host/formats/csv/CsvText.h"

namespace host::csv {

namespace {

// Files smaller than this are scanned on one thread.
constexpr size_t kBytesForTwoThreads = size_t(4) << 20;

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string LowerExtension(const std::string& name) {
  size_t dot = name.find_last_of('.');
  std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  for (char& c : ext) c = (c >= 'A' && c <= 'Z') ? c + 32 : c;
  return ext;
}

// The sheet is named after the file: no extension, at most 31 characters,
// none of the characters a sheet name cannot hold.
std::string SheetNameOf(const std::string& fileName) {
  size_t dot = fileName.find_last_of('.');
  std::string stem = dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
  std::string name;
  size_t chars = 0;
  for (char c : stem) {
    bool lead = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (lead && ++chars > 31) break;
    name += std::string_view("[]:*?\\").find(c) == std::string_view::npos ? c : '_';
  }
  return name.empty() ? "Sheet1" : name;
}

}  // namespace

char CsvDocument::DelimiterOfCurrentOrder() const {
  DelimiterDetector detector(locale_.decimal == ",");
  int piece = 0;  // the first is the preamble, which is no part of a record
  bool separatorLine = false;
  Emit([&](std::string_view bytes) {
    if (piece++ == 0) return true;
    // A record "sep=X" put first would read as the delimiter's line.
    char named = 0;
    if (piece == 2 && SeparatorLine(bytes, named) > 0) separatorLine = true;
    return !separatorLine && detector.Feed(bytes);
  });
  return separatorLine ? '\0' : detector.Result();
}

CsvDocument CsvDocument::Open(const std::string& path) {
  std::string name = BaseName(path);
  const FileIdentity opened = FileIdentity::Of(path);  // before the read: a change during it shows at the save
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  struct stat st {};
  if (!file || fstat(fileno(file.get()), &st) != 0)
    throw CannotOpen(path, FileErrorReason(errno));
  if (S_ISDIR(st.st_mode)) throw CannotOpen(path, FileErrorReason(EISDIR));
  if (static_cast<unsigned long long>(st.st_size) >= std::numeric_limits<uint32_t>::max())
    throw CannotOpen(path, "it is too large: CSV files of 4 GB or more are not handled");
  CsvDocument doc;
  if (S_ISREG(st.st_mode)) doc.mapped_ = MappedFile::Map(fileno(file.get()), static_cast<size_t>(st.st_size));
  if (!doc.mapped_) {
    // The sort reads the records in an order of their own: in huge pages
    // that costs far fewer page faults and address lookups.
    std::string& bytes = doc.owned_;
    bytes.reserve(static_cast<size_t>(st.st_size));
    AdviseHugePages(bytes.data(), static_cast<size_t>(st.st_size));
    bytes.resize(static_cast<size_t>(st.st_size));
    if (!bytes.empty() && std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
      throw CannotOpen(path, "it cannot be read (" + FileErrorReason(errno) + ")");
  }
  doc.Read(name);
  doc.opened_ = opened;
  return doc;
}

CsvDocument CsvDocument::FromBytes(std::string bytes, const std::string& fileName) {
  CsvDocument doc;
  doc.owned_ = std::move(bytes);
  doc.Read(fileName);
  return doc;
}

void CsvDocument::Read(const std::string& fileName) {
  const std::string_view bytes = Original();
  if (bytes.size() >= std::numeric_limits<uint32_t>::max())
    throw HostError(fileName + " is too large: CSV files of 4 GB or more are not handled.");
  const std::string_view head(bytes.data(), std::min<size_t>(bytes.size(), 4));
  if (head == std::string_view("\xFF\xFE\0\0", 4) || head == std::string_view("\0\0\xFE\xFF", 4))
    throw HostError(fileName + " is a UTF-32 text file; only UTF-8, UTF-16 and Windows-1252 text files are read. "
                    "It was not changed.");
  if (head.substr(0, 2) == "\xFF\xFE" || head.substr(0, 2) == "\xFE\xFF") {
    // UTF-16 text: read as UTF-8, written back to the same code units.
    const bool bigEndian = head[0] == '\xFE';
    std::string text;
    if (!Utf16ToUtf8(bytes.substr(2), bigEndian, text))
      throw HostError(fileName + " starts as UTF-16 text, but not all of it reads as UTF-16 characters "
                      "(it is damaged or not a text file); it was not changed.");
    if (text.size() >= std::numeric_limits<uint32_t>::max())
      throw HostError(fileName + " is too large: CSV files of 4 GB or more are not handled.");
    utf16_ = bigEndian ? Utf16::BigEndian : Utf16::LittleEndian;
    owned_ = std::move(text);
    mapped_ = MappedFile();
  }
  fileName_ = fileName;
  locale_ = LocaleConventions::ForUser();
  sheetName_ = SheetNameOf(fileName);
  delimiter_ = LowerExtension(fileName) == "tsv" ? '\t' : 0;
  Scan();
}

void CsvDocument::Scan() {
  std::string_view b = Original();
  if (utf16_ == Utf16::None && b.substr(0, 3) == "\xEF\xBB\xBF") preambleLength_ = 3;
  byteOrderMark_ = preambleLength_ > 0;
  const size_t n = b.size();
  // A text with a byte-order mark is UTF-8 (or was UTF-16) without a check.
  const size_t utf8From = byteOrderMark_ ? n + 1 : preambleLength_;

  char named = 0;
  if (const size_t line = SeparatorLine(b.substr(preambleLength_), named)) {
    preambleLength_ += line;
    separatorLine_ = true;
    delimiter_ = named;
  }
  fixedDelimiter_ = delimiter_ != 0;
  if (delimiter_ == 0) {
    DelimiterDetector detector(locale_.decimal == ",");
    detector.Feed(b.substr(preambleLength_));
    delimiter_ = detector.Result();
  }

  // A large text is read on two threads, each its half.
  const bool twoThreads = n >= kBytesForTwoThreads && UsableCores() >= 2;
  CsvRecords records =
      ReadRecords(b, preambleLength_, delimiter_, utf8From, twoThreads ? SplitPointOf(b, preambleLength_) : 0);
  if (records.unclosedLine > 0)
    throw HostError(fileName_ + ": the quoted field that starts on line " + std::to_string(records.unclosedLine) +
                    " is never closed, so the file cannot be read.");
  starts_ = std::move(records.starts);
  starts_.push_back(static_cast<uint32_t>(n));
  rows_ = starts_.size() - 1;
  if (!records.firstEnding.empty()) lineEnding_ = std::string(records.firstEnding);
  usedRows_ = static_cast<int>(records.usedRecords);
  usedColumns_ = records.usedColumns;
  finalBreak_ = records.finalBreak;
  utf8_ = byteOrderMark_ || records.utf8;
}

std::string_view CsvDocument::Content(uint32_t record) const { return WithoutEnding(Span(record)); }

uint32_t CsvDocument::RecordOf(int row) const {
  if (row < 1 || row > RowCount())
    throw HostError(fileName_ + " has no row " + std::to_string(row) + ".");
  return At(static_cast<size_t>(row));
}

int CsvDocument::FieldCount(int row) const {
  std::string_view content = Content(RecordOf(row));
  if (content.empty()) return 0;
  int count = 1;
  for (size_t end = FieldEnd(content, 0, delimiter_); end < content.size();
       end = FieldEnd(content, end + 1, delimiter_))
    ++count;
  return count;
}

std::string CsvDocument::Text(int row, int column) const {
  if (column < 1) return {};
  std::string text;
  AppendAsUtf8(Unquote(RawField(Content(RecordOf(row)), delimiter_, column)), utf8_, text);
  return text;
}

void CsvDocument::RefuseHiddenRows() const {
  throw HostError(fileName_ + " is a CSV file, which cannot keep hidden rows; nothing was changed");
}

}  // namespace host::csv
