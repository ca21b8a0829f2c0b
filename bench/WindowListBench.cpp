// How the main window's file list copes with many rows: appending, scrolling
// to the end, picking the last row and drawing the window, on Qt's offscreen
// platform. Prints one line of figures per list size.
#include "app/Form1.h"
#include "filelist/FileListModel.h"
#include "filelist/FileListView.h"
#include "app/ReportListModel.h"
#include "app/shell/SettingsStore.h"
#include "app/shell/QtMessages.h"
#include "app/EmbeddedHostFactory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTreeView>
#include <cstdio>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir folder;
  tabulory::IniSettingsStore store(folder.filePath(QStringLiteral("Carvenel.ini")));
  tabulory::QtMessages messages;
  tabulory::EmbeddedHostFactory hosts;

  std::printf("%10s %12s %12s %12s %12s\n", "rows", "append ms", "scroll ms", "select ms",
              "draw ms");
  for (int rows : {1000, 10000, 100000, 200000}) {
    tabulory::Form1 form(messages, store, hosts, folder.path());
    form.hooks().endProgram = [] {};
    form.Form_Load();
    form.show();
    QApplication::processEvents();

    QStringList paths;
    paths.reserve(rows);
    for (int i = 0; i < rows; ++i)
      paths << QStringLiteral("/home/user/Reports/2026/region-%1/book-%2.xlsx").arg(i % 50).arg(i);

    QElapsedTimer timer;
    timer.start();
    {
      tabulory::FileListModel::AppendBatch batch(*form.ListView1Model());
      for (const QString& path : paths) form.ListView1Model()->AddEntry(path);
    }
    QApplication::processEvents();
    const double append = timer.nsecsElapsed() / 1e6;

    timer.restart();
    form.ListView1()->scrollToBottom();
    QApplication::processEvents();
    const double scroll = timer.nsecsElapsed() / 1e6;

    timer.restart();
    form.ListView1()->setCurrentIndex(form.ListView1Model()->index(rows - 1, 0));
    QApplication::processEvents();
    const double select = timer.nsecsElapsed() / 1e6;

    timer.restart();
    const QPixmap picture = form.grab();
    const double draw = timer.nsecsElapsed() / 1e6;
    if (picture.isNull()) return 1;

    std::printf("%10d %12.1f %12.1f %12.1f %12.1f\n", rows, append, scroll, select, draw);
  }
  return 0;
}
