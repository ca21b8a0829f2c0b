// Ordering the keys of a sort. Texts are compared through the collator's
// table when every text is simple, otherwise through their ICU sort keys,
// made once per text; the first eight weights or key bytes are kept as a
// prefix that decides most comparisons without visiting the texts.

#include "host/SortKeys.h"

#include <algorithm>
#include <string>

#include "host/TextCollator.h"

namespace host {

namespace {

struct TextComparison {
  const TextCollator* collator;
  bool sortKeys;
  int operator()(const SortKey& a, const SortKey& b) const {
    if (a.prefix != b.prefix) return a.prefix < b.prefix ? -1 : 1;
    if (!sortKeys) return collator->CompareSimple(a.text, b.text);
    const int c = a.text.compare(b.text);
    return c == 0 ? 0 : (c < 0 ? -1 : 1);
  }
};

int CompareKeys(const SortKey& a, const SortKey& b, const TextComparison& texts) {
  if (a.cls != b.cls) return a.cls < b.cls ? -1 : 1;
  switch (a.cls) {
    case KeyClass::Number:
    case KeyClass::Boolean:
      return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
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
  for (SortKey& key : keys)
    if (key.cls == KeyClass::Text && !collator.SimplePrefix(key.text, key.prefix)) {
      simple = false;
      break;
    }
  if (simple) return TextComparison{&collator, false};
  std::vector<size_t> ends(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i].cls == KeyClass::Text) collator.AppendSortKey(keys[i].text, store);
    ends[i] = store.size();
  }
  size_t begin = 0;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i].cls == KeyClass::Text) {
      keys[i].text = std::string_view(store).substr(begin, ends[i] - begin);
      uint64_t prefix = 0;
      for (size_t k = 0; k < 8; ++k)
        prefix = (prefix << 8) | (k < keys[i].text.size() ? static_cast<unsigned char>(keys[i].text[k]) : 0);
      keys[i].prefix = prefix;
    }
    begin = ends[i];
  }
  return TextComparison{&collator, true};
}

}  // namespace

SortKey KeyOf(int row, const StoredValue& value) {
  SortKey key;
  key.row = row;
  switch (value.kind) {
    case CellKind::Number:
      key.cls = KeyClass::Number;
      key.number = value.number;
      break;
    case CellKind::Text:
      key.cls = KeyClass::Text;
      key.text = value.text;
      break;
    case CellKind::Boolean:
      key.cls = KeyClass::Boolean;
      key.number = value.number;
      break;
    case CellKind::Error:
      key.cls = KeyClass::Error;
      break;
    case CellKind::Blank:
      break;
  }
  return key;
}

std::vector<int> OrderKeys(std::vector<SortKey> keys, bool descending) {
  keys.erase(std::remove_if(keys.begin(), keys.end(), [](const SortKey& k) { return k.cls == KeyClass::Empty; }),
             keys.end());
  std::string sortKeyStore;
  const TextComparison texts = PrepareTextKeys(keys, sortKeyStore);
  std::stable_sort(keys.begin(), keys.end(), [descending, &texts](const SortKey& a, const SortKey& b) {
    const int c = CompareKeys(a, b, texts);
    return descending ? c > 0 : c < 0;
  });
  std::vector<int> rows;
  rows.reserve(keys.size());
  for (const SortKey& k : keys) rows.push_back(k.row);
  return rows;
}

}  // namespace host
