// tabulory-bench: how fast the host engine opens, sorts or filters, and saves
// large workbooks, and how much memory it needs, against unzipping and
// re-zipping the same file (zip -6) as the reference.
//
// Usage: tabulory-bench [--repeat=N] [rows...]   (default: 10000 100000 1000000)
// Cases: sort, filter, sort-intl (a text column mostly beyond ASCII) and
// sort-records (10 % hidden rows, 1,000 notes and hyperlinks).
// Each case runs in a child process of its own, so that its peak memory is
// its own; every case and the reference run N times (default 3) on a fresh
// copy and the fastest run counts, which keeps other load on the machine out
// of the figures as far as possible. One line per case:
// case=<name> rows=<n> open_s=... op_s=... save_s=... total_s=...
// repack_s=... ratio=... peak_rss_mb=... sheet_xml_mb=... op_cpu_s=...
// sheet_entry_kb=... zip6_sheet_entry_kb=... (the saved sheet's entry, and
// the entry zip -6 makes of the same saved sheet; ours must be no larger).

#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchWorkbook.h"
#include "EntrySizes.h"
#include "host/core/Application.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Processor time of this process, which other load on the machine does not
// inflate the way it inflates wall-clock time.
double ProcessorTime() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

struct CaseTimes {
  double open = 0, op = 0, save = 0;
  double opProcessor = 0;
  int ok = 0;
};

// Runs fn in a child process; returns its peak RSS in MB and what it wrote.
template <typename T, typename Fn>
bool InChild(Fn fn, T& result, double& peakMb) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    T value{};
    try {
      value = fn();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "bench: %s\n", e.what());
      _exit(1);
    }
    ssize_t written = write(fds[1], &value, sizeof value);
    _exit(written == static_cast<ssize_t>(sizeof value) ? 0 : 1);
  }
  close(fds[1]);
  ssize_t got = read(fds[0], &result, sizeof result);
  close(fds[0]);
  int status = 0;
  struct rusage usage;
  wait4(pid, &status, 0, &usage);
  peakMb = usage.ru_maxrss / 1024.0;
  return got == static_cast<ssize_t>(sizeof result) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double Repack(const std::string& dir, const std::string& file) {
  std::string unpacked = dir + "/unpacked";
  std::string command = "rm -rf '" + unpacked + "' '" + dir + "/repacked.zip' && unzip -q '" + file + "' -d '" +
                        unpacked + "' && cd '" + unpacked + "' && zip -q -6 -r ../repacked.zip .";
  double start = Now();
  int status = std::system(command.c_str());
  double elapsed = Now() - start;
  std::system(("rm -rf '" + unpacked + "' '" + dir + "/repacked.zip'").c_str());
  return status == 0 ? elapsed : -1;
}

// The cases: sort and filter on the common workbook; sort-intl sorts a
// workbook whose text column is mostly beyond ASCII.
struct BenchCase {
  const char* name;
  BenchKind kind;
};
const BenchCase kCases[] = {{"sort", BenchKind::Plain},
                            {"filter", BenchKind::Plain},
                            {"sort-intl", BenchKind::International},
                            {"sort-records", BenchKind::Records}};
constexpr int kKinds = 3;

