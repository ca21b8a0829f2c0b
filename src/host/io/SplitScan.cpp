#include "host/io/SplitScan.h"

#include <algorithm>

#include "host/core/UsableCores.h"

namespace host {

namespace {

std::atomic<size_t> minimum{size_t(4) << 20};
std::atomic<size_t> joined{0};

}  // namespace

size_t SplitScanMinimum() { return minimum.load(std::memory_order_relaxed); }

void SetSplitScanMinimum(size_t bytes) { minimum.store(bytes, std::memory_order_relaxed); }

size_t SplitScansJoined() { return joined.load(std::memory_order_relaxed); }

const char* FindSplitTag(std::string_view xml, size_t from, std::string_view open) {
  if (from > xml.size() || xml.size() - from < SplitScanMinimum() || UsableCores() < 2)
    return nullptr;
  // How far to look is bounded: a run whose middle holds no such tag (one
  // huge element, or the run ends early) is simply scanned on one thread.
  size_t at = from + (xml.size() - from) / 2;
  const size_t limit = std::min(xml.size(), at + (size_t(1) << 20));
  while (at < limit) {
    at = xml.find(open, at);
    if (at == std::string_view::npos || at + open.size() >= limit) return nullptr;
    // The name must end there ("<row" is no "<rows").
    const char next = xml[at + open.size()];
    if (next == ' ' || next == '\t' || next == '\n' || next == '\r' || next == '>' || next == '/')
      return xml.data() + at;
    ++at;
  }
  return nullptr;
}

SplitScan::SplitScan(const char* split, std::function<bool(const SplitScan&)> second) : split_(split) {
  if (!split_) return;
  worker_ = std::thread([this, second = std::move(second)] {
    try {
      taken_ = second(*this);
    } catch (...) {
      taken_ = false;
    }
  });
}

SplitScan::~SplitScan() {
  dropped_.store(true, std::memory_order_relaxed);
  if (worker_.joinable()) worker_.join();
}

bool SplitScan::Reached(const char* at) {
  if (!split_ || at < split_) return false;
  const bool exact = at == split_;
  split_ = nullptr;
  if (!exact) dropped_.store(true, std::memory_order_relaxed);
  return exact;
}

bool SplitScan::Join() {
  if (worker_.joinable()) worker_.join();
  const bool taken = taken_ && !Dropped();
  if (taken) joined.fetch_add(1, std::memory_order_relaxed);
  return taken;
}

}  // namespace host
