#pragma once
// A long run of sibling elements (the rows of a worksheet or of a table) read
// in two halves at once. The second half is scanned on a thread of its own
// from a start tag near the middle of the bytes; what it read is taken only
// when the scan from the start reaches that very tag, and the second half
// says it may be taken. Otherwise (the tag stood in a cell's text or a
// comment, or the second half met something only a scan from the start can
// judge, a fault included) the first half goes on alone as if there had
// been no split, so what is read, and every fault, stay as one scan makes them.

#include <atomic>
#include <cstddef>
#include <functional>
#include <string_view>
#include <thread>

namespace host {

// Bytes from which a run is split (4 MB); tests lower it to split small parts.
size_t SplitScanMinimum();
void SetSplitScanMinimum(size_t bytes);
// How many second halves this process has joined so far (Join true).
size_t SplitScansJoined();

// The '<' of a start tag opened by `open` (e.g. "<row") near the middle of
// xml from offset `from` on; nullptr when those bytes are fewer than
// SplitScanMinimum(), the machine has one core, or no such tag stands near
// the middle.
const char* FindSplitTag(std::string_view xml, size_t from, std::string_view open);

class SplitScan {
 public:
  // Runs second on a thread of its own when split is not nullptr. second
  // returns true when what it read may be taken; it may stop early once
  // Dropped(). A second half that throws is never taken.
  SplitScan(const char* split, std::function<bool(const SplitScan&)> second);
  // Drops the second half and waits for it.
  ~SplitScan();
  SplitScan(const SplitScan&) = delete;
  SplitScan& operator=(const SplitScan&) = delete;

  // The first half tells where each element it reads begins: true exactly at
  // the split (Join may then take the second half); past it, the second half
  // is dropped. True once at most.
  bool Reached(const char* at);
  // Waits for the second half: true when what it read may be taken.
  bool Join();
  // True once the second half's work will not be taken.
  bool Dropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  const char* split_;
  std::atomic<bool> dropped_{false};
  bool taken_ = false;
  std::thread worker_;
};

}  // namespace host