CaseTimes RunCase(const std::string& path, const std::string& name) {
  CaseTimes t;
  double start = Now();
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  host::Worksheet& sheet = *book.Worksheets()[0];
  double opened = Now();
  double openedProcessor = ProcessorTime();
  host::Range used = sheet.UsedRange();
  if (name.rfind("sort", 0) == 0) {
    // Ascending by the text column B.
    used.Sort(host::Cells(1, 2), 1);
  } else {
    // Hide every row whose category (column F) does not show "beta".
    int lastRow = used.Rows()(used.Rows().Count()).Row();
    for (int r = 1; r <= lastRow; ++r)
      if (sheet.Cells(r, 6).Text() != "beta") sheet.Rows(r).SetHidden(true);
  }
  double operated = Now();
  t.opProcessor = ProcessorTime() - openedProcessor;
  book.Save();
  double saved = Now();
  app.Quit();
  t.open = opened - start;
  t.op = operated - opened;
  t.save = saved - operated;
  t.ok = 1;
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  int repeat = 3;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--repeat=", 9) == 0) repeat = std::max(1, std::atoi(argv[i] + 9));
    else sizes.push_back(std::atoi(argv[i]));
  }
  if (sizes.empty()) sizes = {10000, 100000, 1000000};
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tabulory-bench-XXXXXX";
  std::vector<char> dirName(pattern.begin(), pattern.end());
  dirName.push_back('\0');
  if (!mkdtemp(dirName.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  std::string dir = dirName.data();
  int failures = 0;
  for (int rows : sizes) {
    // One workbook and one reference repack per kind of workbook.
    static const char* const kSuffix[kKinds] = {"", "-intl", "-records"};
    std::string base[kKinds];
    uint64_t sheetBytes[kKinds] = {0, 0, 0};
    double repack[kKinds] = {-1, -1, -1};
    for (int kind = 0; kind < kKinds; ++kind) {
      base[kind] = dir + "/bench-" + std::to_string(rows) + kSuffix[kind] + ".xlsx";
      double generatorPeak = 0;
      if (!InChild<uint64_t>([&] { return WriteBenchWorkbook(base[kind], rows, static_cast<BenchKind>(kind)); }, sheetBytes[kind],
                             generatorPeak)) {
        std::fprintf(stderr, "bench: cannot write the %d-row workbook\n", rows);
        return 1;
      }
      for (int i = 0; i < repeat; ++i) {
        double t = Repack(dir, base[kind]);
        if (t > 0 && (repack[kind] < 0 || t < repack[kind])) repack[kind] = t;
      }
    }
    for (const BenchCase& benchCase : kCases) {
      const char* name = benchCase.name;
      const int kind = static_cast<int>(benchCase.kind);
      std::string file = dir + "/" + name + "-" + std::to_string(rows) + ".xlsx";
      CaseTimes times;
      double peak = 0, total = -1;
      bool failed = false;
      for (int i = 0; i < repeat && !failed; ++i) {
        std::filesystem::copy_file(base[kind], file, std::filesystem::copy_options::overwrite_existing);
        CaseTimes run;
        double runPeak = 0;
        if (!InChild<CaseTimes>([&] { return RunCase(file, name); }, run, runPeak)) {
          failed = true;
          break;
        }
        double runTotal = run.open + run.op + run.save;
        if (total < 0 || runTotal < total) {
          total = runTotal;
          times = run;
        }
        peak = std::max(peak, runPeak);
      }
      if (failed) {
        std::fprintf(stderr, "bench: case %s with %d rows failed\n", name, rows);
        ++failures;
        continue;
      }
      const std::string sheetEntry = "xl/worksheets/sheet1.xml";
      const uint64_t entry = EntryCompressedSize(file, sheetEntry), zip6Entry = ZipSixEntrySize(file, sheetEntry);
      std::printf(
          "case=%s rows=%d open_s=%.3f op_s=%.3f save_s=%.3f total_s=%.3f repack_s=%.3f ratio=%.2f "
          "peak_rss_mb=%.1f sheet_xml_mb=%.1f op_cpu_s=%.3f sheet_entry_kb=%.0f zip6_sheet_entry_kb=%.0f\n",
          name, rows, times.open, times.op, times.save, total, repack[kind],
          repack[kind] > 0 ? total / repack[kind] : 0.0, peak, sheetBytes[kind] / 1048576.0, times.opProcessor,
          entry / 1024.0, zip6Entry / 1024.0);
      if (entry == 0 || entry > zip6Entry) {
        std::fprintf(stderr, "bench: case %s saved a sheet entry larger than zip -6 makes it\n", name);
        ++failures;
      }
      std::fflush(stdout);
      std::filesystem::remove(file);
    }
    for (const std::string& file : base) std::filesystem::remove(file);
  }
  std::filesystem::remove_all(dir);
  return failures == 0 ? 0 : 1;
}
