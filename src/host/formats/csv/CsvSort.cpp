// The CSV side of a sort: each row's key field typed once, read where it
// stands in the file, and the order the core decided applied by changing
// only the row order; the records' bytes stay. A range narrower than its
// records moves the fields within its columns, and only those records are
// put together anew.

#include <algorithm>
#include <cstring>
#include <thread>

#include "host/core/RowSort.h"
#include "host/core/SortKeys.h"
#include "host/core/SortPlan.h"
#include "host/core/TextCollator.h"
#include "host/core/UsableCores.h"
#include "host/formats/csv/CsvDocument.h"
#include "host/formats/csv/CsvFields.h"
#include "host/formats/csv/CsvSheet.h"
#include "host/formats/csv/CsvText.h"

namespace host::csv {

namespace {

// Fewer rows than this have their keys read on one thread.
constexpr size_t kRowsForTwoReaders = 200000;
// Rows read between two lettings-go of the mapped pages read.
constexpr size_t kRowsPerRelease = 8192;

StoredValue StoredOf(const CsvValue& value) {
  StoredValue stored;
  switch (value.kind) {
    case CsvKind::Number: stored.kind = CellKind::Number; break;
    case CsvKind::Text: stored.kind = CellKind::Text; break;
    case CsvKind::Boolean: stored.kind = CellKind::Boolean; break;
    case CsvKind::Error: stored.kind = CellKind::Error; break;
    case CsvKind::Empty: break;
  }
  stored.number = value.number;
  return stored;
}

// The raw fields of a record's content.
std::vector<std::string_view> RawFields(std::string_view content, char delimiter) {
  std::vector<std::string_view> fields;
  if (content.empty()) return fields;
  for (size_t start = 0;;) {
    const size_t end = FieldEnd(content, start, delimiter);
    fields.push_back(content.substr(start, end - start));
    if (end >= content.size()) break;
    start = end + 1;
  }
  return fields;
}

}  // namespace

StoredValue CsvDocument::Value(int row, int column) const {
  StoredValue value = StoredOf(TypeField(Text(row, column), locale_));
  if (value.kind == CellKind::Text || value.kind == CellKind::Error) value.text = Text(row, column);
  return value;
}

SortKey CsvDocument::KeyOfRow(int row, int column, const TextCollator& collator,
                              SortKeyList::TextStore& texts) const {
  const std::string_view raw = RawField(Content(At(static_cast<size_t>(row))), delimiter_, column);
  // Texts that need unquoting or decoding are made anew; the others are
  // viewed where they stand in the file.
  const bool decoded = !IsPlain(raw) || (!utf8_ && std::any_of(raw.begin(), raw.end(), [](char c) {
                                           return static_cast<unsigned char>(c) >= 0x80;
                                         }));
  std::string scratch;
  if (decoded) AppendAsUtf8(IsPlain(raw) ? std::string(raw) : Unquote(raw), utf8_, scratch);
  const std::string_view text = decoded ? std::string_view(scratch) : raw;
  const StoredValue value = StoredOf(TypeField(text, locale_));
  SortKey key(row);
  switch (value.kind) {
    case CellKind::Text:
      if (decoded) return SortKeyList::TextKey(row, std::move(scratch), texts);
      key.SetText(text);
      PrefixText(key, collator);  // while the text's page is at hand
      break;
    case CellKind::Blank: break;
    default: key = KeyOf(row, value); break;
  }
  return key;
}

void CsvDocument::ReadSortKeys(int firstRow, int lastRow, int column, SortKeyList& keys) const {
  lastRow = std::min(lastRow, RowCount());
  if (lastRow < firstRow) return;
  const size_t count = static_cast<size_t>(lastRow - firstRow + 1);
  // The scan of the open left the file's pages in: let go of them before
  // the keys take their room, and read them in again as the keys are read.
  mapped_.Release(0, Original().size());
  // Every row gets its place (an empty key for a blank field); many rows
  // are read on two threads, each its half.
  SortKey* const out = keys.Extend(count);
  // Records in file order (no sort has moved them yet) are read front to
  // back: the mapped pages behind are let go as the keys grow, so that the
  // file and its keys are never held whole at once. The few texts the
  // order compares beyond their prefixes are read again when it does.
  const bool inFileOrder = order_.empty() && mapped_;
  const TextCollator& collator = TextCollator::ForUserLocale();
  auto read = [&](size_t from, size_t to, SortKeyList::TextStore& texts) {
    size_t released = starts_[At(firstRow + from)];
    for (size_t k = from; k < to; ++k) {
      const int row = firstRow + static_cast<int>(k);
      if (inFileOrder && (k - from) % kRowsPerRelease == kRowsPerRelease - 1) {
        mapped_.Release(released, starts_[At(row)] - released);
        released = starts_[At(row)];
      }
      out[k] = KeyOfRow(row, column, collator, texts);
    }
  };
  SortKeyList::TextStore first, second;
  if (count < kRowsForTwoReaders || UsableCores() < 2) {
    read(0, count, first);
  } else {
    std::thread half([&] { read(count / 2, count, second); });
    read(0, count / 2, first);
    half.join();
  }
  mapped_.Release(0, Original().size());  // what was read out of order, and the ends
  keys.KeepTexts(std::move(first));
  keys.KeepTexts(std::move(second));
}

size_t CsvDocument::MoveRows(const RowMove& move) {
  const CellArea& range = move.area;
  const int firstRow = range.firstRow;
  const int lastRow = range.lastRow;  // the core keeps the area within the records
  if (lastRow <= firstRow || lastRow > RowCount()) return 0;
  const size_t count = static_cast<size_t>(lastRow - firstRow + 1);
  // Records move whole when the range spans them all.
  bool wholeRecords = range.firstColumn == 1;
  for (int row = firstRow; wholeRecords && range.lastColumn < kMaxColumns && row <= lastRow; ++row)
    if (FieldCount(row) > range.lastColumn) wholeRecords = false;

  // The record each row of the range shows after the move.
  RecordNumbers moved(count);  // targetOf is a permutation: every entry is written
  size_t movedRows = 0;
  for (size_t k = 0; k < count; ++k) {
    const size_t target = static_cast<size_t>(move.targetOf[k] - firstRow);
    moved[target] = At(static_cast<size_t>(firstRow) + k);
    if (target != k) ++movedRows;
  }
  if (movedRows == 0) return 0;
  // The first move of every record takes its list as the order: the order
  // before it (each record in its own row) is no list to keep or copy.
  const bool firstOfAll = order_.empty() && wholeRecords && firstRow == 1 && count == rows_;
  if (order_.empty() && !firstOfAll) {
    order_.resize(rows_);
    for (uint32_t k = 0; k < rows_; ++k) order_[k] = k;
  }
  const size_t rebuiltBefore = rebuilt_.size(), startsBefore = starts_.size();

  if (!wholeRecords) {
    // Each target record keeps its fields outside the range and takes the
    // source record's fields within it.
    std::vector<std::string> rebuilt(count);
    for (size_t t = 0; t < count; ++t) {
      const uint32_t own = order_[firstRow - 1 + t];
      if (moved[t] == own) continue;
      std::vector<std::string_view> target = RawFields(Content(own), delimiter_);
      const size_t ownWidth = target.size();
      const std::vector<std::string_view> source = RawFields(Content(moved[t]), delimiter_);
      const size_t lastSource = std::min<size_t>(source.size(), static_cast<size_t>(range.lastColumn));
      const size_t width = std::max(target.size(), lastSource);
      target.resize(width);
      for (size_t c = static_cast<size_t>(range.firstColumn); c <= std::min(width, static_cast<size_t>(range.lastColumn)); ++c)
        target[c - 1] = c <= source.size() ? source[c - 1] : std::string_view();
      while (target.size() > ownWidth && target.back().empty()) target.pop_back();
      std::string& record = rebuilt[t];
      for (size_t c = 0; c < target.size(); ++c) {
        if (c > 0) record += delimiter_;
        record.append(target[c]);
      }
      record.append(Span(own).substr(Content(own).size()));  // the target's own line ending
    }
    size_t added = 0;
    for (const std::string& record : rebuilt) added += record.size();
    if (TotalSize() + added >= UINT32_MAX)
      throw SortRefused("the sorted file would reach 4 GB, which CSV files here cannot");
    for (size_t t = 0; t < count; ++t) {
      if (moved[t] == order_[firstRow - 1 + t]) continue;
      rebuilt_ += rebuilt[t];
      starts_.push_back(static_cast<uint32_t>(TotalSize()));
      moved[t] = static_cast<uint32_t>(starts_.size() - 2);
    }
  }
  // The new order goes in and the old one into moved, for a way back.
  if (firstOfAll) order_.swap(moved);
  else std::swap_ranges(moved.begin(), moved.end(), order_.begin() + (firstRow - 1));
  // The delimiter was read from the first record (and, past a stray quote,
  // from what follows it): a sort must not make the file read with another.
  if (!fixedDelimiter_ && DelimiterOfCurrentOrder() != delimiter_) {
    if (firstOfAll) order_.clear();
    else std::copy(moved.begin(), moved.end(), order_.begin() + (firstRow - 1));
    rebuilt_.resize(rebuiltBefore);
    starts_.resize(startsBefore);
    throw SortRefused("the sorted file would read with another delimiter than \"" +
                      std::string(delimiter_ == '\t' ? "tab" : std::string(1, delimiter_)) +
                      "\", so it would no longer read the same");
  }
  rowsMoved_ += movedRows;
  return movedRows;
}

bool CsvDocument::SortRows(const CellArea& range, int column, bool descending) {
  CsvSheet sheet(*this);
  return host::SortRows(sheet, range, column, descending) > 0;
}

}  // namespace host::csv
