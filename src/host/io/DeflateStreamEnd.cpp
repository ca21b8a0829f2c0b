#include "host/io/DeflateStreamEnd.h"

#include <cstring>
#include <vector>

namespace host {

namespace {

constexpr int kMaxCodeLength = 15;

// Extra bits of the length symbols 257..285 and of the distance codes 0..29.
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which the code-length code's lengths are stored.
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Reads the stream bit by bit, least significant bit first, as deflate packs it.
class BitReader {
 public:
  BitReader(const unsigned char* data, size_t size) : data_(data), size_(size), bits_(uint64_t(size) * 8) {}
  // The next n (at most 32) bits without taking them; bits past the end read as 0.
  uint32_t Peek(int n) const {
    const uint64_t at = pos_ >> 3;
    uint64_t word = 0;
    if (at + 8 <= size_) {
      std::memcpy(&word, data_ + at, 8);
    } else {
      for (uint64_t i = at; i < size_ && i < at + 8; ++i) word |= uint64_t(data_[i]) << (8 * (i - at));
    }
    return static_cast<uint32_t>((word >> (pos_ & 7)) & ((uint64_t(1) << n) - 1));
  }
  uint32_t Take(int n) {
    uint32_t v = Peek(n);
    pos_ += n;
    return v;
  }
  void Skip(uint64_t n) { pos_ += n; }
  void AlignToByte() { pos_ = (pos_ + 7) & ~uint64_t(7); }
  uint64_t Position() const { return pos_; }
  void SetPosition(uint64_t pos) { pos_ = pos; }
  const unsigned char* Data() const { return data_; }
  uint64_t Size() const { return size_; }
  // False once the reader has gone past the stream's last byte.
  bool Within() const { return pos_ <= bits_; }

 private:
  const unsigned char* data_;
  uint64_t size_;
  uint64_t bits_;
  uint64_t pos_ = 0;
};

// What the symbols of a code stand for: the code-length code's symbols are
// taken as they are; a length or distance symbol is followed by extra bits,
// which a walk over the symbols skips together with its code.
enum class CodeKind { Plain, LiteralLength, Distance };

// A canonical Huffman code as a table indexed by the next maxLength bits;
// each entry holds symbol << 5 | the bits to take (the code's length, with
// the symbol's extra bits for lengths and distances: at most 28); 0 where no
// code is.
struct HuffmanTable {
  std::vector<uint16_t> entries;
  int maxLength = 0;

  // False when the lengths describe no usable code (over-subscribed).
  bool Build(const uint8_t* lengths, int count, CodeKind kind = CodeKind::Plain) {
    int perLength[kMaxCodeLength + 1] = {};
    maxLength = 0;
    for (int s = 0; s < count; ++s) {
      ++perLength[lengths[s]];
      if (lengths[s] > maxLength) maxLength = lengths[s];
    }
    perLength[0] = 0;
    int left = 1;
    for (int len = 1; len <= kMaxCodeLength; ++len) {
      left = left * 2 - perLength[len];
      if (left < 0) return false;
    }
    if (maxLength == 0) maxLength = 1;  // no codes: every lookup fails
    entries.assign(size_t(1) << maxLength, 0);
    uint32_t next[kMaxCodeLength + 2] = {};
    uint32_t code = 0;
    for (int len = 1; len <= kMaxCodeLength; ++len) {
      code = (code + perLength[len - 1]) << 1;
      next[len] = code;
    }
    for (int s = 0; s < count; ++s) {
      const int len = lengths[s];
      if (!len) continue;
      uint32_t c = next[len]++, reversed = 0;
      for (int i = 0; i < len; ++i) reversed |= ((c >> i) & 1) << (len - 1 - i);
      int extra = 0;
      if (kind == CodeKind::LiteralLength && s >= 257 && s <= 285) extra = kLengthExtra[s - 257];
      if (kind == CodeKind::Distance && s <= 29) extra = kDistanceExtra[s];
      const auto entry = static_cast<uint16_t>(s << 5 | (len + extra));
      for (uint32_t i = reversed; i < entries.size(); i += uint32_t(1) << len) entries[i] = entry;
    }
    return true;
  }

