// tabulory-recalc-bench: how much the fresh formula results a save writes
// add to a sort. A workbook of N rows (default 100,000) holds a key, an
// amount, a row product (=A*B) and a running total (=C(n-1)+B(n)), and a
// second sheet a SUBTOTAL(109,...) over the amounts, each formula with its
// true result stored, as a spreadsheet program saves it. The sort by key and
// the save run as the program runs them; the same sort is then repeated
// and the recalculation alone timed. The reference is the run itself: the
// open, sort and save without the recalculation's share. With "ods" the
// workbook is LibreOffice's conversion of the same .xlsx (headless, its own
// profile), so the results it starts with are LibreOffice's. With "xls" the
// conversion is to .xls (an .xls sheet holds 65,536 rows: 65,000 rows by
// default).
//
// Usage: tabulory-recalc-bench [rows] [xlsx|ods|xls]
// Output: case=recalc[-ods|-xls] rows=<n> open_s=... sort_s=... save_s=... recalc_s=...
//         share=<recalc / (open + sort + save without it)>, and the same in
//         processor time: run_cpu_s=... recalc_cpu_s=... cpu_share=...

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <ctime>
#include <unistd.h>
#include <xlsxwriter.h>

#include "host/core/Application.h"
#include "host/core/CellRef.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"
#include "host/core/calc/Recalculation.h"

namespace {

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// Processor time of the process so far: what a shared machine's load does not inflate.
double Cpu() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void WriteBook(const std::string& path, int rows) {
  lxw_workbook_options options = {};
  options.constant_memory = LXW_TRUE;
  lxw_workbook* wb = workbook_new_opt(path.c_str(), &options);
  lxw_worksheet* data = workbook_add_worksheet(wb, "Data");
  lxw_worksheet* report = workbook_add_worksheet(wb, "Report");
  worksheet_write_string(data, 0, 0, "key", nullptr);
  worksheet_write_string(data, 0, 1, "amount", nullptr);
  worksheet_write_string(data, 0, 2, "product", nullptr);
  worksheet_write_string(data, 0, 3, "running", nullptr);
  // The results stored are the true ones, as a spreadsheet program saves them.
  unsigned state = 12345;
  double running = 0;
  for (int r = 1; r <= rows; ++r) {
    state = state * 1103515245u + 12345u;
    const std::string n = std::to_string(r + 1);
    const double key = (state >> 8) % 1000000, amount = r % 97;
    running += amount;
    worksheet_write_number(data, r, 0, key, nullptr);
    worksheet_write_number(data, r, 1, amount, nullptr);
    worksheet_write_formula_num(data, r, 2, ("=A" + n + "*B" + n).c_str(), nullptr, key * amount);
    worksheet_write_formula_num(data, r, 3, (r == 1 ? std::string("=B2") : "=D" + std::to_string(r) + "+B" + n).c_str(),
                                nullptr, running);
  }
  const std::string last = std::to_string(rows + 1);
  worksheet_write_formula_num(report, 0, 0, ("=SUBTOTAL(109,Data!B2:B" + last + ")").c_str(), nullptr, running);
  workbook_close(wb);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string format = argc > 2 ? argv[2] : "xlsx";
  const int rows = argc > 1 ? std::atoi(argv[1]) : format == "xls" ? 65000 : 100000;
  if (format != "xlsx" && format != "ods" && format != "xls") {
    std::fprintf(stderr, "usage: tabulory-recalc-bench [rows] [xlsx|ods|xls]\n");
    return 2;
  }
  const std::string dir = (std::filesystem::temp_directory_path() / ("tabulory-recalc-" + std::to_string(getpid()))).string();
  std::filesystem::create_directories(dir);
  const std::string original = dir + "/book." + format, copy = dir + "/copy." + format;
  WriteBook(dir + "/book.xlsx", rows);
  if (format != "xlsx") {
    const std::string convert = "cd '" + dir + "' && soffice --headless -env:UserInstallation=file://" + dir +
                                "/profile --convert-to " + format + " --outdir '" + dir + "' book.xlsx >/dev/null 2>&1";
    if (std::system(convert.c_str()) != 0 || !std::filesystem::exists(original)) {
      std::fprintf(stderr, "LibreOffice (soffice) could not convert the workbook to .%s\n", format.c_str());
      std::filesystem::remove_all(dir);
      return 1;
    }
  }
  const std::string area = "A2:D" + std::to_string(rows + 1);

  // The program's run: open, sort, save (the save computes the results).
  std::filesystem::copy_file(original, copy, std::filesystem::copy_options::overwrite_existing);
  double open = 0, sort = 0, save = 0, recalc = 0, runCpu = 0, recalcCpu = 0;
  int left = 0;
  {
    host::Application app;
    const double cpu = Cpu();
    double t = Now();
    host::Workbook& book = app.Workbooks().Open(copy);
    open = Now() - t;
    t = Now();
    book.Worksheets()[0]->GetRange(area).Sort(host::Cells(2, 1));
    sort = Now() - t;
    t = Now();
    book.Save();
    save = Now() - t;
    runCpu = Cpu() - cpu;
    left = book.FormulasLeftToRecalculate();
    app.Quit();
  }
  // The recalculation alone, after the same sort.
  std::filesystem::copy_file(original, copy, std::filesystem::copy_options::overwrite_existing);
  {
    host::Application app;
    host::Workbook& book = app.Workbooks().Open(copy);
    book.Worksheets()[0]->GetRange(area).Sort(host::Cells(2, 1));
    const double t = Now(), cpu = Cpu();
    const host::calc::RecalculationCount count = host::calc::RecalculateChangedWorkbook(book);
    recalc = Now() - t;
    recalcCpu = Cpu() - cpu;
    std::fprintf(stderr, "results written %d, left to recalculate %d\n", count.updated, count.leftToRecalculate);
    app.Quit();
  }
  std::filesystem::remove_all(dir);
  const double without = open + sort + save - recalc;
  std::printf(
      "case=recalc%s rows=%d open_s=%.3f sort_s=%.3f save_s=%.3f recalc_s=%.3f share=%.3f run_cpu_s=%.3f "
      "recalc_cpu_s=%.3f cpu_share=%.3f left=%d\n",
      format == "xlsx" ? "" : ("-" + format).c_str(), rows, open, sort, save, recalc, recalc / without, runCpu,
      recalcCpu, recalcCpu / (runCpu - recalcCpu), left);
  return 0;
}
