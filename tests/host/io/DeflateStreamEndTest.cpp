// The end of a deflate stream is found to the bit for every kind of block,
// so that a stream closed there and followed by another inflates to both;
// bytes that are no complete stream are refused.

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "host/io/DeflateStreamEnd.h"

namespace {

// A raw deflate stream of text by zlib at a level and strategy.
std::string Deflate(const std::string& text, int level, int strategy) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
  std::string out(deflateBound(&z, text.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string Inflate(const std::string& compressed) {
  std::string out(1 << 22, '\0');
  z_stream z{};
  inflateInit2(&z, -15);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  z.avail_in = static_cast<uInt>(compressed.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int status = inflate(&z, Z_FINISH);
  out.resize(status == Z_STREAM_END && z.avail_in == 0 ? z.total_out : 0);
  inflateEnd(&z);
  return out;
}

std::string Text(int lines) {
  std::string s;
  for (int i = 0; i < lines; ++i) s += "<c r=\"B" + std::to_string(i) + "\" t=\"s\"><v>" + std::to_string(i * 7 % 1000) + "</v></c>";
  return s;
}

TEST(DeflateStreamEnd, ClosedStreamJoinsTheNext) {
  struct Case {
    const char* name;
    std::string text;
    int level;
    int strategy;
  };
  const Case cases[] = {
      {"stored blocks", Text(3000), 0, Z_DEFAULT_STRATEGY},
      {"fixed codes", Text(3000), 6, Z_FIXED},
      {"dynamic codes, several blocks", Text(60000), 6, Z_DEFAULT_STRATEGY},
      {"literals only", Text(2000), 6, Z_HUFFMAN_ONLY},
      {"runs of one byte", std::string(100000, 'a'), 9, Z_RLE},
      {"empty", "", 6, Z_DEFAULT_STRATEGY},
  };
  const std::string tail = Text(500);
  for (const Case& c : cases) {
    std::string first = Deflate(c.text, c.level, c.strategy);
    host::DeflateStreamEnd end;
    ASSERT_TRUE(host::FindDeflateStreamEnd(reinterpret_cast<const unsigned char*>(first.data()), first.size(), end))
        << c.name;
    EXPECT_EQ((end.endBit + 7) / 8, first.size()) << c.name;
    const size_t size = first.size();
    first.resize(size + 8);
    first.resize(host::MakeDeflateStreamJoinable(reinterpret_cast<unsigned char*>(first.data()), size, end));
    EXPECT_TRUE(Inflate(first + Deflate(tail, 6, Z_DEFAULT_STRATEGY)) == c.text + tail) << c.name;
  }
}

TEST(DeflateStreamEnd, IncompleteOrDamagedStreamsAreRefused) {
  const std::string whole = Deflate(Text(20000), 6, Z_DEFAULT_STRATEGY);
  std::string reserved = whole;
  reserved[0] = static_cast<char>(reserved[0] | 6);  // block type 3 does not exist
  std::string badStored = Deflate(Text(100), 0, Z_DEFAULT_STRATEGY);
  badStored[3] = static_cast<char>(badStored[3] ^ 1);  // length and its complement disagree
  const std::string cases[] = {whole.substr(0, whole.size() / 2), whole.substr(0, 1), "", reserved, badStored,
                               std::string(64, '\xff')};
  for (const std::string& bytes : cases) {
    host::DeflateStreamEnd end;
    EXPECT_FALSE(host::FindDeflateStreamEnd(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), end))
        << bytes.size();
  }
}

}  // namespace
