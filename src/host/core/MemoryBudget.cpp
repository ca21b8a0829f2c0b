#include "host/core/MemoryBudget.h"

#include <cstdio>
#include <fstream>
#include <mutex>

#include "host/core/HostError.h"

namespace host {

namespace {

std::mutex budgetMutex;
uint64_t budgetBytes = 0;
std::string budgetSource;

}  // namespace

uint64_t MemoryFree() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  uint64_t value = 0;
  std::string unit;
  while (meminfo >> key >> value) {
    std::getline(meminfo, unit);
    if (key == "MemAvailable:") return value * 1024;  // given in kB
  }
  return 0;
}

void SetMemoryBudget(uint64_t bytes, std::string source) {
  std::lock_guard<std::mutex> lock(budgetMutex);
  budgetBytes = bytes;
  budgetSource = bytes ? std::move(source) : std::string();
}

void RequireMemory(const std::string& path, const MemoryNeed& need) {
  uint64_t budget = 0;
  std::string source;
  {
    std::lock_guard<std::mutex> lock(budgetMutex);
    budget = budgetBytes;
    source = budgetSource;
  }
  if (budget == 0) {
    budget = MemoryFree();
    source = "the memory this machine has free";
  }
  if (budget == 0 || need.bytes <= budget) return;
  throw HostError(path + " cannot be opened: it would need about " + SizeText(need.bytes) + " of memory (" +
                  need.why + "), more than the " + SizeText(budget) + " it may take (" + source + ").");
}

std::string SizeText(uint64_t bytes) {
  static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
  if (bytes < 1024) return std::to_string(bytes) + " bytes";
  double value = static_cast<double>(bytes) / 1024;
  int unit = 0;
  while (value >= 1024 && unit < 3) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, value < 10 ? "%.1f %s" : "%.0f %s", value, kUnits[unit]);
  return text;
}

bool ParseSize(std::string_view text, uint64_t& bytes) {
  size_t i = 0;
  uint64_t value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    if (value > (uint64_t(1) << 50)) return false;
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    ++i;
  }
  if (i == 0) return false;
  int shift = 0;
  if (i < text.size()) {
    switch (text[i] | 0x20) {
      case 'k': shift = 10; break;
      case 'm': shift = 20; break;
      case 'g': shift = 30; break;
      case 't': shift = 40; break;
      case 'b': shift = 0; break;
      default: return false;
    }
    if ((text[i] | 0x20) != 'b') ++i;
    if (i < text.size() && (text[i] | 0x20) == 'b') ++i;
  }
  if (i != text.size() || value == 0 || value > (uint64_t(1) << (60 - shift))) return false;
  bytes = value << shift;
  return true;
}

}  // namespace host
