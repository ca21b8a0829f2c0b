#include "host/io/Crc32.h"

namespace host::io {

namespace {

// CRC-32 works on polynomials over GF(2) modulo P, stored bit-reversed:
// bit 31 holds the constant term, bit 0 the coefficient of x^31.
constexpr uint32_t kReversedPolynomial = 0xEDB88320u;
constexpr uint32_t kOne = 0x80000000u;

// a * b modulo P.
uint32_t MultiplyModP(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (int power = 0; power < 32; ++power) {
    // b holds the original b times x^power here.
    if (a & (kOne >> power)) product ^= b;
    b = (b & 1) ? (b >> 1) ^ kReversedPolynomial : b >> 1;
  }
  return product;
}

// x^(8 * bytes) modulo P, by squaring.
uint32_t ShiftByBytes(uint64_t bytes) {
  uint32_t result = kOne;
  uint32_t square = kOne >> 8;  // x^8
  for (; bytes; bytes >>= 1) {
    if (bytes & 1) result = MultiplyModP(result, square);
    square = MultiplyModP(square, square);
  }
  return result;
}

}  // namespace

uint32_t Crc32Joined(uint32_t first, uint32_t second, uint64_t secondSize) {
  // The register after A, carried over B's length, plus B's own checksum;
  // the pre- and post-inversions of the two cancel out this way.
  return MultiplyModP(first, ShiftByBytes(secondSize)) ^ second;
}

}  // namespace host::io
