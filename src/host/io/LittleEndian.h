#pragma once
// Little-endian integers inside byte strings, as both the compound file and
// the BIFF records store them. Callers check the bounds first.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace host::io {

inline uint8_t U8(std::string_view bytes, size_t at) { return static_cast<uint8_t>(bytes[at]); }

inline uint16_t U16(std::string_view bytes, size_t at) {
  return static_cast<uint16_t>(U8(bytes, at) | U8(bytes, at + 1) << 8);
}

inline uint32_t U32(std::string_view bytes, size_t at) {
  return static_cast<uint32_t>(U16(bytes, at)) | static_cast<uint32_t>(U16(bytes, at + 2)) << 16;
}

inline uint64_t U64(std::string_view bytes, size_t at) {
  return static_cast<uint64_t>(U32(bytes, at)) | static_cast<uint64_t>(U32(bytes, at + 4)) << 32;
}

inline double F64(std::string_view bytes, size_t at) {
  uint64_t bits = U64(bytes, at);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Overwrites bytes[at, at + width) with value.
inline void Put(std::string& bytes, size_t at, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
}

// Appends value as width bytes.
inline void Append(std::string& bytes, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
}

}  // namespace host::io
