#pragma once
// A CSV or TSV file read as one sheet named after the file. Each record keeps
// its bytes (line ending included) so that a sort writes the file back with
// the records' own quoting, delimiter and line endings, only in a new order.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/core/CellAddress.h"
#include "host/core/FileReplacement.h"
#include "host/core/SortPlan.h"
#include "host/core/StoredValue.h"
#include "host/formats/csv/CsvRecords.h"
#include "host/formats/csv/CsvValue.h"
#include "host/io/MappedFile.h"

namespace host {
class SortKey;
class SortKeyList;
class TextCollator;
}

namespace host::csv {

class CsvDocument {
 public:
  // Reads a file; a .tsv file is tab-separated. HostError when it cannot be
  // read, is too large, or a quoted field is never closed (with its line).
  static CsvDocument Open(const std::string& path);
  // The same from bytes in memory; fileName names the sheet and messages.
  static CsvDocument FromBytes(std::string bytes, const std::string& fileName);

  // The sheet's name: the file name without its extension.
  const std::string& SheetName() const { return sheetName_; }
  const std::string& FileName() const { return fileName_; }
  char Delimiter() const { return delimiter_; }
  bool HasByteOrderMark() const { return byteOrderMark_ || utf16_ != Utf16::None; }
  // True when a first line "sep=X" named the delimiter; that line is no
  // record and stays first.
  bool HasSeparatorLine() const { return separatorLine_; }
  // False when the file is read as Windows-1252.
  bool IsUtf8() const { return utf8_; }
  // True for a UTF-16 file (told by its byte-order mark).
  bool IsUtf16() const { return utf16_ != Utf16::None; }
  bool EndsWithLineBreak() const { return finalBreak_; }

  // Records in the file (rows 1..RowCount), blank lines included.
  int RowCount() const { return static_cast<int>(rows_); }
  // The used range: the last row and the widest record up to it.
  int UsedRowCount() const { return usedRows_; }
  int UsedColumnCount() const { return usedColumns_; }
  // Fields of a row (ragged records hold fewer).
  int FieldCount(int row) const;
  // A field's text as written, unquoted, in UTF-8; empty past the record's end.
  std::string Text(int row, int column) const;
  // The field's typed value (see CsvValue.h) as the host stores values.
  StoredValue Value(int row, int column) const;

  // The typed values of the column's fields in rows firstRow..lastRow, as
  // sort keys (see SheetStore::ReadSortKeys).
  void ReadSortKeys(int firstRow, int lastRow, int column, SortKeyList& keys) const;
  // Applies a move the core decided (see SheetStore::MoveRows): records move
  // whole when the area spans them; otherwise the fields within the area's
  // columns move. Returns the rows that moved. Throws SortRefused (nothing
  // changed) when the record put first would read with another delimiter.
  size_t MoveRows(const RowMove& move);
  // Sorts the rows of range by the column through the host's sort
  // (RowSort.h) over this document's sheet; true when any row moved.
  bool SortRows(const CellArea& range, int column, bool descending);
  // Rows the sorts so far moved.
  size_t RowsMoved() const { return rowsMoved_; }
  // Hiding rows is refused: a CSV file cannot keep them.
  [[noreturn]] void RefuseHiddenRows() const;

  // The file's bytes with the records in their current order, in the
  // file's own encoding.
  std::string Bytes() const;
  // Writes Bytes() over path by the host's save policy (FileReplacement.h);
  // a document opened from a file must still find that file there.
  void Save(const std::string& path);

