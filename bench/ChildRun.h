#pragma once
// A measured run of the benchmarks: work done in a child process of its own,
// so that its peak memory is its alone, with its wall clock and processor time.

#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

struct Figures {
  double wall = 0;       // seconds
  double processor = 0;  // user + system seconds of the process and what it waited for
  long peakKb = 0;       // maximum resident set
};

// Runs `work` (returning an exit status) in a child process and measures it
// there alone; the benchmark stops when the work fails.
template <typename Work>
Figures Measure(Work work) {
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) _exit(work());
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  Figures f;
  f.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  f.processor = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  f.peakKb = usage.ru_maxrss;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "a measured run failed\n");
    std::exit(1);
  }
  return f;
}

// The best times of two runs, and the larger peak.
inline Figures Best(const Figures& a, const Figures& b) {
  return {std::min(a.wall, b.wall), std::min(a.processor, b.processor), std::max(a.peakKb, b.peakKb)};
}
