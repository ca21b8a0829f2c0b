#pragma once
// Timing helpers of the .xls benchmarks: seconds since a start, this
// process's processor time and peak memory, and a shell command timed (the
// benchmark stops when the command fails).

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

inline double Seconds(const std::chrono::steady_clock::time_point& since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

inline double TimeCommand(const std::string& command) {
  auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    std::exit(1);
  }
  return Seconds(start);
}

struct SelfUsage {
  double processorSeconds = 0;  // user + system
  long peakKb = 0;              // peak resident memory
};

inline SelfUsage UsageOfThisProcess() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return {usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6,
          usage.ru_maxrss};
}
