// libFuzzer target over the host's open-and-read path (see FuzzCase.h for
// what an input is and what is done with it). Every fault must surface as a
// HostError: any other exception, and a HostDefect (what the host caught
// without having foreseen it), is a crash.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzCase.h"

namespace {

std::string TempPath() {
  static const std::string path = [] {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/tabulory-fuzz-" + std::to_string(getpid()) + ".xlsx";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = TempPath();
  if (!fuzzcase::WriteWorkbook(path, std::string_view(reinterpret_cast<const char*>(data), size))) return 0;
  fuzzcase::ExerciseOrAbort(path, "host_fuzz");
  std::remove(path.c_str());
  return 0;
}
