#include "host/io/MappedFile.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <utility>

namespace host {

namespace {

// The mappings the SIGBUS guard knows; a mapping that finds no free place is
// not made (the caller reads its file instead).
struct GuardedRange {
  std::atomic<uintptr_t> begin{0}, end{0};  // begin 0: a free place
  std::atomic<bool> lost{false};
};
constexpr int kRanges = 64;
GuardedRange g_ranges[kRanges];
std::mutex g_rangesMutex;  // taking and freeing places (not the guard itself)
struct sigaction g_previous {};
uintptr_t g_pageSize = 4096;

// A read of a page the file no longer has: the rest of the mapping from
// that page on becomes zeros, its range is marked lost, and the read runs
// again. A SIGBUS elsewhere goes to whatever handled it before, or ends
// the process as it would have.
void OnBusError(int signal, siginfo_t* info, void* context) {
  const auto at = reinterpret_cast<uintptr_t>(info->si_addr);
  for (GuardedRange& range : g_ranges) {
    const uintptr_t begin = range.begin.load(std::memory_order_acquire);
    const uintptr_t end = range.end.load(std::memory_order_acquire);
    if (begin == 0 || at < begin || at >= end) continue;
    const uintptr_t page = at & ~(g_pageSize - 1);
    void* zeros = ::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    if (zeros != MAP_FAILED) {
      range.lost.store(true, std::memory_order_release);
      return;
    }
    break;
  }
  if (g_previous.sa_flags & SA_SIGINFO) {
    if (g_previous.sa_sigaction) return g_previous.sa_sigaction(signal, info, context);
  } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
    return g_previous.sa_handler(signal);
  }
  ::signal(SIGBUS, SIG_DFL);  // the read runs again and ends the process
}

bool InstallGuard() {
  static const bool installed = [] {
    g_pageSize = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = &OnBusError;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGBUS, &action, &g_previous) == 0;
  }();
  return installed;
}

int TakeRange(uintptr_t begin, uintptr_t end) {
  std::lock_guard lock(g_rangesMutex);
  for (int k = 0; k < kRanges; ++k) {
    if (g_ranges[k].begin.load(std::memory_order_relaxed) != 0) continue;
    g_ranges[k].lost.store(false, std::memory_order_relaxed);
    g_ranges[k].end.store(end, std::memory_order_release);
    g_ranges[k].begin.store(begin, std::memory_order_release);
    return k;
  }
  return -1;
}

void FreeRange(int k) {
  std::lock_guard lock(g_rangesMutex);
  g_ranges[k].begin.store(0, std::memory_order_release);
}

}  // namespace

MappedFile MappedFile::Map(int fd, size_t size) {
  MappedFile file;
  if (size == 0 || !InstallGuard()) return file;
  void* data = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
  if (data == MAP_FAILED) return file;
  const auto begin = reinterpret_cast<uintptr_t>(data);
  const uintptr_t end = (begin + size + g_pageSize - 1) & ~(g_pageSize - 1);
  file.slot_ = TakeRange(begin, end);
  if (file.slot_ < 0) {
    ::munmap(data, size);
    return file;
  }
  file.data_ = static_cast<const char*>(data);
  file.size_ = size;
  return file;
}

MappedFile::~MappedFile() { Unmap(); }

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      slot_(std::exchange(other.slot_, -1)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    Unmap();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    slot_ = std::exchange(other.slot_, -1);
  }
  return *this;
}

void MappedFile::Unmap() {
  if (!data_) return;
  FreeRange(slot_);  // before the pages go, so that the guard never takes them for ours
  ::munmap(const_cast<char*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
  slot_ = -1;
}

void MappedFile::Release(size_t offset, size_t size) const {
  if (!data_ || offset >= size_ || size == 0) return;
  size = std::min(size, size_ - offset);
  const auto base = reinterpret_cast<uintptr_t>(data_);
  const uintptr_t begin = (base + offset) & ~(g_pageSize - 1);
  const uintptr_t end = (base + offset + size + g_pageSize - 1) & ~(g_pageSize - 1);
  ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
}

bool MappedFile::Intact() const {
  return slot_ < 0 || !g_ranges[slot_].lost.load(std::memory_order_acquire);
}

}  // namespace host
