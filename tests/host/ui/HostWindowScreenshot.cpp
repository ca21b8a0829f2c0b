// Takes the picture of the host's window for the documentation: a workbook
// with a block highlighted, the reference box above the grid and a total too
// wide for its column (shown as ###). Run on a display
// (scripts/host-screenshot.sh starts a virtual one); not part of the tests.
//
//   host_window_screenshot <picture.png>
#include "host/core/Application.h"
#include "host/core/Workbooks.h"
#include "host/ui/CellBlockDialog.h"
#include "host/ui/HostMainWindow.h"
#include "host/ui/QtHostWindow.h"
#include "host/ui/WorkbookView.h"
#include "support/DialogDriver.h"

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <xlsxwriter.h>

namespace {

// A small order list on three sheets, one row hidden; the totals of column G
// are too wide for the column where they reach the millions.
void WriteOrders(const std::string& path) {
  lxw_workbook* wb = workbook_new(path.c_str());
  lxw_worksheet* orders = workbook_add_worksheet(wb, "Orders");
  workbook_add_worksheet(wb, "Regions");
  workbook_add_worksheet(wb, "Notes 2024");
  lxw_format* date = workbook_add_format(wb);
  format_set_num_format(date, "yyyy-mm-dd");
  lxw_format* money = workbook_add_format(wb);
  format_set_num_format(money, "#,##0.00");
  const char* heads[] = {"Order", "Region", "Product", "Units", "Price", "Date", "Total"};
  for (int c = 0; c < 7; ++c) worksheet_write_string(orders, 0, c, heads[c], nullptr);
  const char* regions[] = {"North", "East", "South", "West"};
  const char* products[] = {"Lamp", "Desk", "Chair", "Shelf", "Stool"};
  for (int r = 1; r <= 24; ++r) {
    worksheet_write_number(orders, r, 0, 1000 + r, nullptr);
    worksheet_write_string(orders, r, 1, regions[(r * 7) % 4], nullptr);
    worksheet_write_string(orders, r, 2, products[(r * 3) % 5], nullptr);
    worksheet_write_number(orders, r, 3, (r * 37) % 23 + 1, nullptr);
    worksheet_write_number(orders, r, 4, 12.5 + (r * 13) % 40 * 2.25, money);
    worksheet_write_number(orders, r, 5, 45300 + r * 3, date);
    const double units = (r * 37) % 23 + 1, price = 12.5 + (r * 13) % 40 * 2.25;
    worksheet_write_number(orders, r, 6, units * price * (r % 4 == 0 ? 100000 : 1), money);
  }
  lxw_row_col_options hidden = {};
  hidden.hidden = 1;
  worksheet_set_row_opt(orders, 6, LXW_DEF_ROW_HEIGHT, nullptr, &hidden);
  workbook_close(wb);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: host_window_screenshot <picture.png>\n");
    return 2;
  }
  const QString picture = QString::fromLocal8Bit(argv[1]);
  QTemporaryDir dir;
  const std::string path = dir.filePath("Orders.xlsx").toStdString();
  WriteOrders(path);

  host::ui::InstallHostWindow();
  host::Application app;
  app.Workbooks().Open(path);
  app.SetVisible(true);

  bool saved = false;
  tabulory::testing::DialogDriver driver([&](host::ui::CellBlockDialog& dialog,
                                             host::ui::WorkbookView* view) {
    QWidget* window = view->window();
    tabulory::testing::HighlightBlock(*view, 0, 3, 2, 12, 5);
    QTimer::singleShot(700, [&saved, &picture, &dialog, window] {
      const QRect frame = window->frameGeometry().adjusted(-10, -10, 10, 10);
      const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0).copy(frame);
      saved = shot.save(picture);
      tabulory::testing::PressCancel(dialog);
    });
  });
  app.InputBox("Highlight a block of cells with mouse", 8);
  app.Quit();
  if (!saved) {
    std::fprintf(stderr, "could not save %s\n", argv[1]);
    return 1;
  }
  return 0;
}
