// Benchmark of the .xls workbook store on a workbook of 65,000 rows x 10
// columns (numbers, shared strings, dates, formulas with cached results)
// that LibreOffice writes as .xls: open + sort + save and open + filter
// (hide one row in five) + save, each in a child process of its own so that
// its peak memory is its own. References in the same run: cp of the file,
// the same copy with its fsync (dd conv=fsync: the store's save syncs its
// file too), timed between the store's runs, and a LibreOffice headless
// round trip (open the .xls, save it as .xls). The store alone (store_s)
// and the host as the program runs it (host_s: the file recognised, the
// formulas whose results change calculated anew) are both timed.
//
//   bench_xls_store [--xls PATH] [--runs N]
//   bench_xls_store --make PATH     (writes the workbook to PATH and stops,
//                                    to time builds alternately on one file)
//
// Prints one line of figures per case on stdout.

#include <xlsxwriter.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "BenchClock.h"
#include "host/core/RowSort.h"
#include "host/formats/biff/XlsWorkbook.h"

namespace {

constexpr int kRows = 65000;

// A: id, B: a name from 16,000 (shared strings), C: amount, D: date,
// E: =C*2, F: =A+C, G: a category, H: =$C$2+C (absolute and relative),
// I: quantity, J: =IF(I>50,"high","low") (text results).
void WriteWorkbook(const std::string& path) {
  lxw_workbook_options options = {};
  options.constant_memory = LXW_TRUE;
  lxw_workbook* book = workbook_new_opt(path.c_str(), &options);
  lxw_format* date = workbook_add_format(book);
  format_set_num_format(date, "yyyy-mm-dd");
  lxw_worksheet* sheet = workbook_add_worksheet(book, "Data");
  const char* headers[] = {"id", "name", "amount", "date", "double", "sum", "category", "from first", "qty", "level"};
  for (int c = 0; c < 10; ++c) worksheet_write_string(sheet, 0, c, headers[c], nullptr);
  const char* categories[] = {"north", "south", "east", "west", "centre"};
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 8) & 0xFFFFFF; };
  double first = 0;
  for (int r = 1; r <= kRows; ++r) {
    const std::string n = std::to_string(r + 1);
    double amount = (next() % 1000000) / 100.0;
    if (r == 1) first = amount;
    int qty = static_cast<int>(next() % 100);
    worksheet_write_number(sheet, r, 0, r, nullptr);
    worksheet_write_string(sheet, r, 1, ("name " + std::to_string(next() % 16000)).c_str(), nullptr);
    worksheet_write_number(sheet, r, 2, amount, nullptr);
    worksheet_write_number(sheet, r, 3, 40000 + next() % 9000, date);
    worksheet_write_formula_num(sheet, r, 4, ("=C" + n + "*2").c_str(), nullptr, amount * 2);
    worksheet_write_formula_num(sheet, r, 5, ("=A" + n + "+C" + n).c_str(), nullptr, r + amount);
    worksheet_write_string(sheet, r, 6, categories[next() % 5], nullptr);
    worksheet_write_formula_num(sheet, r, 7, ("=$C$2+C" + n).c_str(), nullptr, first + amount);
    worksheet_write_number(sheet, r, 8, qty, nullptr);
    worksheet_write_formula_str(sheet, r, 9, ("=IF(I" + n + ">50,\"high\",\"low\")").c_str(), nullptr,
                                qty > 50 ? "high" : "low");
  }
  workbook_close(book);
}

