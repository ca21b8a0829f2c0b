// Ordering the keys of a sort. Texts are compared through the collator's
// table when every text is simple, otherwise through their ICU sort keys,
// made once per text; the first eight weights or key bytes are kept as a
// prefix that decides most comparisons without visiting the texts.

#include "host/core/SortKeys.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>

#include "host/core/TextCollator.h"

namespace host {

// What ordering needs of a key beyond its public face: a text key's prefix
// (its first weights or sort key bytes), kept in the number, which text keys
// do not use, and the text replaced by its sort key.
class KeyOrder {
 public:
  static uint64_t Prefix(const SortKey& key) {
    uint64_t prefix;
    std::memcpy(&prefix, &key.number_, sizeof prefix);
    return prefix;
  }
  static void SetPrefix(SortKey& key, uint64_t prefix) { std::memcpy(&key.number_, &prefix, sizeof prefix); }
  static void ReplaceText(SortKey& key, std::string_view text) { key.SetText(text); }
};

namespace {

// Fewer keys than this are ordered on one thread: a second one would cost
// more than it saves.
constexpr size_t kKeysForTwoThreads = 200000;

uint64_t PrefixOf(const SortKey& key) { return KeyOrder::Prefix(key); }
void SetPrefix(SortKey& key, uint64_t prefix) { KeyOrder::SetPrefix(key, prefix); }

struct TextComparison {
  const TextCollator* collator;
  bool sortKeys;
  int operator()(const SortKey& a, const SortKey& b) const {
    const uint64_t pa = PrefixOf(a), pb = PrefixOf(b);
    if (pa != pb) return pa < pb ? -1 : 1;
    if (!sortKeys) return collator->CompareSimple(a.Text(), b.Text());
    const int c = a.Text().compare(b.Text());
    return c == 0 ? 0 : (c < 0 ? -1 : 1);
  }
};

int CompareKeys(const SortKey& a, const SortKey& b, const TextComparison& texts) {
  if (a.Class() != b.Class()) return a.Class() < b.Class() ? -1 : 1;
  switch (a.Class()) {
    case KeyClass::Number:
    case KeyClass::Boolean:
      return a.Number() < b.Number() ? -1 : (a.Number() > b.Number() ? 1 : 0);
    case KeyClass::Text:
      return texts(a, b);
    default:
      return 0;
  }
}

// Gives the text keys their prefixes, and their sort keys (kept in store)
// when a text is not simple.
TextComparison PrepareTextKeys(std::vector<SortKey>& keys, std::string& store) {
  const TextCollator& collator = TextCollator::ForUserLocale();
  bool simple = true;
  for (SortKey& key : keys) {
    if (key.Class() != KeyClass::Text) continue;
    uint64_t prefix = 0;
    if (!collator.SimplePrefix(key.Text(), prefix)) {
      simple = false;
      break;
    }
    SetPrefix(key, prefix);
  }
  if (simple) return TextComparison{&collator, false};
  std::vector<size_t> ends(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i].Class() == KeyClass::Text) collator.AppendSortKey(keys[i].Text(), store);
    ends[i] = store.size();
  }
  size_t begin = 0;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i].Class() == KeyClass::Text) {
      KeyOrder::ReplaceText(keys[i], std::string_view(store).substr(begin, ends[i] - begin));
      const std::string_view key = keys[i].Text();
      uint64_t prefix = 0;
      for (size_t k = 0; k < 8; ++k)
        prefix = (prefix << 8) | (k < key.size() ? static_cast<unsigned char>(key[k]) : 0);
      SetPrefix(keys[i], prefix);
    }
    begin = ends[i];
  }
  return TextComparison{&collator, true};
}

}  // namespace

SortKey KeyOf(int row, const StoredValue& value) {
  SortKey key(row);
  switch (value.kind) {
    case CellKind::Number: key.Set(KeyClass::Number, value.number); break;
    case CellKind::Text: key.SetText(value.text); break;
    case CellKind::Boolean: key.Set(KeyClass::Boolean, value.number); break;
    case CellKind::Error: key.Set(KeyClass::Error); break;
    case CellKind::Blank: break;
  }
  return key;
}

void SortKeyList::Add(int row, const StoredValue& value) {
  if (value.uncalculated) {
    AddUncalculated(row);
  } else if (value.kind == CellKind::Text) {
    AddText(row, value.text);
  } else if (value.kind != CellKind::Blank) {
    keys_.push_back(KeyOf(row, value));
  }
}

void SortKeyList::AddText(int row, std::string text) {
  Push(row).SetText(texts_.emplace_back(std::move(text)));
}

std::vector<int> OrderKeys(std::vector<SortKey> keys, bool descending) {
  keys.erase(std::remove_if(keys.begin(), keys.end(), [](const SortKey& k) { return k.Class() == KeyClass::Empty; }),
             keys.end());
  std::string sortKeyStore;
  const TextComparison texts = PrepareTextKeys(keys, sortKeyStore);
  // Ties go by row, which keeps the sort stable without the buffer a stable
  // sort would take.
  auto less = [descending, &texts](const SortKey& a, const SortKey& b) {
    const int c = CompareKeys(a, b, texts);
    if (c != 0) return descending ? c > 0 : c < 0;
    return a.Row() < b.Row();
  };
  std::vector<int> rows;
  rows.reserve(keys.size());
  if (keys.size() < kKeysForTwoThreads || std::thread::hardware_concurrency() < 2) {
    std::sort(keys.begin(), keys.end(), less);
    for (const SortKey& k : keys) rows.push_back(k.Row());
    return rows;
  }
  // Many keys: each half sorted on a thread of its own, then the halves
  // merged straight into the rows (no merge buffer).
  const auto middle = keys.begin() + static_cast<std::ptrdiff_t>(keys.size() / 2);
  std::thread firstHalf([&] { std::sort(keys.begin(), middle, less); });
  std::sort(middle, keys.end(), less);
  firstHalf.join();
  auto a = keys.begin(), b = middle;
  while (a != middle && b != keys.end()) rows.push_back((less(*b, *a) ? *b++ : *a++).Row());
  for (; a != middle; ++a) rows.push_back(a->Row());
  for (; b != keys.end(); ++b) rows.push_back(b->Row());
  return rows;
}

}  // namespace host
