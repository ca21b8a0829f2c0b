#pragma once
// Timing helpers of the .xls benchmarks: seconds since a start, and a shell
// command timed (the benchmark stops when the command fails).

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
