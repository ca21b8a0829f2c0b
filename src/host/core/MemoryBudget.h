#pragma once
// The memory a workbook may take. Before a file is read, its format
// estimates what reading, changing and saving it will need (from the zip
// directory's inflated sizes, stream sizes or the file's size); the host
// refuses the file, saying how much and why, when that would exceed the
// budget: the memory the machine has free (MemAvailable), or the share of
// a budget the caller set (the command line divides --max-memory between
// its jobs). One rule for every format; the estimates are the formats'.

#include <cstdint>
#include <string>
#include <string_view>

namespace host {

// What reading a file would take, and why ("its XML parts inflate to 2.1 GB").
struct MemoryNeed {
  uint64_t bytes = 0;
  std::string why;
};

// The memory the machine has free (MemAvailable of /proc/meminfo); 0 when
// it cannot be told.
uint64_t MemoryFree();

// Sets the budget every workbook opened from now on must fit in, with the
// words that say where it comes from ("the 512 MB of --max-memory shared by
// 2 jobs"); bytes 0 goes back to the memory free at each open.
void SetMemoryBudget(uint64_t bytes, std::string source);

// Throws HostError naming the file, the need, its reason and the budget when
// need exceeds the budget; nothing when it fits or no budget can be told.
void RequireMemory(const std::string& path, const MemoryNeed& need);

// A size as people read it: "900 bytes", "12.5 MB", "2.1 GB" (powers of 1024).
std::string SizeText(uint64_t bytes);

// A size as an option takes it: digits with an optional K, M, G or T (powers
// of 1024, "B" after it allowed); false when text is not one.
bool ParseSize(std::string_view text, uint64_t& bytes);

}  // namespace host
