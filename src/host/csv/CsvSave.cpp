// Writing a CSV sheet back: the records' own bytes in the current order.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>

#include "host/HostError.h"
#include "host/SaveTarget.h"
#include "host/csv/CsvDocument.h"
#include "host/csv/CsvText.h"

namespace host::csv {

// A record without a line ending (the last one of a file without a final
// break) gets the file's line ending when it no longer comes last; whatever
// record comes last keeps the file's final-break state, unless it is a blank
// line, which would vanish without its ending. Mixed endings never merge.
void CsvDocument::Emit(const std::function<bool(std::string_view)>& sink) const {
  if (!sink(std::string_view(bytes_).substr(0, preambleLength_))) return;
  bool afterLoneCr = false;
  for (size_t i = 0; i < rows_; ++i) {
    std::string_view span = Span(At(i + 1)), content = Content(At(i + 1));
    bool last = i + 1 == rows_;
    bool more = true;
    if (last && !finalBreak_ && !content.empty()) {
      more = sink(content);
    } else if (content.size() == span.size()) {
      more = sink(content) && sink(lineEnding_);
      span = lineEnding_;
    } else if (afterLoneCr && span == "\n") {
      // A blank LF line after a lone CR would join it into one CR LF ending.
      more = sink("\r");
      span = "\r";
    } else {
      more = sink(span);
    }
    if (!more) return;
    afterLoneCr = span.size() >= 1 && span.back() == '\r';
  }
}

void CsvDocument::EmitFile(const std::function<bool(std::string_view)>& sink) const {
  if (utf16_ == Utf16::None) return Emit(sink);
  const bool bigEndian = utf16_ == Utf16::BigEndian;
  if (!sink(bigEndian ? "\xFE\xFF" : "\xFF\xFE")) return;
  std::string units;
  Emit([&](std::string_view piece) {
    units.clear();
    AppendAsUtf16(piece, bigEndian, units);
    return sink(units);
  });
}

std::string CsvDocument::Bytes() const {
  std::string out;
  out.reserve((bytes_.size() + lineEnding_.size()) * (utf16_ == Utf16::None ? 1 : 2) + 2);
  EmitFile([&out](std::string_view piece) {
    out.append(piece);
    return true;
  });
  return out;
}

void CsvDocument::Save(const std::string& path) const {
  size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temp;
  auto failFor = [&](const std::string& reason) {
    if (!temp.empty()) ::unlink(temp.c_str());
    throw HostError(name + " cannot be saved: " + reason + "; the file was not changed.");
  };
  auto fail = [&](int error) {
    failFor(error == ENOSPC                                               ? "the disk is full"
            : (error == EACCES || error == EPERM || error == EROFS) ? "permission was denied"
                                                                     : "the system refused it");
  };
  // The same policy as every save of the host: through links, a temporary
  // beside the real file, flushed, owner and mode kept, renamed over it.
  SaveTarget target;
  struct stat original {};
  if (!ResolveSaveTarget(path, target) || ::stat(target.file.c_str(), &original) != 0) fail(errno);
  if (!MayWrite(target.file)) failFor("the file is read-only");
  RemoveStaleTemporaries(target.folder);
  int fd = MakeTemporary(target.folder, temp);
  if (fd < 0) fail(errno);
  std::string buffer;
  buffer.reserve(1 << 16);
  int error = 0;
  auto flush = [&] {
    size_t done = 0;
    while (!error && done < buffer.size()) {
      ssize_t n = ::write(fd, buffer.data() + done, buffer.size() - done);
      if (n < 0 && errno != EINTR) error = errno;
      if (n > 0) done += static_cast<size_t>(n);
    }
    buffer.clear();
  };
  EmitFile([&](std::string_view piece) {
    buffer.append(piece);
    if (buffer.size() >= (1 << 16)) flush();
    return true;
  });
  flush();
  if (!error && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && !error) error = errno;
  if (error) fail(error);
  TakeOwnerAndMode(temp, original);
  if (::rename(temp.c_str(), target.file.c_str()) != 0) fail(errno);
  SyncFolder(target.folder);
}

}  // namespace host::csv
