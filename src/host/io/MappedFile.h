#pragma once
// A file's bytes mapped read-only into memory, for a store that reads a large
// file in an order of its own: its pages can be let go once read and are read
// again from the system's file cache when touched, where a copy in memory
// would hold the whole file for as long as the store lives.
//
// A mapped file that another program shortens would end the process (SIGBUS)
// the moment a page past its new end is read. Here such pages read as zeros
// instead and the mapping is marked lost, so that what was read from it is
// not saved: the save checks Intact() (the shortened file has changed on disk
// anyway, which the save refuses too).

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace host {

class MappedFile {
 public:
  MappedFile() = default;
  // Maps size bytes of the open file fd (a regular file, size > 0), its
  // pages read in at once. Empty (no mapping) when the system refuses it:
  // the caller reads the file instead.
  static MappedFile Map(int fd, size_t size);
  // One piece of a stream that a container keeps in the file in pieces.
  struct Run {
    uint64_t fileOffset = 0;
    size_t size = 0;
  };
  // Views the stream whose bytes are runs (in stream order) of the open
  // file fd in one span of memory: where a run's place in the file lines up
  // with its place in the span to the page (the runs that do so together
  // hold the most bytes), its pages are the file's, read in when touched;
  // every other byte is read into pages of the view's own. Empty when
  // the system refuses or the file is shorter than the runs.
  static MappedFile MapRuns(int fd, const std::vector<Run>& runs);
  ~MappedFile();
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  explicit operator bool() const { return data_ != nullptr; }
  std::string_view Bytes() const { return std::string_view(data_, size_); }
  // Lets go of the file's pages that hold offset..offset + size: they leave
  // this process's memory and are read again from the file when next
  // touched (a view's own pages stay).
  void Release(size_t offset, size_t size) const;
  // Tells that a read reached offset: where reads go on in order, the
  // file's pages well behind them are let go, a step at a time (reads out of
  // order let go of nothing).
  // (Inline: a pass tells of every record it reads.)
  void Reached(size_t offset) const {
    if (offset + kNear < last_ || offset > last_ + kNear) runFrom_ = offset;  // a new run
    PassedTo(offset);
  }
  // Tells that a pass that reads in order, however far apart, reached
  // offset: the file's pages well behind it are let go, a step at a time.
  void PassedTo(size_t offset) const {
    last_ = offset;
    if (offset < runFrom_ || offset >= runFrom_ + kBehind + kStep) LetGoBehind(offset);
  }
  // How many of the view's bytes are the file's pages.
  size_t FileBytes() const;
  // False once a page was found lost (the file was shortened under us).
  bool Intact() const;

 private:
  void Unmap();

  const char* data_ = nullptr;
  size_t size_ = 0;
  int slot_ = -1;  // this mapping's place among those the SIGBUS guard knows
  char* mapping_ = nullptr;  // where the mapping begins (data_ may begin inside its first page)
  size_t mappingSize_ = 0;
  // A view of runs: the spans [begin, end) of it (offsets from data_) that are the file's pages.
  std::vector<std::pair<size_t, size_t>> filePages_;
  bool runs_ = false;
  // A read within kNear of the last goes on the run (a pass may read what
  // lies within a few pages out of order); kBehind stays behind it (more
  // than the pages a fault maps around a page), the rest is let go kStep at a time.
  static constexpr size_t kNear = size_t{128} << 10, kBehind = size_t{128} << 10, kStep = size_t{512} << 10;
  mutable size_t runFrom_ = 0, last_ = 0;  // the run of reads in order: where it begins, where it is
  // Lets go of the run's pages up to kBehind before offset, or begins a run
  // at offset; a run going on has its next step mapped at once.
  void LetGoBehind(size_t offset) const;
  // Maps the file's pages that hold offset..offset + size in one call: on
  // some virtual machines each fault costs far more than the page.
  void MapAhead(size_t offset, size_t size) const;
  // Gives advice (madvise) on the file's pages that hold offset..offset + size.
  void AdviseFilePages(size_t offset, size_t size, int advice) const;
};

}  // namespace host
