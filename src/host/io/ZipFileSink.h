#pragma once
// The file a zip archive is written into: a libzip source over a descriptor
// the caller owns (a save's temporary). libzip, given a file by its name,
// writes into a second temporary of its own and renames it over the first;
// a signal during that write left the second behind, under a name no list
// of ours held. Written through this sink, the archive goes straight into
// the caller's file, which the caller alone creates, flushes and removes.

#include <zip.h>

namespace host {

class ZipFileSink {
 public:
  // descriptor: open for reading and writing, empty.
  explicit ZipFileSink(int descriptor);
  ZipFileSink(const ZipFileSink&) = delete;
  ZipFileSink& operator=(const ZipFileSink&) = delete;

  // A new, empty archive writing into the descriptor; nullptr with error set
  // when libzip cannot make one. The sink must outlive the archive.
  zip_t* OpenArchive(zip_error_t* error);
  // The system error of the write that failed, or 0 (what a full disk is
  // reported by).
  int SystemError() const { return systemError_; }

 private:
  static zip_int64_t Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command);
  zip_int64_t Answer(void* data, zip_uint64_t length, zip_source_cmd_t command);
  zip_int64_t Failed(int zipCode, int systemCode);

  int fd_;
  zip_error_t error_;
  zip_uint64_t size_ = 0;         // bytes written so far (the file's end)
  zip_uint64_t writeAt_ = 0;      // where the next write goes
  zip_uint64_t readAt_ = 0;       // where the next read comes from
  int systemError_ = 0;
};

}  // namespace host
