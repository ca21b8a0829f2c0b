// libFuzzer target over the host's open-and-read path (see FuzzCase.h for
// what an input is and what is done with it). Every fault must surface as a
// HostError: any other exception, and a HostDefect (what the host caught
// without having foreseen it), is a crash.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

#include "FuzzCase.h"
#include "host/HostError.h"

namespace {

std::string TempPath() {
  static const std::string path = [] {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/tabulory-fuzz-" + std::to_string(getpid()) + ".xlsx";
  }();
  return path;
}

[[noreturn]] void Crash(const char* kind, const char* what) {
  std::fprintf(stderr, "host_fuzz: %s: %s\n", kind, what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = TempPath();
  if (!fuzzcase::WriteWorkbook(path, std::string_view(reinterpret_cast<const char*>(data), size))) return 0;
  try {
    fuzzcase::Exercise(path);
  } catch (const host::HostDefect& defect) {
    Crash("a fault the host did not foresee", defect.what());
  } catch (const host::HostError&) {
  } catch (const std::exception& other) {
    Crash("an exception that is not a HostError", other.what());
  } catch (...) {
    Crash("an exception that is not a HostError", "(of no standard type)");
  }
  std::remove(path.c_str());
  return 0;
}
