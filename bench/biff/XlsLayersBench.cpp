// Benchmark of the .xls lower layers on a workbook of 65,000 rows x 10
// columns that LibreOffice writes as .xls: read the compound file, decode the
// workbook stream (globals, shared strings, every cell), write the compound
// file anew with the workbook stream replaced, and save it beside the file
// and rename it over. References in the same run: cp of the file and a
// LibreOffice headless round trip (open the .xls, save it as .xls).
//
//   bench_xls_layers [--xls PATH] [--runs N]
//
// Prints one line of figures on stdout. The decode-and-rewrite step runs in
// a child process of its own, so that its peak memory is its own.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "../BenchWorkbook.h"
#include "BenchClock.h"
#include "host/io/CompoundFile.h"
#include "host/io/CompoundFileWriter.h"
#include "host/formats/biff/SheetRecords.h"
#include "host/formats/biff/WorkbookGlobals.h"

namespace {

// One open, decode, rewrite and save of path; prints the figures of this process.
int Once(const std::string& path) {
  auto start = std::chrono::steady_clock::now();
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::string content(static_cast<size_t>(in.tellg()), '\0');
  in.seekg(0);
  in.read(content.data(), static_cast<std::streamsize>(content.size()));
  host::io::CompoundFile file(std::move(content), path);
  int workbook = file.Find("Workbook");
  std::string stream = file.ReadStream(workbook);
  host::biff::WorkbookGlobals globals = host::biff::ReadGlobals(stream, "Workbook", path);
  size_t cells = 0;
  for (const host::biff::SheetInfo& sheet : globals.sheets)
    cells += host::biff::ReadSheet(stream, sheet.position, globals.sharedStrings, "Workbook", path).cells.size();
  std::string written = host::io::WriteCompoundFile(file, {{workbook, stream}});
  std::string temporary = path + ".saving";
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || write(fd, written.data(), written.size()) != static_cast<ssize_t>(written.size()) || fsync(fd) != 0) {
    std::perror("write");
    return 1;
  }
  close(fd);
  std::filesystem::rename(temporary, path);
  double seconds = Seconds(start);
  const SelfUsage usage = UsageOfThisProcess();
  std::printf("%.4f %.4f %ld %zu %zu\n", seconds, usage.processorSeconds, usage.peakKb, stream.size(), cells);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string xls;
  int runs = 3;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--once" && i + 1 < argc) return Once(argv[i + 1]);
    if (arg == "--xls" && i + 1 < argc) xls = argv[++i];
    else if (arg == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
  }
  char pattern[] = "/tmp/tabulory-xls-bench-XXXXXX";
  std::string work = mkdtemp(pattern);
  std::string profile = " -env:UserInstallation=file://" + work + "/profile --headless ";
  if (xls.empty()) {
    WriteBenchWorkbook(work + "/bench.xlsx", 65000);
    TimeCommand("cd " + work + " && soffice" + profile + "--convert-to xls --outdir " + work + " " + work +
                "/bench.xlsx >/dev/null 2>&1");
    xls = work + "/bench.xls";
  }
  std::string copy = work + "/copy.xls";
  std::filesystem::copy_file(xls, copy, std::filesystem::copy_options::overwrite_existing);

  double best = 1e9, bestProcessor = 1e9, cp = 1e9, lo = 1e9;
  long peakKb = 0;
  size_t streamBytes = 0, cells = 0;
  for (int run = 0; run < runs; ++run) {
    std::string command = "'" + std::string(argv[0]) + "' --once " + copy;
    FILE* child = popen(command.c_str(), "r");
    double seconds = 0, processor = 0;
    long kb = 0;
    if (!child || std::fscanf(child, "%lf %lf %ld %zu %zu", &seconds, &processor, &kb, &streamBytes, &cells) != 5)
      return 1;
    pclose(child);
    best = std::min(best, seconds);
    bestProcessor = std::min(bestProcessor, processor);
    peakKb = std::max(peakKb, kb);
    cp = std::min(cp, TimeCommand("cp " + xls + " " + work + "/cp.xls"));
  }
  // LibreOffice's round trip once: it takes long and varies little.
  std::filesystem::create_directories(work + "/lo");
  lo = TimeCommand("cd " + work + " && soffice" + profile + "--convert-to xls --outdir " + work + "/lo " + copy +
                   " >/dev/null 2>&1");
  uint64_t fileBytes = std::filesystem::file_size(xls);
  std::printf(
      "case=xls-layers file_bytes=%llu stream_bytes=%zu cells=%zu layers_s=%.4f layers_cpu_s=%.4f cp_s=%.4f "
      "lo_s=%.2f ratio_cp=%.1f lo_over_layers=%.0f peak_mb=%.1f peak_over_stream=%.2f\n",
      static_cast<unsigned long long>(fileBytes), streamBytes, cells, best, bestProcessor, cp, lo, best / cp, lo / best,
      peakKb / 1024.0, peakKb * 1024.0 / streamBytes);
  std::filesystem::remove_all(work);
  return 0;
}
