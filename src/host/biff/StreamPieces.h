#pragma once
// A stream written as pieces: views of bytes that live elsewhere (the stream
// as read) and bytes of its own, handed on in order, so that what did not
// change is never copied.

#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace host::biff {

class StreamPieces {
 public:
  // Appends bytes that outlive this object (not copied).
  void View(std::string_view bytes) {
    if (bytes.empty()) return;
    pieces_.push_back(bytes);
    size_ += bytes.size();
  }
  // Appends bytes this object keeps; returns them, to be changed in place
  // (never resized).
  std::string& Own(std::string bytes) {
    std::string& kept = owned_.emplace_back(std::move(bytes));
    size_ += kept.size();
    if (!kept.empty()) pieces_.push_back(kept);
    return kept;
  }
  // Keeps bytes for pieces to view later, without appending them.
  std::string& Keep(std::string bytes) { return owned_.emplace_back(std::move(bytes)); }
  // The stream's size so far: where the next piece begins.
  size_t Size() const { return size_; }
  const std::vector<std::string_view>& Pieces() const { return pieces_; }
  // The pieces as one string.
  std::string Joined() const {
    std::string all;
    all.reserve(size_);
    for (std::string_view piece : pieces_) all.append(piece);
    return all;
  }

 private:
  std::deque<std::string> owned_;  // a deque: its strings never move
  std::vector<std::string_view> pieces_;
  size_t size_ = 0;
};

}  // namespace host::biff