  // The next symbol (its extra bits taken too), or -1 when the bits are no
  // code of this table.
  int Decode(BitReader& in) const {
    const uint32_t e = entries[in.Peek(maxLength)];
    if (!e) return -1;
    in.Skip(e & 31);
    return static_cast<int>(e >> 5);
  }
};

// Reads a dynamic block's code lengths into its two tables.
bool ReadDynamicTables(BitReader& in, HuffmanTable& literals, HuffmanTable& distances) {
  const int literalCount = static_cast<int>(in.Take(5)) + 257;
  const int distanceCount = static_cast<int>(in.Take(5)) + 1;
  const int lengthCodeCount = static_cast<int>(in.Take(4)) + 4;
  if (literalCount > 286 || distanceCount > 30) return false;
  uint8_t codeLengths[19] = {};
  for (int i = 0; i < lengthCodeCount; ++i) codeLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(in.Take(3));
  HuffmanTable lengthCode;
  if (!lengthCode.Build(codeLengths, 19)) return false;
  uint8_t lengths[286 + 30] = {};
  const int total = literalCount + distanceCount;
  for (int i = 0; i < total;) {
    if (!in.Within()) return false;
    const int symbol = lengthCode.Decode(in);
    if (symbol < 0) return false;
    if (symbol < 16) {
      lengths[i++] = static_cast<uint8_t>(symbol);
      continue;
    }
    int repeat = 0;
    uint8_t value = 0;
    if (symbol == 16) {
      if (i == 0) return false;
      value = lengths[i - 1];
      repeat = 3 + static_cast<int>(in.Take(2));
    } else if (symbol == 17) {
      repeat = 3 + static_cast<int>(in.Take(3));
    } else {
      repeat = 11 + static_cast<int>(in.Take(7));
    }
    if (i + repeat > total) return false;
    while (repeat--) lengths[i++] = value;
  }
  if (!lengths[256]) return false;  // a block must be able to end
  return literals.Build(lengths, literalCount, CodeKind::LiteralLength) &&
         distances.Build(lengths + literalCount, distanceCount, CodeKind::Distance) && in.Within();
}

// Walks one compressed block's symbols up to and including its end code.
// The bits are kept in a 64-bit buffer refilled eight bytes at a time; each
// turn starts with at least 56 bits in it, enough for a length and its
// distance with all their extra bits (at most 48).
bool SkipSymbols(BitReader& in, const HuffmanTable& literals, const HuffmanTable& distances) {
  const unsigned char* const data = in.Data();
  const uint64_t size = in.Size();
  const uint16_t* const literal = literals.entries.data();
  const uint16_t* const distance = distances.entries.data();
  const uint64_t literalMask = (uint64_t(1) << literals.maxLength) - 1;
  const uint64_t distanceMask = (uint64_t(1) << distances.maxLength) - 1;
  uint64_t next = in.Position() >> 3;  // the next byte to load (may pass the end: zeros)
  uint64_t buffer = 0;
  unsigned have = 0;
  unsigned skipFirst = static_cast<unsigned>(in.Position() & 7);
  for (;;) {
    if (next + 8 <= size) {
      uint64_t word;
      std::memcpy(&word, data + next, 8);
      buffer |= word << have;
      next += (63 - have) >> 3;
      have |= 56;
    } else {
      while (have <= 56) {
        buffer |= uint64_t(next < size ? data[next] : 0) << have;
        ++next;
        have += 8;
      }
      // Past the stream's last byte: the bits taken are no longer its own.
      if (next * 8 - have > size * 8) return false;
    }
    if (skipFirst) {
      buffer >>= skipFirst;
      have -= skipFirst;
      skipFirst = 0;
      continue;
    }
    const uint32_t e = literal[buffer & literalMask];
    if (!e) return false;
    buffer >>= e & 31;
    have -= e & 31;
    const uint32_t symbol = e >> 5;
    if (symbol < 256) continue;
    if (symbol == 256) {
      const uint64_t end = next * 8 - have;
      in.SetPosition(end);
      return end <= size * 8;
    }
    if (symbol > 285) return false;
    const uint32_t d = distance[buffer & distanceMask];
    if (!d || (d >> 5) > 29) return false;
    buffer >>= d & 31;
    have -= d & 31;
  }
}

const HuffmanTable& FixedLiterals() {
  static const HuffmanTable table = [] {
    uint8_t lengths[288];
    for (int s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    HuffmanTable t;
    t.Build(lengths, 288, CodeKind::LiteralLength);
    return t;
  }();
  return table;
}

const HuffmanTable& FixedDistances() {
  static const HuffmanTable table = [] {
    uint8_t lengths[32];
    for (uint8_t& l : lengths) l = 5;
    HuffmanTable t;
    t.Build(lengths, 32, CodeKind::Distance);
    return t;
  }();
  return table;
}

}  // namespace

bool FindDeflateStreamEnd(const unsigned char* data, size_t size, DeflateStreamEnd& end) {
  BitReader in(data, size);
  HuffmanTable literals, distances;
  for (;;) {
    if (!in.Within()) return false;
    const uint64_t header = in.Position();
    const bool final = in.Take(1);
    const uint32_t type = in.Take(2);
    if (type == 0) {
      in.AlignToByte();
      const uint32_t length = in.Take(16), complement = in.Take(16);
      if ((length ^ 0xFFFF) != complement) return false;
      in.Skip(uint64_t(length) * 8);
      if (!in.Within()) return false;
    } else if (type == 1) {
      if (!SkipSymbols(in, FixedLiterals(), FixedDistances())) return false;
    } else if (type == 2) {
      if (!ReadDynamicTables(in, literals, distances) || !SkipSymbols(in, literals, distances)) return false;
    } else {
      return false;
    }
    if (final) {
      end.finalHeaderBit = header;
      end.endBit = in.Position();
      return true;
    }
  }
}

size_t MakeDeflateStreamJoinable(unsigned char* data, size_t size, const DeflateStreamEnd& end) {
  data[end.finalHeaderBit >> 3] &= static_cast<unsigned char>(~(1u << (end.finalHeaderBit & 7)));
  // The bits after the stream's end become the header of an empty stored
  // block that is not final (three zero bits), then the padding to the byte.
  const uint64_t headerEnd = end.endBit + 3;
  const size_t closed = static_cast<size_t>((headerEnd + 7) >> 3);
  for (size_t i = static_cast<size_t>(end.endBit >> 3); i < closed; ++i) {
    const uint64_t first = uint64_t(i) * 8;
    const unsigned keep = end.endBit > first ? static_cast<unsigned>(end.endBit - first) : 0;
    data[i] = i < size ? static_cast<unsigned char>(data[i] & ((1u << keep) - 1)) : 0;
  }
  // The stored block's length (0) and its complement.
  data[closed] = 0;
  data[closed + 1] = 0;
  data[closed + 2] = 0xFF;
  data[closed + 3] = 0xFF;
  return closed + 4;
}

}  // namespace host
