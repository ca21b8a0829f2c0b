#pragma once
// A map from a record's offset in its part to what the host keeps for it (a
// moved formula's text, a fresh result): after a sort of a large sheet it
// holds one entry for most cells and is read once for each of them by the
// recalculation and again by the save, in an order unrelated to the offsets.
// The offsets are probed in one flat table (open addressing) that points
// into one array of the values in the order they were made, so a lookup
// costs a miss or two where a node-based map chases a bucket and a node,
// and an insert makes no node of its own.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace host {

template <typename T>
class OffsetMap {
 public:
  // The value kept for offset, or nullptr.
  const T* Find(uint32_t offset) const {
    if (values_.empty()) return nullptr;
    for (size_t at = Home(offset);; at = (at + 1) & mask_) {
      if (slots_[at].index == kEmpty) return nullptr;
      if (slots_[at].offset == offset) return &values_[slots_[at].index];
    }
  }
  T* Find(uint32_t offset) { return const_cast<T*>(std::as_const(*this).Find(offset)); }

  // The value kept for offset, made (value-initialised) when there is none.
  T& operator[](uint32_t offset) {
    if ((values_.size() + 1) * 4 > slots_.size() * 3) Grow();
    size_t at = Home(offset);
    for (; slots_[at].index != kEmpty; at = (at + 1) & mask_)
      if (slots_[at].offset == offset) return values_[slots_[at].index];
    slots_[at] = Slot{offset, static_cast<uint32_t>(values_.size())};
    return values_.emplace_back();
  }

  bool empty() const { return values_.empty(); }
  size_t size() const { return values_.size(); }

 private:
  // A slot of the probed table: the offset and where its value is kept.
  struct Slot {
    uint32_t offset = 0;
    uint32_t index = kEmpty;
  };
  static constexpr uint32_t kEmpty = ~uint32_t(0);

  size_t Home(uint32_t offset) const {
    // Fibonacci hashing: offsets of neighbouring records differ in their low
    // bits, which the multiplication spreads over the top ones.
    return static_cast<size_t>((uint64_t(offset) * 0x9E3779B97F4A7C15ull) >> shift_) & mask_;
  }

  // Doubles the slots (64 at first) and puts every entry back; the values
  // stay where they are.
  void Grow() {
    const size_t count = slots_.empty() ? 64 : slots_.size() * 2;
    std::vector<Slot> old(count, Slot{});
    old.swap(slots_);
    mask_ = count - 1;
    shift_ = 64;
    for (size_t s = count; s > 1; s >>= 1) --shift_;
    for (const Slot& slot : old) {
      if (slot.index == kEmpty) continue;
      size_t at = Home(slot.offset);
      while (slots_[at].index != kEmpty) at = (at + 1) & mask_;
      slots_[at] = slot;
    }
  }

  std::vector<Slot> slots_;
  std::vector<T> values_;
  size_t mask_ = 0;
  int shift_ = 64;
};

}  // namespace host
