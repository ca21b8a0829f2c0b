#pragma once
// The order of a sort, whatever the file format: each row's key (the value
// of its cell in the key column) and the stable order of the keys. Numbers
// and dates first, then text in the user's language order (TextCollator),
// then FALSE, TRUE, then errors; empty keys last in either direction.

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/core/HugePages.h"
#include "host/core/RowNumbers.h"
#include "host/core/StoredValue.h"

namespace host {

enum class KeyClass : uint8_t { Number = 0, Text = 1, Boolean = 2, Error = 3, Empty = 4 };

// One row's key. Kept to 24 bytes: a sort of a million rows holds a million
// keys. The class lives in the top bits of the text's size. A key made
// without a row is not initialised (room that a store fills).
class SortKey {
 public:
  SortKey() = default;
  explicit SortKey(int row)
      : text_(nullptr), size_(static_cast<uint32_t>(KeyClass::Empty) << kClassShift), row_(row), number_(0) {}

  // The sheet row the key stands for.
  int Row() const { return row_; }
  KeyClass Class() const { return static_cast<KeyClass>(size_ >> kClassShift); }
  // Number, Boolean (1 or 0).
  double Number() const { return number_; }
  // Text; must stay valid while the keys are ordered.
  std::string_view Text() const { return std::string_view(text_, size_ & kSizeMask); }

  // A Number, Boolean or Error key (the number is ignored for errors).
  void Set(KeyClass cls, double number = 0) {
    number_ = number;
    size_ = static_cast<uint32_t>(cls) << kClassShift;
  }
  // A Text key (texts of 256 MB or more are cut there).
  void SetText(std::string_view text) {
    text_ = text.data();
    size_ = (static_cast<uint32_t>(KeyClass::Text) << kClassShift) |
            static_cast<uint32_t>(std::min<size_t>(text.size(), kSizeMask));
  }

 private:
  friend class KeyOrder;
  static constexpr int kClassShift = 29;
  static constexpr uint32_t kPrefixed = 1u << (kClassShift - 1);  // a text key's prefix is already set
  static constexpr uint32_t kSizeMask = kPrefixed - 1;
  const char* text_;
  uint32_t size_;
  int32_t row_;
  double number_;  // a text's first weights while the keys are ordered
};

static_assert(sizeof(SortKey) == 24, "a million keys must stay small");

// A million keys take 24 MB: in huge pages, whole, and not cleared before
// the store writes them.
using SortKeys = std::vector<SortKey, UnclearedAllocator<SortKey>>;

// The key of a stored value (text viewed, not copied: value must outlive it).
SortKey KeyOf(int row, const StoredValue& value);

class TextCollator;

// Gives a text key, now, what ordering it compares first (the first weights
// of its text, which OrderKeys would otherwise work out in a pass over every
// text): for a store that lets go of its texts' memory as it reads them, so
// that ordering reads a text again only where two keys tie on those
// weights. collator is TextCollator::ForUserLocale() of the thread that
// orders the keys; it is only read here, so any thread may call this.
void PrefixText(SortKey& key, const TextCollator& collator);

// The key cells of one sort as a store reads them, in ascending row order.
// A text is viewed where it stands when the store keeps it for the whole
// sort, or copied here; a formula never calculated is noted, and the core
// refuses the sort for it when its row takes part.
class SortKeyList {
 public:
  // A cell's value as the host stores values (its text copied).
  void Add(int row, const StoredValue& value);
  void AddNumber(int row, double number) { Push(row).Set(KeyClass::Number, number); }
  void AddBoolean(int row, bool value) { Push(row).Set(KeyClass::Boolean, value ? 1 : 0); }
  void AddError(int row) { Push(row).Set(KeyClass::Error); }
  // A text that outlives the sort (the store's own bytes).
  void AddTextView(int row, std::string_view text) { Push(row).SetText(text); }
  // A text made for the sort (decoded, unquoted).
  void AddText(int row, std::string text);
  // Room for `count` more keys, for a store that knows how many it reads
  // (a list grown by doubling would hold up to twice the keys at its peak).
  void Reserve(size_t count) { keys_.reserve(keys_.size() + count); }
  // A key cell holding a formula that has no stored result.
  void AddUncalculated(int row) { uncalculated_.push_back(row); }

  // For a store that reads its keys on several threads: room for `count`
  // more keys, not initialised, which the threads fill each in its own part
  // (every one of them: an empty key for a row without one). Returns the
  // first of them.
  SortKey* Extend(size_t count);
  // A filler's texts made for the sort (kept while the keys are), and the
  // text key of one of them.
  using TextStore = std::deque<std::string>;
  static SortKey TextKey(int row, std::string text, TextStore& store);
  void KeepTexts(TextStore&& texts) { keptTexts_.push_back(std::move(texts)); }

  SortKeys& Keys() { return keys_; }
  const std::vector<int>& UncalculatedRows() const { return uncalculated_; }

 private:
  SortKey& Push(int row) { return keys_.emplace_back(row); }

  SortKeys keys_;
  std::deque<std::string> texts_;  // the copied texts; a deque never moves them
  std::vector<TextStore> keptTexts_;  // the fillers' (a deque moved keeps its texts in place)
  std::vector<int> uncalculated_;
};

// The rows of the non-empty keys in sorted order, ascending or descending;
// keys come in ascending row order, and equal keys keep that order. Rows
// with an empty key are left out: PlaceRows puts them after the keyed rows,
// in their old order, with the rows that hold no cells. Many keys are
// ordered on two threads.
RowNumbers OrderKeys(SortKeys keys, bool descending);

}  // namespace host
