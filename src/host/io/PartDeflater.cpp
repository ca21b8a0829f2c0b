#include "host/io/PartDeflater.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "host/core/UsableCores.h"
#include "host/io/Crc32.h"
#include "host/io/DeflateStreamEnd.h"

namespace host {

namespace {

constexpr size_t kPieceGrain = size_t(64) << 10;

// One compressor per level and thread, kept for the thread's life (a
// compressor holds a megabyte or so of tables and is not shared).
libdeflate_compressor* CompressorFor(int level) {
  struct Compressors {
    libdeflate_compressor* byLevel[13] = {};
    ~Compressors() {
      for (libdeflate_compressor* c : byLevel) libdeflate_free_compressor(c);
    }
  };
  thread_local Compressors compressors;
  level = std::clamp(level, 1, 12);
  if (!compressors.byLevel[level]) compressors.byLevel[level] = libdeflate_alloc_compressor(level);
  return compressors.byLevel[level];
}

}  // namespace

struct PartDeflater::Piece {
  PartMemory input;
  size_t size = 0;
  size_t capacity = 0;
  PartMemory output;            // its own, where the shared room was full
  const char* outputData = nullptr;
  size_t outputSize = 0;
  uint32_t crc = 0;  // of the input, taken where the piece is compressed
  bool final = false;
};

PartDeflater::PartDeflater(int level, uint64_t expectedSize) : level_(level) {
  if (expectedSize < kSplitFrom) {
    pieceSize_ = kMaxPiece;  // memory is only touched as far as it is used
    return;
  }
  // At least two pieces, so that both threads have one.
  const uint64_t half = std::min<uint64_t>((expectedSize + 1) / 2, kMaxPiece);
  pieceSize_ = static_cast<size_t>((half + kPieceGrain - 1) / kPieceGrain * kPieceGrain);
  // Room for the compressed pieces one after the other, in huge pages and
  // touched only as far as it is filled (a part compresses to a fifth or
  // so); a piece that finds it full gets memory of its own.
  try {
    shared_ = AllocatePartMemory(static_cast<size_t>(expectedSize / 2));
    sharedCapacity_ = static_cast<size_t>(expectedSize / 2);
  } catch (const std::bad_alloc&) {
  }
  // With one core the pieces are compressed in turn as they fill, on this thread.
  if (UsableCores() >= 2) worker_ = std::thread([this] { Work(); });
}

PartDeflater::~PartDeflater() {
  if (worker_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
  }
}

void PartDeflater::Add(std::string_view bytes) {
  size_ += bytes.size();
  while (!bytes.empty()) {
    if (current_ && current_->size == current_->capacity) Submit(false);
    if (!current_) {
      auto piece = std::make_unique<Piece>();
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!spare_.empty()) {
          piece->input = std::move(spare_.back());
          spare_.pop_back();
        }
      }
      if (!piece->input) piece->input = AllocatePartMemory(pieceSize_);
      piece->capacity = pieceSize_;
      current_ = piece.get();
      pieces_.push_back(std::move(piece));
    }
    const size_t take = std::min(bytes.size(), current_->capacity - current_->size);
    std::memcpy(current_->input.get() + current_->size, bytes.data(), take);
    current_->size += take;
    bytes.remove_prefix(take);
  }
}

void PartDeflater::Submit(bool final) {
  Piece* piece = current_;
  current_ = nullptr;
  piece->final = final;
  if (!worker_.joinable()) {
    Compress(*piece);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_.push_back(piece);
  }
  changed_.notify_all();
  // This thread compresses too, but leaves the piece produced last to the
  // other thread: that one then finds a piece ready whenever it is done,
  // instead of waiting while the next is produced.
  Help(1);
}

void PartDeflater::Help(size_t leave) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (waiting_.size() > leave) {
    Piece* piece = waiting_.front();
    waiting_.pop_front();
    lock.unlock();
    Compress(*piece);
    lock.lock();
  }
}

void PartDeflater::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
    if (waiting_.empty()) return;
    Piece* piece = waiting_.front();
    waiting_.pop_front();
    ++busy_;
    lock.unlock();
    Compress(*piece);
    lock.lock();
    --busy_;
    changed_.notify_all();
  }
}

void PartDeflater::Compress(Piece& piece) {
  thread_local ScratchBuffer scratch;
  bool ok = false;
  // The checksum of a whole piece at once (many small additions would each
  // pay the call), on the thread that compresses it.
  piece.crc = libdeflate_crc32(0, piece.input.get(), piece.size);
  try {
    libdeflate_compressor* compressor = CompressorFor(level_);
    if (compressor) {
      // Room for the joining block's five bytes as well.
      const size_t bound = libdeflate_deflate_compress_bound(compressor, piece.size) + 8;
      auto* out = reinterpret_cast<unsigned char*>(scratch.Reserve(bound));
      size_t n = libdeflate_deflate_compress(compressor, piece.input.get(), piece.size, out, bound);
      if (n && !piece.final) {
        DeflateStreamEnd end;
        n = FindDeflateStreamEnd(out, n, end) ? MakeDeflateStreamJoinable(out, n, end) : 0;
      }
      if (n) {
        char* to = nullptr;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          if (sharedCapacity_ - sharedUsed_ >= n) {
            to = shared_.get() + sharedUsed_;
            sharedUsed_ += n;
          }
        }
        if (!to) {
          piece.output = AllocatePartMemory(n);
          to = piece.output.get();
        }
        std::memcpy(to, out, n);
        piece.outputData = to;
        piece.outputSize = n;
        ok = true;
      }
    }
  } catch (const std::bad_alloc&) {
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (!ok) failed_ = true;
  spare_.push_back(std::move(piece.input));
}

bool PartDeflater::Finish() {
  try {
    if (!current_) {  // an empty part is one empty piece
      auto piece = std::make_unique<Piece>();
      piece->input = AllocatePartMemory(1);
      piece->capacity = 1;
      current_ = piece.get();
      pieces_.push_back(std::move(piece));
    }
    Submit(true);
  } catch (const std::bad_alloc&) {
    failed_ = true;
  }
  Help(0);
  if (worker_.joinable()) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return waiting_.empty() && busy_ == 0; });
      stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
  }
  spare_.clear();
  output_.clear();
  compressedSize_ = 0;
  if (failed_) return false;
  crc_ = 0;
  for (const auto& piece : pieces_) {
    output_.emplace_back(piece->outputData, piece->outputSize);
    compressedSize_ += piece->outputSize;
    crc_ = io::Crc32Joined(crc_, piece->crc, piece->size);
  }
  return true;
}

}  // namespace host
