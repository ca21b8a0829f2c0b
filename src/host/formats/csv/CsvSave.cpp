// Writing a CSV sheet back: the records' own bytes in the current order.

#include <functional>
#include <string>

#include "host/core/HostError.h"
#include "host/core/FileReplacement.h"
#include "host/formats/csv/CsvDocument.h"
#include "host/formats/csv/CsvText.h"

namespace host::csv {

namespace {
constexpr size_t kReadAhead = 16;  // records fetched ahead of the one written
}  // namespace

// A record without a line ending (the last one of a file without a final
// break) gets the file's line ending when it no longer comes last; whatever
// record comes last keeps the file's final-break state, unless it is a blank
// line, which would vanish without its ending. Mixed endings never merge.
void CsvDocument::Emit(const std::function<bool(std::string_view)>& sink) const {
  if (!sink(std::string_view(bytes_).substr(0, preambleLength_))) return;
  bool afterLoneCr = false;
  for (size_t i = 0; i < rows_; ++i) {
    // After a sort the records are read in an order of their own: ask for
    // those a few rows on before they are needed, or each one waits for
    // memory in turn.
    if (i + kReadAhead < rows_) {
      const uint32_t ahead = At(i + 1 + kReadAhead);
      __builtin_prefetch(bytes_.data() + starts_[ahead]);
      __builtin_prefetch(bytes_.data() + starts_[ahead + 1] - 1);
    }
    std::string_view span = Span(At(i + 1)), content = Content(At(i + 1));
    bool last = i + 1 == rows_;
    bool more = true;
    if (last && !finalBreak_ && !content.empty()) {
      more = sink(content);
    } else if (content.size() == span.size()) {
      more = sink(content) && sink(lineEnding_);
      span = lineEnding_;
    } else if (afterLoneCr && span == "\n") {
      // A blank LF line after a lone CR would join it into one CR LF ending.
      more = sink("\r");
      span = "\r";
    } else {
      more = sink(span);
    }
    if (!more) return;
    afterLoneCr = span.size() >= 1 && span.back() == '\r';
  }
}

void CsvDocument::EmitFile(const std::function<bool(std::string_view)>& sink) const {
  if (utf16_ == Utf16::None) return Emit(sink);
  const bool bigEndian = utf16_ == Utf16::BigEndian;
  if (!sink(bigEndian ? "\xFE\xFF" : "\xFF\xFE")) return;
  std::string units;
  Emit([&](std::string_view piece) {
    units.clear();
    AppendAsUtf16(piece, bigEndian, units);
    return sink(units);
  });
}

std::string CsvDocument::Bytes() const {
  std::string out;
  out.reserve((bytes_.size() + lineEnding_.size()) * (utf16_ == Utf16::None ? 1 : 2) + 2);
  EmitFile([&out](std::string_view piece) {
    out.append(piece);
    return true;
  });
  return out;
}

void CsvDocument::Save(const std::string& path) {
  ReplaceFile(path, opened_.inode ? &opened_ : nullptr,
              [this](const std::function<void(std::string_view)>& sink) {
                EmitFile([&sink](std::string_view piece) {
                  sink(piece);
                  return true;
                });
              });
}

}  // namespace host::csv
