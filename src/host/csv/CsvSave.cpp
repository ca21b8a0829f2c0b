// Writing a CSV sheet back: the records' own bytes in the current order.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <vector>

#include "host/HostError.h"
#include "host/csv/CsvDocument.h"

namespace host::csv {

// A record without a line ending (the last one of a file without a final
// break) gets the file's line ending when it no longer comes last; whatever
// record comes last keeps the file's final-break state, unless it is a blank
// line, which would vanish without its ending. Mixed endings never merge.
void CsvDocument::Emit(const std::function<void(std::string_view)>& sink) const {
  sink(std::string_view(bytes_).substr(0, bomLength_));
  bool afterLoneCr = false;
  for (size_t i = 0; i < order_.size(); ++i) {
    std::string_view span = Span(order_[i]), content = Content(order_[i]);
    bool last = i + 1 == order_.size();
    if (last && !finalBreak_ && !content.empty()) {
      sink(content);
    } else if (content.size() == span.size()) {
      sink(content);
      sink(lineEnding_);
      span = lineEnding_;
    } else if (afterLoneCr && span == "\n") {
      // A blank LF line after a lone CR would join it into one CR LF ending.
      sink("\r");
      span = "\r";
    } else {
      sink(span);
    }
    afterLoneCr = span.size() >= 1 && span.back() == '\r';
  }
}

std::string CsvDocument::Bytes() const {
  std::string out;
  out.reserve(bytes_.size() + lineEnding_.size());
  Emit([&out](std::string_view piece) { out.append(piece); });
  return out;
}

void CsvDocument::Save(const std::string& path) const {
  size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temp = path + ".tabulory-save";
  auto fail = [&](int error) {
    std::remove(temp.c_str());
    std::string reason = error == ENOSPC ? "the disk is full"
                         : (error == EACCES || error == EPERM || error == EROFS) ? "permission was denied"
                                                                                 : "the system refused it";
    throw HostError(name + " cannot be saved: " + reason + "; the file was not changed.");
  };
  FILE* file = std::fopen(temp.c_str(), "wb");
  if (!file) fail(errno);
  std::vector<char> buffer(1 << 16);
  std::setvbuf(file, buffer.data(), _IOFBF, buffer.size());
  int error = 0;
  Emit([&](std::string_view piece) {
    if (!error && !piece.empty() && std::fwrite(piece.data(), 1, piece.size(), file) != piece.size())
      error = errno ? errno : EIO;
  });
  if (!error && std::fflush(file) != 0) error = errno;
  if (!error && fsync(fileno(file)) != 0) error = errno;
  struct stat st {};
  if (!error && stat(path.c_str(), &st) == 0) fchmod(fileno(file), st.st_mode & 07777);
  if (std::fclose(file) != 0 && !error) error = errno;
  if (error) fail(error);
  if (std::rename(temp.c_str(), path.c_str()) != 0) fail(errno);
}

}  // namespace host::csv
