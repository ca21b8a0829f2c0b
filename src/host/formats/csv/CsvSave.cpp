// Writing a CSV sheet back: the records' own bytes in the current order.

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "host/core/HostError.h"
#include "host/core/FileReplacement.h"
#include "host/core/UsableCores.h"
#include "host/formats/csv/CsvDocument.h"
#include "host/formats/csv/CsvText.h"

namespace host::csv {

namespace {
constexpr size_t kReadAhead = 16;  // records fetched ahead of the one written
constexpr size_t kBlock = 256 * 1024;  // records handed on together when written
// Fewer rows than this are gathered for writing on one thread.
constexpr size_t kRowsForTwoThreads = 200000;
}  // namespace

// A record without a line ending (the last one of a file without a final
// break) gets the file's line ending when it no longer comes last; whatever
// record comes last keeps the file's final-break state, unless it is a blank
// line, which would vanish without its ending. Mixed endings never merge.
int CsvDocument::RecordPieces(size_t i, bool& afterLoneCr, std::string_view (&pieces)[2]) const {
  std::string_view span = Span(At(i + 1));
  const std::string_view content = WithoutEnding(span);
  int count = 1;
  if (i + 1 == rows_ && !finalBreak_ && !content.empty()) {
    pieces[0] = content;
  } else if (content.size() == span.size()) {
    pieces[0] = content;
    pieces[1] = lineEnding_;
    count = 2;
    span = lineEnding_;
  } else if (afterLoneCr && span == "\n") {
    // A blank LF line after a lone CR would join it into one CR LF ending.
    pieces[0] = span = "\r";
  } else {
    pieces[0] = span;
  }
  afterLoneCr = !span.empty() && span.back() == '\r';
  return count;
}

void CsvDocument::Emit(const std::function<bool(std::string_view)>& sink) const {
  if (!sink(Original().substr(0, preambleLength_))) return;
  bool afterLoneCr = false;
  std::string_view pieces[2];
  for (size_t i = 0; i < rows_; ++i) {
    const int count = RecordPieces(i, afterLoneCr, pieces);
    for (int k = 0; k < count; ++k)
      if (!sink(pieces[k])) return;
  }
}

bool CsvDocument::EndsInLoneCrBefore(size_t i, size_t lookBack, bool& known) const {
  known = true;
  std::string_view pieces[2];
  for (size_t j = i; j-- > 0 && i - j <= lookBack;) {
    // A blank LF line passes the state on unchanged; any other record sets it.
    if (Span(At(j + 1)) == "\n") continue;
    bool state = false;
    RecordPieces(j, state, pieces);
    return state;
  }
  known = i <= lookBack;  // no record before that sets it: the file's start
  return false;
}

void CsvDocument::GatherRows(size_t first, size_t last, bool& afterLoneCr, std::string& block) const {
  std::string_view pieces[2];
  for (size_t i = first; i < last; ++i) {
    // After a sort the records are read in an order of their own: ask for
    // those a few rows on before they are needed, or each one waits for
    // memory in turn.
    // Where a record starts is asked for twice as far ahead, so that the
    // record's own bytes can be asked for without waiting for it.
    if (i + 2 * kReadAhead < rows_) __builtin_prefetch(&starts_[At(i + 1 + 2 * kReadAhead)]);
    if (i + kReadAhead < rows_) {
      const std::string_view ahead = Span(At(i + 1 + kReadAhead));
      __builtin_prefetch(ahead.data());
      __builtin_prefetch(ahead.data() + ahead.size() - 1);
    }
    const int count = RecordPieces(i, afterLoneCr, pieces);
    for (int k = 0; k < count; ++k) block.append(pieces[k]);
  }
}

void CsvDocument::EmitBlocks(const std::function<void(std::string_view)>& sink) const {
  sink(Original().substr(0, preambleLength_));
  // Rows per block: about kBlock bytes of records.
  const size_t rowsPerBlock =
      std::max<size_t>(64, rows_ == 0 ? 1 : kBlock / std::max<size_t>(1, TotalSize() / rows_));
  const size_t blocks = (rows_ + rowsPerBlock - 1) / rowsPerBlock;
  auto rowsOf = [&](size_t b) { return std::pair(b * rowsPerBlock, std::min(rows_, (b + 1) * rowsPerBlock)); };
  std::string block;
  bool afterLoneCr = false;
  if (rows_ < kRowsForTwoThreads || UsableCores() < 2) {
    for (size_t b = 0; b < blocks; ++b) {
      block.clear();
      GatherRows(rowsOf(b).first, rowsOf(b).second, afterLoneCr, block);
      sink(block);
    }
    return;
  }
  // Two threads gather: a helper two blocks of every three (handed over
  // through one slot), this one the third, as it also writes every block,
  // in order. A block whose state before it (a lone CR) cannot be told from
  // the block before it is left to this thread, which knows it.
  struct Handover {
    std::mutex mutex;
    std::condition_variable changed;
    bool full = false, stop = false;
    std::string bytes;
    bool gathered = false, endState = false;
  } slot;
  std::thread helper([&] {
    std::string own;
    for (size_t b = 1; b < blocks; b += (b % 3 == 1 ? 1 : 2)) {
      own.clear();
      bool known = false;
      bool state = EndsInLoneCrBefore(rowsOf(b).first, rowsPerBlock, known);
      if (known) GatherRows(rowsOf(b).first, rowsOf(b).second, state, own);
      std::unique_lock lock(slot.mutex);
      slot.changed.wait(lock, [&] { return !slot.full || slot.stop; });
      if (slot.stop) return;
      std::swap(slot.bytes, own);
      slot.gathered = known;
      slot.endState = state;
      slot.full = true;
      slot.changed.notify_all();
    }
  });
  struct Joined {
    Handover& slot;
    std::thread& helper;
    ~Joined() {
      {
        std::lock_guard lock(slot.mutex);
        slot.stop = true;
      }
      slot.changed.notify_all();
      helper.join();
    }
  } joined{slot, helper};
  std::string handed;
  for (size_t b = 0; b < blocks; ++b) {
    if (b % 3 != 0) {
      bool gathered = false, endState = false;
      {
        std::unique_lock lock(slot.mutex);
        slot.changed.wait(lock, [&] { return slot.full; });
        std::swap(handed, slot.bytes);
        gathered = slot.gathered;
        endState = slot.endState;
        slot.full = false;
      }
      slot.changed.notify_all();
      if (gathered) {
        sink(handed);
        afterLoneCr = endState;
        continue;
      }
    }
    block.clear();
    GatherRows(rowsOf(b).first, rowsOf(b).second, afterLoneCr, block);
    sink(block);
  }
}

void CsvDocument::EmitFile(const std::function<void(std::string_view)>& sink) const {
  if (utf16_ == Utf16::None) return EmitBlocks(sink);
  const bool bigEndian = utf16_ == Utf16::BigEndian;
  sink(bigEndian ? "\xFE\xFF" : "\xFF\xFE");
  std::string units;
  EmitBlocks([&](std::string_view piece) {
    units.clear();
    AppendAsUtf16(piece, bigEndian, units);
    sink(units);
  });
}

std::string CsvDocument::Bytes() const {
  std::string out;
  out.reserve((TotalSize() + lineEnding_.size()) * (utf16_ == Utf16::None ? 1 : 2) + 2);
  EmitFile([&out](std::string_view piece) { out.append(piece); });
  return out;
}

void CsvDocument::Save(const std::string& path) {
  const FileIdentity before = opened_;
  ReplaceFile(
      path, opened_.inode ? &opened_ : nullptr,
      [this](const std::function<void(std::string_view)>& sink) { EmitFile(sink); },
      [this] { return mapped_.Intact(); });
  // A save that had to write into the file itself (hard links, another
  // owner) changed the mapped bytes under the records: read what it wrote.
  if (mapped_ && opened_.device == before.device && opened_.inode == before.inode) {
    const size_t moved = rowsMoved_;
    *this = Open(path);
    rowsMoved_ = moved;
  }
}

}  // namespace host::csv
