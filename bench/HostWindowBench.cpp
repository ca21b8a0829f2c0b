// tabulory-window-bench: how fast the host's window shows a large sheet.
//
// Usage: tabulory-window-bench [rows...]   (default: 1000 1000000)
// For each size a workbook of that many data rows is written, opened in a
// host instance, every tenth data row hidden, and then the instance made
// visible. One line per size:
// case=window rows=<n> hidden=<h> open_s=... show_s=... first_paint_s=...
// last_row_paint_s=...
// show_s: Visible = true until the window exists with every tab and hidden
// row in place; first_paint_s: painting it once; last_row_paint_s: scrolling
// to the last data row and painting there.

#include <QApplication>
#include <QPixmap>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchWorkbook.h"
#include "host/core/Application.h"
#include "host/core/Workbook.h"
#include "host/core/Workbooks.h"
#include "host/core/Worksheet.h"
#include "host/ui/HostMainWindow.h"
#include "host/ui/QtHostWindow.h"
#include "host/ui/WorkbookView.h"

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

host::ui::HostMainWindow* ShownWindow() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* h = qobject_cast<host::ui::HostMainWindow*>(w); h && h->isVisible()) return h;
  return nullptr;
}

bool RunCase(const QString& folder, int rows) {
  const std::string path = (folder + QStringLiteral("/window-%1.xlsx").arg(rows)).toStdString();
  WriteBenchWorkbook(path, rows);

  host::Application app;
  double t = Now();
  host::Workbook& wb = app.Workbooks().Open(path);
  const double open = Now() - t;
  host::Worksheet& sheet = *wb.Worksheets().front();
  int hidden = 0;
  for (int row = 11; row <= rows + 1; row += 10, ++hidden) sheet.Rows(row).SetHidden(true);

  t = Now();
  app.SetVisible(true);
  const double show = Now() - t;
  host::ui::HostMainWindow* window = ShownWindow();
  if (!window || !window->View()) return false;

  t = Now();
  QPixmap first = window->grab();
  const double firstPaint = Now() - t;

  QTableView* grid = window->View()->Grid(window->View()->Tabs()->currentIndex());
  t = Now();
  grid->scrollTo(grid->model()->index(rows, 0));
  QPixmap last = window->grab();
  const double lastPaint = Now() - t;

  std::printf(
      "case=window rows=%d hidden=%d open_s=%.3f show_s=%.3f first_paint_s=%.3f "
      "last_row_paint_s=%.3f\n",
      rows, hidden, open, show, firstPaint, lastPaint);
  std::fflush(stdout);
  app.Quit();
  return !first.isNull() && !last.isNull();
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication qt(argc, argv);
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1000, 1000000};
  host::ui::InstallHostWindow();
  QTemporaryDir folder;
  bool ok = folder.isValid();
  for (int rows : sizes) ok = RunCase(folder.path(), rows) && ok;
  return ok ? 0 : 1;
}
