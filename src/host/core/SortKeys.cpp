// Ordering the keys of a sort. Texts are compared through the collator's
// table when every text is simple, otherwise through their ICU sort keys,
// made once per text; the first eight weights or key bytes are kept as a
// prefix that decides most comparisons without visiting the texts. Many keys
// are first put into buckets by the top bits of that prefix (or number), in
// place, and each bucket is sorted on its own.

#include "host/core/SortKeys.h"

#include <algorithm>
#include <cstring>
#include <future>
#include <string>
#include <thread>

#include "host/core/TextCollator.h"
#include "host/core/UsableCores.h"

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
  static bool Prefixed(const SortKey& key) { return key.size_ & SortKey::kPrefixed; }
  static void MarkPrefixed(SortKey& key) { key.size_ |= SortKey::kPrefixed; }
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
// when a text is not simple. anyEmpty is set unless the pass over the keys
// found no empty key (it may stop early).
TextComparison PrepareTextKeys(SortKeys& keys, std::string& store, bool& anyEmpty) {
  const TextCollator& collator = TextCollator::ForUserLocale();
  bool simple = true;
  anyEmpty = true;
  bool empty = false;
  for (SortKey& key : keys) {
    empty = empty || key.Class() == KeyClass::Empty;
    if (key.Class() != KeyClass::Text || KeyOrder::Prefixed(key)) continue;
    uint64_t prefix = 0;
    if (!collator.SimplePrefix(key.Text(), prefix)) {
      simple = false;
      break;
    }
    SetPrefix(key, prefix);
  }
  if (simple) {
    anyEmpty = empty;
    return TextComparison{&collator, false};
  }
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

// Keys are put into buckets by their class and the top bits of what they
// are compared by (a number's bits in their order, a text's prefix): every
// key of a bucket comes before every key of a later bucket in the order's
// direction, so a bucket can be sorted on its own, small enough to stay in
// the cache.
constexpr int kBucketBits = 16;
// Keys are moved into at most 2^kPassBits groups in one pass, so that the
// places where each group's next key goes stay in the cache (65,536 of them
// cost a miss for nearly every key moved): the buckets take two passes.
constexpr int kPassBits = 8;
static_assert(kBucketBits <= 2 * kPassBits && kBucketBits <= 16, "buckets are made in at most two passes");
constexpr size_t kBuckets = size_t(1) << kBucketBits;
// Fewer keys than this are sorted as they are: buckets would cost more.
constexpr size_t kKeysForBuckets = 4096;

// The bits of a number, as an unsigned integer in the numbers' order.
uint64_t OrderedBits(double number) {
  if (number == 0) number = 0;  // -0 equals 0
  uint64_t bits;
  std::memcpy(&bits, &number, sizeof bits);
  return (bits >> 63) ? ~bits : bits | (uint64_t(1) << 63);
}

// The class (Number, Text, Boolean, Error: two bits, no Empty keys here) and
// the top of what a key is compared by, in one word in the keys' order.
[[gnu::always_inline]] inline uint64_t OrderWord(const SortKey& key) {
  uint64_t value = 0;
  if (key.Class() == KeyClass::Number || key.Class() == KeyClass::Boolean) value = OrderedBits(key.Number());
  else if (key.Class() == KeyClass::Text) value = PrefixOf(key);
  return (static_cast<uint64_t>(key.Class()) << 62) | (value >> 2);
}

// The bucket of a key: the bits of its word just below those that all keys
// of a range share; counted from the last bucket for a descending order.
struct Bucketing {
  uint64_t lowest = 0;
  int shift = 0;
  size_t last = 0;  // the last bucket when descending, else 0
  size_t operator()(const SortKey& key) const {
    const size_t b = static_cast<size_t>((OrderWord(key) - lowest) >> shift);
    return last ? last - b : b;
  }
};

using KeyIterator = SortKeys::iterator;

// The lowest and highest order word of first..last.
struct WordRange {
  uint64_t lowest = ~uint64_t(0), highest = 0;
  WordRange() = default;
  WordRange(KeyIterator first, KeyIterator last) {
    for (auto key = first; key != last; ++key) {
      const uint64_t word = OrderWord(*key);
      lowest = std::min(lowest, word);
      highest = std::max(highest, word);
    }
  }
  // The range of both.
  WordRange With(const WordRange& other) const {
    WordRange both;
    both.lowest = std::min(lowest, other.lowest);
    both.highest = std::max(highest, other.highest);
    return both;
  }
};

Bucketing BucketingFor(const WordRange& words, int bits, bool descending) {
  int width = 0;
  for (uint64_t span = words.highest - words.lowest; span != 0; span >>= 1) ++width;
  return Bucketing{words.lowest, std::max(0, width - bits), descending ? (size_t(1) << bits) - 1 : 0};
}

// Reorders count items in place so that the items of each group (groupAt
// of a place, in 0..2^kPassBits - 1) stand together, groups in order; swap
// exchanges the items of two places; start (2^kPassBits + 1 entries) gets
// where each group begins.
template <typename GroupAt, typename Swap>
void DistributeOnce(size_t count, const GroupAt& groupAt, const Swap& swap, uint32_t* start) {
  constexpr size_t kGroups = size_t(1) << kPassBits;
  std::fill(start, start + kGroups + 1, 0);
  for (size_t i = 0; i < count; ++i) ++start[groupAt(i) + 1];
  for (size_t g = 0; g < kGroups; ++g) start[g + 1] += start[g];
  uint32_t next[kGroups];
  std::copy(start, start + kGroups, next);
  // Each item not yet in its group is swapped into the next free place there.
  for (size_t g = 0; g < kGroups; ++g) {
    while (next[g] < start[g + 1]) {
      const size_t target = groupAt(next[g]);
      if (target == g) ++next[g];
      else swap(next[g], next[target]++);
    }
  }
}

// Reorders count items into the 2^bits buckets of bucketAt (bits at most
// kPassBits), so that bucket b holds places start[b]..start[b+1]; start
// holds 2^bits + 1 entries.
template <typename BucketAt, typename Swap>
void DistributeFew(size_t count, const BucketAt& bucketAt, const Swap& swap, int bits, uint32_t* start) {
  const int spare = kPassBits - bits;  // fewer buckets: the groups between them stay empty
  uint32_t group[(size_t(1) << kPassBits) + 1];
  DistributeOnce(count, [&](size_t i) { return bucketAt(i) << spare; }, swap, group);
  for (size_t b = 0; b <= (size_t(1) << bits); ++b) start[b] = group[b << spare];
}

// Reorders first..last in place into the 2^bits buckets of their next bits,
// in the order's direction, so that bucket b holds first[start[b]..start[b+1]);
// start holds 2^bits + 1 entries (bits at most 2 * kPassBits). More than
// 2^kPassBits buckets are made in two passes, by a bucket's high bits, then
// each group by its low bits, each key's bucket worked out once and moved
// along with it.
void Distribute(KeyIterator first, KeyIterator last, const Bucketing& bucketOf, int bits, uint32_t* start) {
  const size_t count = static_cast<size_t>(last - first);
  auto swapKeys = [&](size_t i, size_t j) { std::swap(first[i], first[j]); };
  if (bits <= kPassBits)
    return DistributeFew(count, [&](size_t i) { return bucketOf(first[i]); }, swapKeys, bits, start);
  std::vector<uint16_t> bucket(count);
  for (size_t i = 0; i < count; ++i) bucket[i] = static_cast<uint16_t>(bucketOf(first[i]));
  const int low = bits - kPassBits;
  const size_t perGroup = size_t(1) << low;
  uint32_t group[(size_t(1) << kPassBits) + 1];
  DistributeOnce(count, [&](size_t i) { return bucket[i] >> low; },
                 [&](size_t i, size_t j) {
                   std::swap(first[i], first[j]);
                   std::swap(bucket[i], bucket[j]);
                 },
                 group);
  for (size_t g = 0; g < (size_t(1) << kPassBits); ++g) {
    // A group's last entry is the next group's first, written after it.
    uint32_t* part = start + g * perGroup;
    const size_t from = group[g];
    DistributeFew(group[g + 1] - from, [&](size_t i) { return bucket[from + i] & (perGroup - 1); },
                  [&](size_t i, size_t j) {
                    std::swap(first[from + i], first[from + j]);
                    std::swap(bucket[from + i], bucket[from + j]);
                  },
                  low, part);
    for (size_t b = 0; b < perGroup; ++b) part[b] += group[g];
  }
  start[size_t(1) << bits] = static_cast<uint32_t>(count);
}

void Distribute(KeyIterator first, KeyIterator last, int bits, bool descending, uint32_t* start) {
  Distribute(first, last, BucketingFor(WordRange(first, last), bits, descending), bits, start);
}

// Sorts one bucket: a large one is split once more by its next eight bits,
// and each part sorted.
template <typename Less>
void SortBucket(KeyIterator first, KeyIterator last, bool descending, const Less& less) {
  constexpr size_t kKeysForSecondSplit = 64;
  constexpr int kSecondBits = 8;
  constexpr size_t kParts = size_t(1) << kSecondBits;
  if (last - first <= static_cast<std::ptrdiff_t>(kKeysForSecondSplit)) {
    std::sort(first, last, less);
    return;
  }
  uint32_t start[kParts + 1];
  Distribute(first, last, kSecondBits, descending, start);
  for (size_t p = 0; p < kParts; ++p)
    if (start[p + 1] - start[p] > 1) std::sort(first + start[p], first + start[p + 1], less);
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

void PrefixText(SortKey& key, const TextCollator& collator) {
  uint64_t prefix = 0;
  if (key.Class() != KeyClass::Text || !collator.SimplePrefix(key.Text(), prefix)) return;
  SetPrefix(key, prefix);
  KeyOrder::MarkPrefixed(key);
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

SortKey* SortKeyList::Extend(size_t count) {
  const size_t first = keys_.size();
  Reserve(count);
  keys_.resize(first + count);
  return keys_.data() + first;
}

SortKey SortKeyList::TextKey(int row, std::string text, TextStore& store) {
  SortKey key(row);
  key.SetText(store.emplace_back(std::move(text)));
  return key;
}

RowNumbers OrderKeys(SortKeys keys, bool descending) {
  std::string sortKeyStore;
  bool anyEmpty = true;
  const TextComparison texts = PrepareTextKeys(keys, sortKeyStore, anyEmpty);
  // Empty keys are left out (a text keeps its sort key where it moves).
  if (anyEmpty)
    keys.erase(std::remove_if(keys.begin(), keys.end(), [](const SortKey& k) { return k.Class() == KeyClass::Empty; }),
               keys.end());
  // Ties go by row, which keeps the sort stable without the buffer a stable
  // sort would take.
  auto less = [descending, &texts](const SortKey& a, const SortKey& b) {
    const int c = CompareKeys(a, b, texts);
    if (c != 0) return descending ? c > 0 : c < 0;
    return a.Row() < b.Row();
  };
  RowNumbers rows;
  if (keys.size() < kKeysForBuckets) {
    rows.reserve(keys.size());
    std::sort(keys.begin(), keys.end(), less);
    for (const SortKey& k : keys) rows.push_back(k.Row());
    return rows;
  }
  // Many keys: put into buckets in place, then each bucket sorted on its
  // own, and its keys' rows written to their place.
  const size_t n = keys.size();
  rows.resize(n);
  if (n < kKeysForTwoThreads || UsableCores() < 2) {
    std::vector<uint32_t> start(kBuckets + 1);
    Distribute(keys.begin(), keys.end(), kBucketBits, descending, start.data());
    for (size_t b = 0; b < kBuckets; ++b) {
      const auto from = keys.begin() + start[b], to = keys.begin() + start[b + 1];
      SortBucket(from, to, descending, less);
      size_t at = start[b];
      for (auto k = from; k != to; ++k) rows[at++] = k->Row();
    }
    return rows;
  }
  // On two threads: each half of the keys is put into the same buckets
  // within itself, one half a thread; then each thread takes the buckets of
  // about half the keys, sorts a bucket's part in either half and merges the
  // two parts' rows straight to their place (the first half's keys come
  // first where they tie: their rows are the lower ones).
  const auto middle = keys.begin() + static_cast<std::ptrdiff_t>(n / 2);
  // Both halves share one bucketing, from the words of both: each thread
  // finds its half's, then puts its half into the buckets.
  std::vector<uint32_t> startA(kBuckets + 1), startB(kBuckets + 1);
  std::promise<WordRange> wordsB;
  std::promise<Bucketing> shared;
  std::thread secondHalf([&, bucketing = shared.get_future()]() mutable {
    wordsB.set_value(WordRange(middle, keys.end()));
    Distribute(middle, keys.end(), bucketing.get(), kBucketBits, startB.data());
  });
  const Bucketing bucketOf = BucketingFor(WordRange(keys.begin(), middle).With(wordsB.get_future().get()),
                                          kBucketBits, descending);
  shared.set_value(bucketOf);
  Distribute(keys.begin(), middle, bucketOf, kBucketBits, startA.data());
  secondHalf.join();
  auto placeOf = [&](size_t b) { return static_cast<size_t>(startA[b]) + startB[b]; };  // where bucket b's rows begin
  auto sortBuckets = [&](size_t firstBucket, size_t lastBucket) {
    for (size_t b = firstBucket; b < lastBucket; ++b) {
      const auto a0 = keys.begin() + startA[b], a1 = keys.begin() + startA[b + 1];
      const auto b0 = middle + startB[b], b1 = middle + startB[b + 1];
      SortBucket(a0, a1, descending, less);
      SortBucket(b0, b1, descending, less);
      size_t at = placeOf(b);
      auto x = a0, y = b0;
      while (x != a1 && y != b1) rows[at++] = less(*y, *x) ? (y++)->Row() : (x++)->Row();
      for (; x != a1; ++x) rows[at++] = x->Row();
      for (; y != b1; ++y) rows[at++] = y->Row();
    }
  };
  size_t split = 0;
  while (split < kBuckets && placeOf(split) < n / 2) ++split;
  std::thread firstPart([&] { sortBuckets(0, split); });
  sortBuckets(split, kBuckets);
  firstPart.join();
  return rows;
}

}  // namespace host
