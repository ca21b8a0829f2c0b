#pragma once
// Deflates a part written anew as it is produced, for a zip entry: the bytes
// are gathered into pieces of a few megabytes, each piece is compressed on its
// own (libdeflate, whole buffers) on one of two threads while the next is
// produced (in turn on the calling thread where the process has one core),
// and the pieces are joined into one deflate stream. A part under
// kSplitFrom bytes is one piece on the calling thread. Also counts the part's
// size and CRC-32 (each piece's checksum taken beside its compression, then
// joined), which the entry records.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "host/io/PartMemory.h"

namespace host {

class PartDeflater {
 public:
  // Parts from this size on are split over two threads.
  static constexpr uint64_t kSplitFrom = uint64_t(1) << 20;
  // Largest piece: large enough that a piece's cold start (no earlier bytes
  // to refer to) costs well under a percent of the compressed size (0.1 %
  // at 2 MB for worksheet records and XML), small enough that the two
  // threads end close together.
  static constexpr size_t kMaxPiece = size_t(2) << 20;

  // level: libdeflate's 1..12; expectedSize: the part's announced size
  // (it chooses the pieces; a part may still turn out longer or shorter).
  PartDeflater(int level, uint64_t expectedSize);
  ~PartDeflater();
  PartDeflater(const PartDeflater&) = delete;
  PartDeflater& operator=(const PartDeflater&) = delete;

  // Adds the next bytes of the part.
  void Add(std::string_view bytes);
  // Ends the part: waits for every piece; false when memory ran out or a
  // piece could not be joined (the part cannot be written).
  bool Finish();

  // After Finish: the compressed stream, as pieces in order.
  const std::vector<std::string_view>& Compressed() const { return output_; }
  uint64_t CompressedSize() const { return compressedSize_; }
  uint64_t Size() const { return size_; }
  uint32_t Crc() const { return crc_; }

 private:
  struct Piece;
  // Hands the gathered piece over to be compressed.
  void Submit(bool final);
  // Compresses one piece (on whichever thread takes it).
  void Compress(Piece& piece);
  void Work();
  // Compresses waiting pieces on this thread, oldest first, until at most
  // `leave` wait.
  void Help(size_t leave);

  const int level_;
  size_t pieceSize_;
  std::vector<std::unique_ptr<Piece>> pieces_;  // in stream order
  Piece* current_ = nullptr;
  std::vector<PartMemory> spare_;  // input buffers of compressed pieces, for reuse
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Piece*> waiting_;
  size_t busy_ = 0;
  bool stopping_ = false;
  bool failed_ = false;
  std::thread worker_;
  std::vector<std::string_view> output_;
  PartMemory shared_;  // the compressed pieces, as far as they fit (see the constructor)
  size_t sharedCapacity_ = 0, sharedUsed_ = 0;
  uint64_t size_ = 0;
  uint64_t compressedSize_ = 0;
  uint32_t crc_ = 0;
};

}  // namespace host
