#include "host/io/MappedFile.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <utility>

#include "host/core/HugePages.h"

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
  file.mapping_ = static_cast<char*>(data);
  file.mappingSize_ = size;
  return file;
}

namespace {

// Reads size bytes at offset of fd into to; false when the file ends before.
bool ReadAt(int fd, uint64_t offset, char* to, size_t size) {
  while (size > 0) {
    const ssize_t n = ::pread(fd, to, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    to += n;
    offset += static_cast<uint64_t>(n);
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

MappedFile MappedFile::MapRuns(int fd, const std::vector<Run>& runs) {
  MappedFile view;
  size_t total = 0;
  for (const Run& run : runs) total += run.size;
  if (total == 0 || !InstallGuard()) return view;
  const size_t page = g_pageSize;
  // The alignment (a run's file offset less its place in the view, to the
  // page) that the most bytes share: those runs' whole pages are the file's.
  std::vector<std::pair<size_t, size_t>> bytesAt;  // alignment, bytes
  size_t at = 0;
  auto shiftOf = [&](const Run& run, size_t place) { return static_cast<size_t>((run.fileOffset + page - place % page) % page); };
  for (const Run& run : runs) {
    const size_t shift = shiftOf(run, at);
    auto known = std::find_if(bytesAt.begin(), bytesAt.end(), [&](const auto& b) { return b.first == shift; });
    if (known == bytesAt.end()) known = bytesAt.insert(bytesAt.end(), {shift, 0});
    known->second += run.size;
    at += run.size;
  }
  const size_t shift =
      std::max_element(bytesAt.begin(), bytesAt.end(), [](const auto& a, const auto& b) { return a.second < b.second; })->first;
  const size_t mappingSize = (shift + total + page - 1) / page * page;
  void* reserved = ::mmap(nullptr, mappingSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (reserved == MAP_FAILED) return view;
  char* const mapping = static_cast<char*>(reserved);
  char* const data = mapping + shift;
  AdviseHugePages(mapping, mappingSize);  // the view's own pages: far fewer faults where they are many
  bool read = true;
  at = 0;
  for (const Run& run : runs) {
    // The run's whole pages in the view, when it lines up; the bytes before and after them are read.
    size_t pagesFrom = at, pagesTo = at;
    if (shiftOf(run, at) == shift) {
      pagesFrom = std::min((shift + at + page - 1) / page * page - shift, at + run.size);
      pagesTo = std::max(pagesFrom, (shift + at + run.size) / page * page - shift);
    }
    if (pagesTo > pagesFrom) {
      void* pages = ::mmap(data + pagesFrom, pagesTo - pagesFrom, PROT_READ, MAP_PRIVATE | MAP_FIXED,
                           fd, static_cast<off_t>(run.fileOffset + (pagesFrom - at)));
      if (pages == MAP_FAILED) {
        pagesTo = pagesFrom;
      } else if (!view.filePages_.empty() && view.filePages_.back().second == pagesFrom) {
        view.filePages_.back().second = pagesTo;
      } else {
        view.filePages_.emplace_back(pagesFrom, pagesTo);
      }
    }
    read = read && ReadAt(fd, run.fileOffset, data + at, pagesFrom - at) &&
           ReadAt(fd, run.fileOffset + (pagesTo - at), data + pagesTo, at + run.size - pagesTo);
    at += run.size;
  }
  if (!read) {
    ::munmap(mapping, mappingSize);
    return MappedFile();
  }
  ::mprotect(mapping, mappingSize, PROT_READ);
  const auto begin = reinterpret_cast<uintptr_t>(mapping);
  view.slot_ = TakeRange(begin, begin + mappingSize);
  if (view.slot_ < 0) {
    ::munmap(mapping, mappingSize);
    return MappedFile();
  }
  view.data_ = data;
  view.size_ = total;
  view.mapping_ = mapping;
  view.mappingSize_ = mappingSize;
  view.runs_ = true;
  return view;
}

MappedFile::~MappedFile() { Unmap(); }

MappedFile::MappedFile(MappedFile&& other) noexcept { *this = std::move(other); }

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    Unmap();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    slot_ = std::exchange(other.slot_, -1);
    mapping_ = std::exchange(other.mapping_, nullptr);
    mappingSize_ = std::exchange(other.mappingSize_, 0);
    filePages_ = std::exchange(other.filePages_, {});
    runs_ = std::exchange(other.runs_, false);
    runFrom_ = std::exchange(other.runFrom_, 0);
    last_ = std::exchange(other.last_, 0);
  }
  return *this;
}

void MappedFile::Unmap() {
  if (!data_) return;
  FreeRange(slot_);  // before the pages go, so that the guard never takes them for ours
  ::munmap(mapping_, mappingSize_);
  data_ = nullptr;
  size_ = 0;
  slot_ = -1;
  mapping_ = nullptr;
  mappingSize_ = 0;
  filePages_.clear();
  runs_ = false;
}

void MappedFile::AdviseFilePages(size_t offset, size_t size, int advice) const {
  if (!data_ || offset >= size_ || size == 0) return;
  size = std::min(size, size_ - offset);
  const auto base = reinterpret_cast<uintptr_t>(data_);
  auto advise = [&](size_t from, size_t to) {  // offsets from data_; whole pages only where the view has its own
    const uintptr_t begin = (base + from) & ~(g_pageSize - 1);
    const uintptr_t end = (base + to + g_pageSize - 1) & ~(g_pageSize - 1);
    ::madvise(reinterpret_cast<void*>(begin), end - begin, advice);
  };
  if (!runs_) return advise(offset, offset + size);
  // Of a view of runs, only the file's pages: the view's own would read as zeros once let go.
  for (const auto& [from, to] : filePages_) {
    const size_t begin = std::max(from, offset), end = std::min(to, offset + size);
    if (begin < end) advise(begin, end);
  }
}

void MappedFile::Release(size_t offset, size_t size) const { AdviseFilePages(offset, size, MADV_DONTNEED); }

void MappedFile::LetGoBehind(size_t offset) const {
  if (!data_ || offset < runFrom_) {
    runFrom_ = offset;
    return;
  }
  Release(runFrom_, offset - kBehind - runFrom_);
  runFrom_ = offset - kBehind;
  MapAhead(offset, kStep);
}

void MappedFile::MapAhead(size_t offset, size_t size) const {
#ifdef MADV_POPULATE_READ
  // A failure (a shortened file, an older system) leaves the pages to their
  // faults, and the guard, as before.
  AdviseFilePages(offset, size, MADV_POPULATE_READ);
#else
  (void)offset;
  (void)size;
#endif
}

size_t MappedFile::FileBytes() const {
  if (!runs_) return size_;
  size_t bytes = 0;
  for (const auto& [from, to] : filePages_) bytes += to - from;
  return bytes;
}

bool MappedFile::Intact() const {
  return slot_ < 0 || !g_ranges[slot_].lost.load(std::memory_order_acquire);
}

}  // namespace host
