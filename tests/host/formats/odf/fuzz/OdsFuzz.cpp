// libFuzzer target over the .ods path of the host: the input made into a
// package (OdsFuzzInput.h), then opened, read, hidden, sorted, saved and
// opened again through the object model (FuzzCase.h). Every fault must
// surface as a HostError: any other exception, and a HostDefect, is a crash.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzCase.h"
#include "OdsFuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* tmp = std::getenv("TMPDIR");
  static const std::string path =
      std::string(tmp && *tmp ? tmp : "/tmp") + "/tabulory-ods-fuzz-" + std::to_string(getpid()) + ".ods";
  if (!odsfuzz::WritePackage(path, std::string_view(reinterpret_cast<const char*>(data), size))) return 0;
  fuzzcase::ExerciseOrAbort(path, "host_ods_fuzz");
  std::remove(path.c_str());
  return 0;
}
