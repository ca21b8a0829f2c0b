#pragma once
// A large byte buffer in memory the kernel may back with huge pages: filling
// hundreds of megabytes page by page costs more than the copy itself.

#include <cstddef>
#include <memory>

namespace host::odf {

class LargeBuffer {
 public:
  LargeBuffer() = default;
  // size bytes, uninitialised; std::bad_alloc when there is no memory.
  explicit LargeBuffer(size_t size);

  char* Data() const { return data_.get(); }
  size_t Size() const { return size_; }

 private:
  struct Free {
    void operator()(char* p) const;
  };
  std::unique_ptr<char, Free> data_;
  size_t size_ = 0;
};

}  // namespace host::odf
