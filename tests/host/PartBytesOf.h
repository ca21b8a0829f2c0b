// A part's bytes as the host holds them once read from a package, made from
// a text: for tests that read a part without a package around it.
#pragma once

#include <cstring>
#include <string>

#include "host/io/Package.h"

inline host::PartBytes PartBytesOf(const std::string& text) {
  host::PartBytes bytes;
  bytes.data = host::AllocatePartMemory(text.size());
  std::memcpy(bytes.data.get(), text.data(), text.size());
  bytes.size = text.size();
  return bytes;
}
