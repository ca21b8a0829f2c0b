#pragma once
// Where a raw deflate stream's last block begins and where the stream ends,
// to the bit. A compressor that works on whole buffers ends every buffer it
// compresses with a final block; to join such streams into one, the final
// mark of all but the last is cleared and each is closed on a byte boundary,
// which needs these two positions (the deflate format records neither).

#include <cstddef>
#include <cstdint>

namespace host {

struct DeflateStreamEnd {
  uint64_t finalHeaderBit = 0;  // bit offset of the final block's BFINAL bit
  uint64_t endBit = 0;          // bit offset just past the final block
};

// Walks the blocks of the raw deflate stream data[0, size) without writing
// what they hold. False when the bytes are no complete, well-formed deflate
// stream (distances are not checked against the data before them).
bool FindDeflateStreamEnd(const unsigned char* data, size_t size, DeflateStreamEnd& end);

// Closes the stream data[0, size) (its end found above) so that another
// stream can follow it: clears its final mark, appends an empty stored block
// that brings it to a byte boundary, and returns the new size. data needs
// room for 5 bytes past size.
size_t MakeDeflateStreamJoinable(unsigned char* data, size_t size, const DeflateStreamEnd& end);

}  // namespace host