 private:
  CsvDocument() = default;
  // Reads the text held (mapped or owned): its encoding, then its records.
  void Read(const std::string& fileName);
  void Scan();
  // The sort key of one row's field (a text made for the sort kept in
  // texts; a text viewed in the file gets its prefix by collator at once).
  SortKey KeyOfRow(int row, int column, const TextCollator& collator, std::deque<std::string>& texts) const;
  // Hands the text's bytes (UTF-16 already read as UTF-8), records in the
  // current order, to sink piece by piece, until sink returns false. Pieces
  // end only between characters.
  void Emit(const std::function<bool(std::string_view)>& sink) const;
  // The preamble, then whole records gathered into blocks (for writing).
  void EmitBlocks(const std::function<void(std::string_view)>& sink) const;
  // The blocks in the file's own encoding: what a save writes.
  void EmitFile(const std::function<void(std::string_view)>& sink) const;
  // The one or two pieces the record in row i + 1 is written as; afterLoneCr
  // says whether the record before ended in a lone CR, and is set for the next.
  int RecordPieces(size_t i, bool& afterLoneCr, std::string_view (&pieces)[2]) const;
  // Whether the record before row i + 1 ends in a lone CR as written, told
  // from at most lookBack records before it; known is false when that is
  // not enough.
  bool EndsInLoneCrBefore(size_t i, size_t lookBack, bool& known) const;
  // Appends rows first + 1..last as written to block.
  void GatherRows(size_t first, size_t last, bool& afterLoneCr, std::string& block) const;
  // The delimiter the file would be read with, were it written now.
  char DelimiterOfCurrentOrder() const;
  // The record's bytes without / with its line ending.
  std::string_view Content(uint32_t record) const;
  std::string_view Span(uint32_t record) const {
    const std::string_view text = Original();
    const uint32_t from = starts_[record], to = starts_[record + 1];
    if (to <= text.size()) return std::string_view(text.data() + from, to - from);
    return std::string_view(rebuilt_).substr(from - text.size(), to - from);
  }
  static std::string_view WithoutEnding(std::string_view span) {
    if (!span.empty() && span.back() == '\n') span.remove_suffix(1);
    if (!span.empty() && span.back() == '\r') span.remove_suffix(1);
    return span;
  }
  uint32_t RecordOf(int row) const;
  // The text as read: the mapped file's bytes, or the bytes owned.
  std::string_view Original() const { return mapped_ ? mapped_.Bytes() : std::string_view(owned_); }
  // The text and the records put together since, where starts_ count.
  size_t TotalSize() const { return Original().size() + rebuilt_.size(); }
  // The record shown in a row (1-based), unchecked.
  uint32_t At(size_t row) const { return order_.empty() ? static_cast<uint32_t>(row - 1) : order_[row - 1]; }

  enum class Utf16 { None, LittleEndian, BigEndian };

  FileIdentity opened_;  // the file read by Open (or last saved); none from bytes
  // The text: a file read by Open stays mapped (its pages let go once its
  // keys are read, and read again by the save), unless it is UTF-16 or
  // cannot be mapped; then it is owned, a UTF-16 file's as UTF-8 without its
  // mark. Records put together by a move follow it in rebuilt_.
  MappedFile mapped_;
  std::string owned_;
  std::string rebuilt_;
  std::string fileName_;
  std::string sheetName_;
  char delimiter_ = ',';
  bool fixedDelimiter_ = false;  // given by a "sep=" line or the extension (.tsv), not read from the records
  size_t preambleLength_ = 0;    // the byte-order mark and the "sep=" line: no records
  bool byteOrderMark_ = false, separatorLine_ = false;
  bool utf8_ = true;
  Utf16 utf16_ = Utf16::None;
  bool finalBreak_ = false;
  std::string lineEnding_ = "\r\n";
  RecordNumbers starts_;  // record k spans starts_[k]..starts_[k+1]
  size_t rows_ = 0;
  // The record shown in each row; empty while every record is in its own
  // row, which spares a large file's sort four bytes a row at its peak.
  RecordNumbers order_;
  size_t rowsMoved_ = 0;
  LocaleConventions locale_;  // the user's, for typing fields
  int usedRows_ = 0;
  int usedColumns_ = 0;
};

}  // namespace host::csv
