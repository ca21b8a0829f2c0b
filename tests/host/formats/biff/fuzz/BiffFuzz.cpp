// libFuzzer target over the .xls lower layers: compound file reader and
// writer, BIFF8 records, format recognition (see ExerciseXls.h).

#include <cstdint>
#include <string_view>

#include "ExerciseXls.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  xlsfuzz::ExerciseXls(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
