#include "host/io/StreamPieces.h"

#include <algorithm>

#include "host/core/HostError.h"
#include "host/io/MappedFile.h"

namespace host::io {

namespace {
// A mapped view is handed on in parts of this size, its pages let go behind them.
constexpr size_t kMappedPart = size_t{256} << 10;
}  // namespace

void StreamPieces::View(std::string_view bytes, const host::MappedFile* file) {
  if (bytes.empty()) return;
  pieces_.push_back({bytes, SIZE_MAX, bytes.size(), file && static_cast<bool>(*file) ? file : nullptr});
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
    if (piece.producer == SIZE_MAX && piece.file) {
      const char* const base = piece.file->Bytes().data();
      for (size_t at = 0; at < piece.bytes.size(); at += kMappedPart) {
        const std::string_view part = piece.bytes.substr(at, kMappedPart);
        sink(part);
        piece.file->PassedTo(static_cast<size_t>(part.data() + part.size() - base));
      }
      continue;
    }
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
