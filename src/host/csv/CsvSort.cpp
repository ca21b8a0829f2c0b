// Sorting the records of a CSV sheet: each row's key field is typed once, the
// keys are ordered, and only the row order changes; the records' bytes stay.

#include <algorithm>
#include <cstring>

#include "host/csv/CsvDocument.h"
#include "host/csv/CsvFields.h"
#include "host/csv/CsvText.h"

namespace host::csv {

namespace {

struct SortKey {
  uint64_t bits;     // numbers: the double's bits; texts: folded first 8 bytes
  uint32_t textPos;  // texts: where the text starts (file bytes or `side`)
  uint32_t textLen : 31;
  uint32_t inSide : 1;
  uint32_t seq;      // position in the sorted rows before the sort
  CsvKind kind;
};

inline unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

uint64_t FoldedPrefix(std::string_view text) {
  uint64_t prefix = 0;
  for (size_t i = 0; i < 8; ++i)
    prefix = (prefix << 8) | (i < text.size() ? Fold(static_cast<unsigned char>(text[i])) : 0);
  return prefix;
}

int CompareNoCase(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = Fold(static_cast<unsigned char>(a[i])), y = Fold(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

void CsvDocument::SortRows(int firstRow, int lastRow, int column) {
  firstRow = std::max(firstRow, 1);
  lastRow = std::min(lastRow, RowCount());
  if (lastRow <= firstRow || column < 1) return;
  const size_t count = static_cast<size_t>(lastRow - firstRow + 1);

  // Texts that need unquoting or decoding are kept in `side`; the others are
  // read where they stand in the file.
  std::string side, scratch;
  std::vector<SortKey> keys(count);
  const bool asIs = utf8_;
  for (size_t k = 0; k < count; ++k) {
    std::string_view raw = RawField(Content(order_[firstRow - 1 + k]), delimiter_, column);
    std::string_view text = raw;
    bool decoded = !IsPlain(raw) || (!asIs && std::any_of(raw.begin(), raw.end(), [](char c) {
                                        return static_cast<unsigned char>(c) >= 0x80;
                                      }));
    if (decoded) {
      scratch.clear();
      AppendAsUtf8(IsPlain(raw) ? std::string(raw) : Unquote(raw), utf8_, scratch);
      text = scratch;
    }
    CsvValue value = TypeField(text);
    SortKey& key = keys[k];
    key.seq = static_cast<uint32_t>(k);
    key.kind = value.kind;
    key.textPos = 0;
    key.textLen = 0;
    key.inSide = 0;
    if (value.kind == CsvKind::Text) {
      key.bits = FoldedPrefix(text);
      key.textLen = static_cast<uint32_t>(std::min<size_t>(text.size(), 0x7FFFFFFF));
      if (decoded) {
        key.inSide = 1;
        key.textPos = static_cast<uint32_t>(side.size());
        side += scratch;
      } else {
        key.textPos = static_cast<uint32_t>(raw.data() - bytes_.data());
      }
    } else {
      std::memcpy(&key.bits, &value.number, sizeof key.bits);
    }
  }

  auto textOf = [&](const SortKey& k) {
    return std::string_view(k.inSide ? side.data() : bytes_.data(), k.inSide ? side.size() : bytes_.size())
        .substr(k.textPos, k.textLen);
  };
  // Equal keys keep their order: ties are decided by the old position.
  std::sort(keys.begin(), keys.end(), [&](const SortKey& a, const SortKey& b) {
    if (a.kind != b.kind) return a.kind < b.kind;
    int c = 0;
    if (a.kind == CsvKind::Number || a.kind == CsvKind::Boolean) {
      double x, y;
      std::memcpy(&x, &a.bits, sizeof x);
      std::memcpy(&y, &b.bits, sizeof y);
      c = x < y ? -1 : (x > y ? 1 : 0);
    } else if (a.kind == CsvKind::Text) {
      c = a.bits != b.bits ? (a.bits < b.bits ? -1 : 1) : CompareNoCase(textOf(a), textOf(b));
    }
    return c != 0 ? c < 0 : a.seq < b.seq;
  });

  std::vector<uint32_t> moved(count);
  for (size_t k = 0; k < count; ++k) moved[k] = order_[firstRow - 1 + keys[k].seq];
  std::copy(moved.begin(), moved.end(), order_.begin() + (firstRow - 1));
}

}  // namespace host::csv
