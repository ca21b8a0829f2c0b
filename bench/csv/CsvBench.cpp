// tabulory-csv-bench: sorts a CSV file of a million rows by its second column
// with the host's CSV layer (read + sort + write) and with
// `LC_ALL=C sort -t, -k2,2` on the same file, and prints times and peak
// memory of each against the file's size.
//
//   tabulory-csv-bench [rows] [runs]      (defaults: 1000000 rows, best of 3)

#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "ChildRun.h"
#include "host/core/HostError.h"
#include "host/formats/csv/CsvDocument.h"

namespace {

// Rows of five fields; the second is a random word of lower-case letters
// (the sort key), then an amount, an ISO date and a town.
void WriteFile(const std::string& path, long rows) {
  std::mt19937_64 rng(12345);
  static const char* kTowns[] = {"Aberdeen", "Bergen", "Cork", "Dijon", "Essen", "Faro", "Graz", "Hull"};
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror("bench file");
    std::exit(1);
  }
  char line[128];
  for (long r = 0; r < rows; ++r) {
    char key[11];
    for (int i = 0; i < 10; ++i) key[i] = static_cast<char>('a' + rng() % 26);
    key[10] = 0;
    int n = std::snprintf(line, sizeof line, "%ld,%s,%ld.%02ld,20%02ld-%02ld-%02ld,%s\n", r + 1, key,
                          static_cast<long>(rng() % 100000), static_cast<long>(rng() % 100),
                          static_cast<long>(rng() % 30), static_cast<long>(rng() % 12 + 1),
                          static_cast<long>(rng() % 28 + 1), kTowns[rng() % 8]);
    std::fwrite(line, 1, static_cast<size_t>(n), f);
  }
  std::fclose(f);
}

// The process's peak resident memory so far, in MB (VmHWM).
double PeakMbSoFar() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  return 0;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

int main(int argc, char** argv) {
  long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  char pattern[] = "/tmp/tabulory-csv-bench-XXXXXX";
  if (!mkdtemp(pattern)) {
    std::perror("temporary folder");
    return 1;
  }
  std::string dir = pattern, source = dir + "/source.csv", ours = dir + "/ours.csv", gnu = dir + "/gnu.csv";
  WriteFile(source, rows);
  double fileMb = static_cast<double>(std::filesystem::file_size(source)) / (1024.0 * 1024.0);

  Figures best{1e9, 1e9, 0}, bestGnu{1e9, 1e9, 0};
  for (int run = 0; run < runs; ++run) {
    std::filesystem::copy_file(source, ours, std::filesystem::copy_options::overwrite_existing);
    best = Best(best, Measure([&] {
      try {
        auto t0 = std::chrono::steady_clock::now();
        auto doc = host::csv::CsvDocument::Open(ours);
        auto t1 = std::chrono::steady_clock::now();
        const double peakOpen = PeakMbSoFar();
        doc.SortRows(host::CellArea{1, 1, doc.RowCount(), host::kMaxColumns}, 2, false);
        auto t2 = std::chrono::steady_clock::now();
        const double peakSort = PeakMbSoFar();
        doc.Save(ours);
        auto t3 = std::chrono::steady_clock::now();
        auto seconds = [](auto from, auto to) { return std::chrono::duration<double>(to - from).count(); };
        std::fprintf(stderr, "ours, wall clock: open %.3f s, sort %.3f s, save %.3f s; peak after each %.1f / %.1f / %.1f MB\n",
                     seconds(t0, t1), seconds(t1, t2), seconds(t2, t3), peakOpen, peakSort, PeakMbSoFar());
        return 0;
      } catch (const host::HostError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
      }
    }));
    bestGnu = Best(bestGnu, Measure([&] {
      setenv("LC_ALL", "C", 1);
      execlp("sort", "sort", "-t,", "-k2,2", "-o", gnu.c_str(), source.c_str(), static_cast<char*>(nullptr));
      return 127;
    }));
  }
  bool same = ReadAll(ours) == ReadAll(gnu);
  std::filesystem::remove_all(dir);

  double peakMb = best.peakKb / 1024.0, gnuPeakMb = bestGnu.peakKb / 1024.0;
  std::printf(
      "case=csv-sort rows=%ld file_mb=%.1f ours_s=%.3f gnu_s=%.3f ratio=%.2f ours_peak_mb=%.1f "
      "peak_per_file=%.2f gnu_peak_mb=%.1f same_output=%s\n",
      rows, fileMb, best.wall, bestGnu.wall, best.wall / bestGnu.wall, peakMb, peakMb / fileMb, gnuPeakMb,
      same ? "yes" : "no");
  std::fprintf(stderr, "processor time: ours %.3f s, sort %.3f s, ratio %.2f\n", best.processor,
               bestGnu.processor, best.processor / bestGnu.processor);
  return same ? 0 : 1;
}
