// libFuzzer target over the .xlsb path of the host: the input made into a
// package (XlsbFuzzInput.h), then opened, read, hidden, sorted, saved and
// opened again through the object model (FuzzCase.h). Every fault must
// surface as a HostError: any other exception, and a HostDefect, is a crash.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzCase.h"
#include "XlsbFuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* tmp = std::getenv("TMPDIR");
  static const std::string path =
      std::string(tmp && *tmp ? tmp : "/tmp") + "/tabulory-xlsb-fuzz-" + std::to_string(getpid()) + ".xlsb";
  if (!xlsbfuzz::WritePackage(path, std::string_view(reinterpret_cast<const char*>(data), size))) return 0;
  fuzzcase::ExerciseOrAbort(path, "host_xlsb_fuzz");
  std::remove(path.c_str());
  return 0;
}
