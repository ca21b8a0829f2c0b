#include "host/core/HeldFiles.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

namespace host {

namespace {

// A slot is free (0), being filled (1) or holds a path (2).
constexpr int kHeldSlots = 256;
constexpr size_t kHeldPathMax = 4096;
std::atomic<int> heldState[kHeldSlots];
char heldPath[kHeldSlots][kHeldPathMax];

void RemoveHeldFilesAndEnd(int signal) {
  RemoveHeldFiles();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

int RememberHeldFile(const std::string& path) {
  if (path.size() >= kHeldPathMax) return -1;
  for (int i = 0; i < kHeldSlots; ++i) {
    int expected = 0;
    if (!heldState[i].compare_exchange_strong(expected, 1)) continue;
    std::memcpy(heldPath[i], path.c_str(), path.size() + 1);
    heldState[i].store(2);
    return i;
  }
  return -1;
}

void ForgetHeldFile(int slot) {
  if (slot >= 0) heldState[slot].store(0);
}

void RemoveHeldFiles() {
  for (int i = 0; i < kHeldSlots; ++i)
    if (heldState[i].load() == 2) ::unlink(heldPath[i]);
}

void RemoveHeldFilesOnSignals() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, RemoveHeldFilesAndEnd);
  std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace host
