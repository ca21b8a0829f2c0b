#include "host/io/ZipFileSink.h"

#include <errno.h>
#include <unistd.h>

#include <cstring>

namespace host {

ZipFileSink::ZipFileSink(int descriptor) : fd_(descriptor) { zip_error_init(&error_); }

zip_t* ZipFileSink::OpenArchive(zip_error_t* error) {
  zip_source_t* source = zip_source_function_create(&ZipFileSink::Callback, this, error);
  if (!source) return nullptr;
  zip_t* archive = zip_open_from_source(source, ZIP_TRUNCATE, error);
  if (!archive) zip_source_free(source);
  return archive;
}

zip_int64_t ZipFileSink::Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
  return static_cast<ZipFileSink*>(state)->Answer(data, length, command);
}

zip_int64_t ZipFileSink::Failed(int zipCode, int systemCode) {
  if (systemCode && !systemError_) systemError_ = systemCode;
  zip_error_set(&error_, zipCode, systemCode);
  return -1;
}

zip_int64_t ZipFileSink::Answer(void* data, zip_uint64_t length, zip_source_cmd_t command) {
  switch (command) {
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(
          ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
          ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_SUPPORTS, ZIP_SOURCE_BEGIN_WRITE, ZIP_SOURCE_COMMIT_WRITE,
          ZIP_SOURCE_ROLLBACK_WRITE, ZIP_SOURCE_WRITE, ZIP_SOURCE_SEEK_WRITE, ZIP_SOURCE_TELL_WRITE,
          ZIP_SOURCE_REMOVE, -1);
    case ZIP_SOURCE_STAT: {
      // The archive is new: the file is there, and empty until written.
      auto* st = static_cast<zip_stat_t*>(data);
      zip_stat_init(st);
      st->size = size_;
      st->valid |= ZIP_STAT_SIZE;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_OPEN:
      readAt_ = 0;
      return 0;
    case ZIP_SOURCE_READ: {
      if (readAt_ >= size_) return 0;
      const zip_uint64_t want = length < size_ - readAt_ ? length : size_ - readAt_;
      for (;;) {
        const ssize_t n = ::pread(fd_, data, want, static_cast<off_t>(readAt_));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Failed(ZIP_ER_READ, errno);
        readAt_ += static_cast<zip_uint64_t>(n);
        return n;
      }
    }
    case ZIP_SOURCE_CLOSE:
      return 0;
    case ZIP_SOURCE_SEEK: {
      const zip_int64_t at = zip_source_seek_compute_offset(readAt_, size_, data, length, &error_);
      if (at < 0) return -1;
      readAt_ = static_cast<zip_uint64_t>(at);
      return 0;
    }
    case ZIP_SOURCE_TELL:
      return static_cast<zip_int64_t>(readAt_);
    case ZIP_SOURCE_BEGIN_WRITE:
      if (::ftruncate(fd_, 0) != 0) return Failed(ZIP_ER_WRITE, errno);
      size_ = writeAt_ = 0;
      return 0;
    case ZIP_SOURCE_WRITE: {
      const char* bytes = static_cast<const char*>(data);
      for (zip_uint64_t done = 0; done < length;) {
        const ssize_t n = ::pwrite(fd_, bytes + done, length - done, static_cast<off_t>(writeAt_ + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Failed(ZIP_ER_WRITE, errno);
        if (n == 0) return Failed(ZIP_ER_WRITE, ENOSPC);
        done += static_cast<zip_uint64_t>(n);
      }
      writeAt_ += length;
      if (writeAt_ > size_) size_ = writeAt_;
      return static_cast<zip_int64_t>(length);
    }
    case ZIP_SOURCE_SEEK_WRITE: {
      const zip_int64_t at = zip_source_seek_compute_offset(writeAt_, size_, data, length, &error_);
      if (at < 0) return -1;
      writeAt_ = static_cast<zip_uint64_t>(at);
      return 0;
    }
    case ZIP_SOURCE_TELL_WRITE:
      return static_cast<zip_int64_t>(writeAt_);
    case ZIP_SOURCE_COMMIT_WRITE:
      // Flushing and renaming are the caller's: the file is its temporary.
      return 0;
    case ZIP_SOURCE_ROLLBACK_WRITE:
      if (::ftruncate(fd_, 0) == 0) size_ = writeAt_ = 0;
      return 0;
    case ZIP_SOURCE_REMOVE:
      // The caller removes its temporary when the save fails.
      return 0;
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&error_, data, length);
    case ZIP_SOURCE_FREE:
      zip_error_fini(&error_);
      return 0;
    default:
      return Failed(ZIP_ER_OPNOTSUPP, 0);
  }
}

}  // namespace host