// One open, change and save of path by the store alone; prints seconds,
// processor seconds, peak resident kB and the workbook stream's size.
int Once(const std::string& what, const std::string& path) {
  auto start = std::chrono::steady_clock::now();
  auto book = host::biff::OpenXls(path);
  auto* sheet = book->Sheet(0);
  host::CellArea used;
  sheet->UsedArea(used);
  if (what == "sort") {
    host::SortRows(*sheet, host::CellArea{2, 1, used.lastRow, used.lastColumn}, 2, false);  // by name
  } else {
    for (int row = 2; row <= used.lastRow; ++row)
      if (sheet->Value(row, 7).text == "north") sheet->SetRowHidden(row, true);
  }
  book->RequestFullRecalculation();
  book->Save();
  double seconds = Seconds(start);
  const SelfUsage usage = UsageOfThisProcess();
  auto* xls = dynamic_cast<host::biff::XlsWorkbook*>(book.get());
  std::printf("%.4f %.4f %ld %zu\n", seconds, usage.processorSeconds, usage.peakKb, xls ? xls->StreamSize() : size_t{0});
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string xls, make;
  int runs = 3;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--once" && i + 2 < argc) return Once(argv[i + 1], argv[i + 2]);
    if (arg == "--xls" && i + 1 < argc) xls = argv[++i];
    else if (arg == "--make" && i + 1 < argc) make = argv[++i];
    else if (arg == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
  }
  char pattern[] = "/tmp/tabulory-xls-store-bench-XXXXXX";
  std::string work = mkdtemp(pattern);
  std::string profile = " -env:UserInstallation=file://" + work + "/profile --headless ";
  if (xls.empty()) {
    WriteWorkbook(work + "/bench.xlsx");
    TimeCommand("cd " + work + " && soffice" + profile + "--convert-to xls --outdir " + work + " " + work +
                "/bench.xlsx >/dev/null 2>&1");
    xls = work + "/bench.xls";
  }
  if (!make.empty()) {
    std::filesystem::copy_file(xls, make, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::remove_all(work);
    return 0;
  }
  double cp = 1e9;
  for (int run = 0; run < runs; ++run) cp = std::min(cp, TimeCommand("cp " + xls + " " + work + "/cp.xls"));
  // LibreOffice's round trip once: it takes long and varies little.
  std::filesystem::create_directories(work + "/lo");
  double lo = TimeCommand("cd " + work + " && soffice" + profile + "--convert-to xls --outdir " + work + "/lo " + xls +
                          " >/dev/null 2>&1");
  const uint64_t fileBytes = std::filesystem::file_size(xls);
  for (const std::string what : {"sort", "filter"}) {
    double best = 1e9, bestProcessor = 1e9, cpSync = 1e9, hostBest = 1e9, hostProcessor = 1e9;
    long peakKb = 0, hostPeakKb = 0;
    size_t streamBytes = 0;
    // Runs `--once` in a child; false when it fails.
    auto once = [&](const std::string& how, double& wall, double& processor, long& kb, size_t& stream) {
      std::string copy = work + "/copy.xls";
      std::filesystem::copy_file(xls, copy, std::filesystem::copy_options::overwrite_existing);
      // The host's runs are bench_xls_host_once's, beside this program.
      const std::string self = argv[0];
      const std::string command =
          how.rfind("host-", 0) == 0
              ? "'" + self.substr(0, self.rfind('/') + 1) + "bench_xls_host_once' " + how.substr(5) + " " + copy
              : "'" + self + "' --once " + how + " " + copy;
      FILE* child = popen(command.c_str(), "r");
      double seconds = 0, cpu = 0;
      long peak = 0;
      if (!child || std::fscanf(child, "%lf %lf %ld %zu", &seconds, &cpu, &peak, &stream) != 4) return false;
      pclose(child);
      wall = std::min(wall, seconds);
      processor = std::min(processor, cpu);
      kb = std::max(kb, peak);
      return true;
    };
    for (int run = 0; run < runs; ++run) {
      cpSync = std::min(cpSync, TimeCommand("dd if=" + xls + " of=" + work + "/sync.xls bs=1M conv=fsync status=none"));
      size_t ignored = 0;
      if (!once(what, best, bestProcessor, peakKb, streamBytes) ||
          !once("host-" + what, hostBest, hostProcessor, hostPeakKb, ignored))
        return 1;
    }
    std::printf(
        "case=xls-%s file_bytes=%llu stream_bytes=%zu store_s=%.4f store_cpu_s=%.4f cp_s=%.4f cp_fsync_s=%.4f "
        "lo_s=%.2f ratio_cp=%.1f cpu_over_cp=%.1f ratio_cp_fsync=%.1f lo_over_store=%.0f peak_mb=%.1f "
        "peak_over_stream=%.2f host_s=%.4f host_cpu_s=%.4f host_ratio_cp_fsync=%.1f host_peak_mb=%.1f\n",
        what.c_str(), static_cast<unsigned long long>(fileBytes), streamBytes, best, bestProcessor, cp, cpSync, lo,
        best / cp, bestProcessor / cp, best / cpSync, lo / best, peakKb / 1024.0, peakKb * 1024.0 / streamBytes, hostBest,
        hostProcessor, hostBest / cpSync, hostPeakKb / 1024.0);
  }
  std::filesystem::remove_all(work);
  return 0;
}
