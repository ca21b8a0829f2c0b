// libFuzzer target over the .ods path of the host: the input made into a
// package (OdsFuzzInput.h), then opened, read, hidden, sorted, saved and
// opened again through the object model (FuzzCase.h). Every fault must
// surface as a HostError: any other exception, and a HostDefect, is a crash.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

#include "FuzzCase.h"
#include "OdsFuzzInput.h"
#include "host/HostError.h"

namespace {

[[noreturn]] void Crash(const char* kind, const char* what) {
  std::fprintf(stderr, "host_ods_fuzz: %s: %s\n", kind, what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* tmp = std::getenv("TMPDIR");
  static const std::string path =
      std::string(tmp && *tmp ? tmp : "/tmp") + "/tabulory-ods-fuzz-" + std::to_string(getpid()) + ".ods";
  if (!odsfuzz::WritePackage(path, std::string_view(reinterpret_cast<const char*>(data), size))) return 0;
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
