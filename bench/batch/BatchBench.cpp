// tabulory-batch-bench: the time tabulory-batch takes for 100 workbooks of
// 1,000 rows x 10 columns with one and with two jobs, beside the time of
// unzipping and re-zipping (zip -6) the same files.
//
// Usage: tabulory-batch-bench [path/to/tabulory-batch] [files] [rows] [rounds]
// (defaults: tabulory-batch beside this program, 100 files, 1000 rows, 3
// rounds). Every round starts from fresh copies of the same files; the best
// and the median round are printed, one line per case:
//   case=<name> files=<n> rows=<n> best_s=<s> median_s=<s>
// and then the two ratios the targets are stated in.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "../BenchWorkbook.h"

namespace fs = std::filesystem;

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Runs a program with arguments, its output thrown away; the exit status.
// `cpu` receives the user and system time the program and its children used.
int Spawn(const std::vector<std::string>& args, double* cpu = nullptr) {
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage = {};
  wait4(pid, &status, 0, &usage);
  if (cpu)
    *cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Copies the pristine files into `work`, fresh; gives the copies' paths.
std::vector<std::string> FreshCopies(const std::vector<fs::path>& pristine, const fs::path& work) {
  fs::remove_all(work);
  fs::create_directories(work);
  std::vector<std::string> copies;
  for (const fs::path& p : pristine) {
    const fs::path copy = work / p.filename();
    fs::copy_file(p, copy);
    copies.push_back(copy.string());
  }
  return copies;
}

struct Figures {
  double best = 0, median = 0, cpu = 0;
};

Figures Summary(std::vector<double> times, std::vector<double> cpu) {
  std::sort(times.begin(), times.end());
  std::sort(cpu.begin(), cpu.end());
  return {times.front(), times[times.size() / 2], cpu[cpu.size() / 2]};
}

double LoadAverage() {
  double load[1] = {0};
  return getloadavg(load, 1) == 1 ? load[0] : -1;
}

void Print(const char* name, int files, int rows, const Figures& f) {
  std::printf("case=%s files=%d rows=%d best_s=%.3f median_s=%.3f cpu_s=%.3f load=%.2f\n", name,
              files, rows, f.best, f.median, f.cpu, LoadAverage());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path self = fs::read_symlink("/proc/self/exe");
  const std::string command = argc > 1 ? argv[1] : (self.parent_path() / "tabulory-batch").string();
  const int files = argc > 2 ? std::atoi(argv[2]) : 100;
  const int rows = argc > 3 ? std::atoi(argv[3]) : 1000;
  const int rounds = argc > 4 ? std::atoi(argv[4]) : 3;
  if (!fs::exists(command) || files < 1 || rows < 1 || rounds < 1) {
    std::fprintf(stderr, "usage: %s [tabulory-batch] [files] [rows] [rounds]\n", argv[0]);
    return 2;
  }

  char pattern[] = "/tmp/tabulory-batch-bench-XXXXXX";
  if (!mkdtemp(pattern)) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path root = pattern;
  std::vector<fs::path> pristine;
  fs::create_directories(root / "pristine");
  for (int i = 0; i < files; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "book%03d.xlsx", i + 1);
    pristine.push_back(root / "pristine" / name);
    WriteBenchWorkbook(pristine.back().string(), rows);
  }
  std::printf("bench=batch files=%d rows=%d columns=10 rounds=%d bytes_per_file=%ju\n", files, rows,
              rounds, static_cast<uintmax_t>(fs::file_size(pristine.front())));
  std::fflush(stdout);  // before any fork

  // The reference: one shell unzips and re-zips every file, as a script would.
  std::vector<double> repack, repackCpu;
  for (int r = 0; r < rounds; ++r) {
    const std::vector<std::string> copies = FreshCopies(pristine, root / "work");
    const fs::path script = root / "repack.sh";
    {
      std::ofstream s(script);
      s << "set -e\ncd '" << (root / "work").string() << "'\n";
      for (size_t i = 0; i < copies.size(); ++i)
        s << "unzip -q '" << copies[i] << "' -d u" << i << " && (cd u" << i
          << " && zip -q -6 -r ../r" << i << ".xlsx .)\n";
    }
    const double start = Now();
    double cpu = 0;
    if (Spawn({"/bin/sh", script.string()}, &cpu) != 0) {
      std::fprintf(stderr, "repack failed\n");
      return 1;
    }
    repack.push_back(Now() - start);
    repackCpu.push_back(cpu);
  }

  auto timeCommand = [&](const std::vector<std::string>& operation, int jobs) {
    std::vector<double> times, cpuTimes;
    for (int r = 0; r < rounds; ++r) {
      const std::vector<std::string> copies = FreshCopies(pristine, root / "work");
      std::vector<std::string> args{command};
      args.insert(args.end(), operation.begin(), operation.end());
      args.insert(args.end(), {"--yes", "--jobs", std::to_string(jobs)});
      args.insert(args.end(), copies.begin(), copies.end());
      const double start = Now();
      double cpu = 0;
      const int status = Spawn(args, &cpu);
      times.push_back(Now() - start);
      cpuTimes.push_back(cpu);
      if (status != 0) {
        std::fprintf(stderr, "tabulory-batch failed with status %d\n", status);
        std::exit(1);
      }
    }
    return Summary(times, cpuTimes);
  };

  const Figures reference = Summary(repack, repackCpu);
  Print("repack_unzip_zip6", files, rows, reference);
  const std::vector<std::string> sort{"sort", "--column", "A"};
  const std::vector<std::string> filter{"filter", "--column", "G", "--criterion", "not-blank"};
  const Figures sort1 = timeCommand(sort, 1);
  Print("sort_jobs1", files, rows, sort1);
  const Figures sort2 = timeCommand(sort, 2);
  Print("sort_jobs2", files, rows, sort2);
  const Figures filter1 = timeCommand(filter, 1);
  Print("filter_jobs1", files, rows, filter1);
  const Figures filter2 = timeCommand(filter, 2);
  Print("filter_jobs2", files, rows, filter2);

  std::printf("ratio sort_jobs1/repack=%.2f (target <= 1.30) filter_jobs1/repack=%.2f\n",
              sort1.median / reference.median, filter1.median / reference.median);
  std::printf("speedup sort jobs1/jobs2=%.2f filter jobs1/jobs2=%.2f (target >= 1.70)\n",
              sort1.median / sort2.median, filter1.median / filter2.median);
  if (std::getenv("TABULORY_BENCH_KEEP"))
    std::printf("kept=%s\n", root.c_str());  // the files stay for a closer look
  else
    fs::remove_all(root);
  return 0;
}
