#include "host/io/StreamPieces.h"

#include "host/core/HostError.h"

namespace host::io {

void StreamPieces::View(std::string_view bytes) {
  if (bytes.empty()) return;
  pieces_.push_back({bytes, SIZE_MAX, bytes.size()});
  size_ += bytes.size();
}

std::string& StreamPieces::Own(std::string bytes) {
  std::string& kept = Keep(std::move(bytes));
  View(kept);
  return kept;
}

void StreamPieces::Produce(size_t size, Producer produce) {
  if (size == 0) return;
  pieces_.push_back({{}, producers_.size(), size});
  producers_.push_back(std::move(produce));
  size_ += size;
}

void StreamPieces::Emit(const Sink& sink) const {
  for (const Piece& piece : pieces_) {
    if (piece.producer == SIZE_MAX) {
      sink(piece.bytes);
      continue;
    }
    size_t given = 0;
    producers_[piece.producer]([&](std::string_view bytes) {
      given += bytes.size();
      if (given > piece.size) throw HostError("The workbook stream could not be written: a part came out longer than planned.");
      sink(bytes);
    });
    if (given != piece.size) throw HostError("The workbook stream could not be written: a part came out shorter than planned.");
  }
}

std::string StreamPieces::Joined() const {
  std::string all;
  all.reserve(size_);
  Emit([&all](std::string_view bytes) { all.append(bytes); });
  return all;
}

}  // namespace host::io
