// A part deflated in pieces is one deflate stream that an independent
// inflater (zlib) reads back to the part, with the part's size and CRC-32.

#include <gtest/gtest.h>
#include <sched.h>
#include <zlib.h>

#include <random>
#include <string>

#include "host/core/UsableCores.h"
#include "host/io/PartDeflater.h"

namespace {

std::string Inflate(const std::string& compressed, size_t expected) {
  std::string out(expected + 1, '\0');
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  z.avail_in = static_cast<uInt>(compressed.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int status = inflate(&z, Z_FINISH);
  EXPECT_EQ(status, Z_STREAM_END);
  EXPECT_EQ(z.avail_in, 0u) << "bytes after the stream's end";
  out.resize(z.total_out);
  inflateEnd(&z);
  return out;
}

// Rows of sheet-like XML, with random numbers so that it is not trivial.
std::string XmlRows(size_t bytes, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s;
  for (int r = 1; s.size() < bytes; ++r)
    s += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) + "\"><v>" + std::to_string(rng()) +
         "</v></c></row>";
  s.resize(bytes);
  return s;
}

std::string RandomBytes(size_t bytes, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(bytes, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

struct Case {
  const char* name;
  std::string part;
  uint64_t announced;  // the size the producer announces
  size_t chunk;        // how the bytes arrive
  int level;
};

TEST(PartDeflater, JoinedPiecesInflateToThePart) {
  const size_t piece = host::PartDeflater::kMaxPiece;
  const std::string mixed = XmlRows(3 << 20, 1) + RandomBytes(2 << 20, 2) + XmlRows(5 << 20, 3);
  const Case cases[] = {
      {"empty", "", 0, 1, 5},
      {"one byte", "x", 1, 1, 5},
      {"small part", XmlRows(50000, 4), 50000, 777, 9},
      {"just above the split", XmlRows(host::PartDeflater::kSplitFrom + 1, 5), host::PartDeflater::kSplitFrom + 1, 4096, 5},
      {"whole pieces exactly", XmlRows(2 * piece, 6), 2 * piece, 65536, 5},
      {"many pieces, stored blocks among them", mixed, mixed.size(), 100000, 5},
      {"many pieces, level 1", mixed, mixed.size(), 1 << 20, 1},
      {"announced too small", XmlRows(3 << 20, 7), 1000, 65536, 7},
      {"announced too large", XmlRows(2 << 20, 8), 40 << 20, 65536, 5},
      {"incompressible: pieces past the room kept for them", RandomBytes(7 << 20, 9), 7 << 20, 65536, 5},
  };
  // On two threads, and on the calling thread alone where the process may
  // run on one core only (the mask it had is given back however the test ends).
  struct Affinity {
    cpu_set_t all;
    Affinity() { sched_getaffinity(0, sizeof all, &all); }
    ~Affinity() { sched_setaffinity(0, sizeof all, &all); }
  } affinity;
  for (const bool oneCore : {false, true}) {
    if (oneCore) {
      cpu_set_t one;
      CPU_ZERO(&one);
      CPU_SET(sched_getcpu(), &one);
      ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
      EXPECT_EQ(host::UsableCores(), 1u);
    }
    for (const Case& c : cases) {
      const std::string name = std::string(c.name) + (oneCore ? ", one core" : "");
      host::PartDeflater deflater(c.level, c.announced);
      for (size_t at = 0; at < c.part.size(); at += c.chunk) deflater.Add(std::string_view(c.part).substr(at, c.chunk));
      ASSERT_TRUE(deflater.Finish()) << name;
      std::string joined;
      for (std::string_view p : deflater.Compressed()) joined += p;
      EXPECT_EQ(joined.size(), deflater.CompressedSize()) << name;
      EXPECT_EQ(deflater.Size(), c.part.size()) << name;
      EXPECT_EQ(deflater.Crc(), crc32(0, reinterpret_cast<const Bytef*>(c.part.data()), static_cast<uInt>(c.part.size())))
          << name;
      EXPECT_TRUE(Inflate(joined, c.part.size()) == c.part) << name;
    }
  }
}

}  // namespace
