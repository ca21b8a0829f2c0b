// bench_xls_host_once: one open, change and save of an .xls through the host
// as the program runs it: the file recognised by its content, and every
// formula whose result the change alters calculated anew before the save
// (a sort of the store bench's workbook moves $C$2, on which column H
// stands). A program of its own, so that the store's runs in
// bench_xls_store keep the peak memory of a process that holds only the
// store. Prints seconds, processor seconds, peak resident kB and 0.
//
//   bench_xls_host_once sort|filter PATH

#include <chrono>
#include <cstdio>
#include <string>

#include "BenchClock.h"
#include "host/core/Application.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string what = argv[1], path = argv[2];
  auto start = std::chrono::steady_clock::now();
  host::Application app;
  host::Workbook& book = app.Workbooks().Open(path);
  host::Worksheet& sheet = *book.Worksheets()[0];
  host::Range used = sheet.UsedRange();
  const int lastRow = used.Rows()(used.Rows().Count()).Row();
  if (what == "sort") {
    sheet.GetRange("A2:J" + std::to_string(lastRow)).Sort(host::Cells(2, 2), 1);  // by name, below the header
  } else {
    for (int row = 2; row <= lastRow; ++row)
      if (sheet.Cells(row, 7).Text() == "north") sheet.Rows(row).SetHidden(true);
  }
  book.Save();
  app.Quit();
  const double seconds = Seconds(start);
  const SelfUsage usage = UsageOfThisProcess();
  std::printf("%.4f %.4f %ld 0\n", seconds, usage.processorSeconds, usage.peakKb);
  return 0;
}
