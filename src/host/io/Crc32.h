#pragma once
// CRC-32 (the zip format's checksum) of two byte runs joined, from the
// checksums of each: a part deflated in pieces on two threads has each
// piece's checksum taken where the piece is compressed, and the part's
// checksum is put together from them in order, so that no thread walks the
// whole part a second time.

#include <cstdint>

namespace host::io {

// The CRC-32 of A followed by B, given crc(A), crc(B) and B's length.
uint32_t Crc32Joined(uint32_t first, uint32_t second, uint64_t secondSize);

}  // namespace host::io
