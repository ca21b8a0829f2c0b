// The order of many keys: put into buckets and sorted on two threads, they
// come out exactly as a plain stable sort by the order's rules puts them, in
// either direction, whatever mix of numbers, texts, booleans and errors.

#include "host/core/SortKeys.h"
#include "host/core/TextCollator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

struct Key {
  int row;
  host::KeyClass cls;
  double number;
  std::string text;
};

// The rows in the order's rules, one comparison at a time.
host::RowNumbers ReferenceOrder(std::vector<Key> keys, bool descending) {
  const host::TextCollator& collator = host::TextCollator::ForUserLocale();
  auto compare = [&](const Key& a, const Key& b) {
    if (a.cls != b.cls) return a.cls < b.cls ? -1 : 1;
    if (a.cls == host::KeyClass::Text) return collator.Compare(a.text, b.text);
    if (a.cls == host::KeyClass::Error) return 0;
    return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
  };
  std::stable_sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
    const int c = compare(a, b);
    return descending ? c > 0 : c < 0;
  });
  host::RowNumbers rows;
  for (const Key& k : keys) rows.push_back(k.row);
  return rows;
}

}  // namespace

TEST(SortKeys, ManyKeysComeInTheOrderOfTheRulesInEitherDirection) {
  const std::vector<std::string> simple{"apple", "Apple", "co-op", "coop", "cob", "b", "", "zz", "a1", "1a", "!x"};
  const std::vector<std::string> other{"\xC3\xA9" "clair", "eclair", "Z\xC3\xBCrich", "zurich", "\xCE\xB1"};
  const std::vector<double> numbers{-0.0, 0.0, -1e300, 1e300, -2.5, 2.5, 45000.25, 1e-300, -1e-300, 7};
  struct Case {
    const char* name;
    size_t count;
    bool otherTexts;  // texts the fast table cannot order (ICU's sort keys then)
    bool onlyText;
    bool prefixedAsRead = false;  // every other text given its prefix by the store (PrefixText)
  } cases[] = {
      {"a few keys of every class", 100, true, false},
      {"many keys of every class", 20000, true, false},
      {"many simple texts among numbers", 20000, false, false},
      {"keys enough for two threads, simple texts", 250000, false, true},
      {"keys enough for two threads, every class", 250000, true, false},
      {"simple texts, half of them prefixed as read", 20000, false, false, true},
      {"every class, half of the texts prefixed as read", 20000, true, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::mt19937 rng(7);
    std::vector<Key> keys;
    host::SortKeyList list;
    for (size_t i = 0; i < c.count; ++i) {
      const int row = static_cast<int>(i) + 1;
      const unsigned pick = c.onlyText ? 1 : rng() % 6;
      Key key{row, host::KeyClass::Text, 0, {}};
      if (pick == 0) {
        key.cls = host::KeyClass::Number;
        key.number = rng() % 3 ? numbers[rng() % numbers.size()] : static_cast<double>(rng() % 100000) / 8;
        list.AddNumber(row, key.number);
      } else if (pick == 4) {
        key.cls = host::KeyClass::Boolean;
        key.number = rng() % 2;
        list.AddBoolean(row, key.number != 0);
      } else if (pick == 5) {
        key.cls = host::KeyClass::Error;
        list.AddError(row);
      } else {
        // Repeated texts and random ones that share their first letters.
        if (rng() % 3 == 0) key.text = (c.otherTexts && rng() % 4 == 0) ? other[rng() % other.size()] : simple[rng() % simple.size()];
        else for (int n = 0; n < 12; ++n) key.text += static_cast<char>((n < 3 ? 'k' : 'a') + rng() % 3);
        list.AddText(row, key.text);
      }
      keys.push_back(key);
    }
    if (c.prefixedAsRead)
      for (size_t i = 0; i < list.Keys().size(); i += 2)
        host::PrefixText(list.Keys()[i], host::TextCollator::ForUserLocale());
    for (const bool descending : {false, true}) {
      EXPECT_EQ(host::OrderKeys(list.Keys(), descending), ReferenceOrder(keys, descending)) << descending;
    }
  }
}
