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
#include <string_view>

namespace host {

class MappedFile {
 public:
  MappedFile() = default;
  // Maps size bytes of the open file fd (a regular file, size > 0), its
  // pages read in at once. Empty (no mapping) when the system refuses it:
  // the caller reads the file instead.
  static MappedFile Map(int fd, size_t size);
  ~MappedFile();
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  explicit operator bool() const { return data_ != nullptr; }
  std::string_view Bytes() const { return std::string_view(data_, size_); }
  // Lets go of the pages that hold offset..offset + size: they leave this
  // process's memory and are read again from the file when next touched.
  void Release(size_t offset, size_t size) const;
  // False once a page was found lost (the file was shortened under us).
  bool Intact() const;

 private:
  void Unmap();

  const char* data_ = nullptr;
  size_t size_ = 0;
  int slot_ = -1;  // this mapping's place among those the SIGBUS guard knows
};

}  // namespace host
