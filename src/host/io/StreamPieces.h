#pragma once
// A stream written as pieces: views of bytes that live elsewhere (the stream
// as read), bytes of its own, and pieces made only when the stream is handed
// on (of a size known beforehand), so that what did not change is never
// copied and what did is never held whole.

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace host {
class MappedFile;
}

namespace host::io {

class StreamPieces {
 public:
  using Sink = std::function<void(std::string_view)>;
  // Hands a piece's bytes to a sink, in one or more parts.
  using Producer = std::function<void(const Sink&)>;

  // Appends bytes that outlive this object (not copied). Bytes inside a
  // file's mapping name it: their pages are let go behind them as they are
  // handed on, so that a large view never stays whole in memory.
  void View(std::string_view bytes, const host::MappedFile* file = nullptr);
  // Appends bytes this object keeps; returns them, to be changed in place
  // (never resized).
  std::string& Own(std::string bytes);
  // Keeps bytes for pieces to view later, without appending them.
  std::string& Keep(std::string bytes) { return owned_.emplace_back(std::move(bytes)); }
  // Appends size bytes that produce hands over when the stream is emitted.
  void Produce(size_t size, Producer produce);

  // The stream's size so far: where the next piece begins.
  size_t Size() const { return size_; }
  // Hands every piece to sink in order. Throws HostError when a producer
  // does not give the size it promised.
  void Emit(const Sink& sink) const;
  // The pieces as one string.
  std::string Joined() const;

 private:
  struct Piece {
    std::string_view bytes;
    size_t producer = SIZE_MAX;  // index in producers_, or SIZE_MAX for bytes
    size_t size = 0;
    const host::MappedFile* file = nullptr;  // a view of its mapping, let go once handed on
  };
  std::deque<std::string> owned_;  // a deque: its strings never move
  std::vector<Producer> producers_;
  std::vector<Piece> pieces_;
  size_t size_ = 0;
};

}  // namespace host::io
