// Draws the main window as a user sees it after adding a few workbooks, and
// saves the picture (for the README). Uses a settings store of its own, so
// the user's settings are neither read nor changed.
//   tabulory_window_shot <output.png> [settings.ini]
// With a settings file, the window starts from a copy of it and no rows or
// choices are added.
#include "app/Form1.h"
#include "filelist/FileListModel.h"
#include "app/shell/ProgramFolder.h"
#include "app/shell/QtMessages.h"
#include "app/ReportListModel.h"
#include "app/shell/SettingsStore.h"
#include "app/EmbeddedHostFactory.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: tabulory_window_shot <output.png> [settings.ini]\n");
    return 2;
  }
  QTemporaryDir settingsFolder;
  const bool givenSettings = argc == 3;
  if (givenSettings &&
      !QFile::copy(QString::fromLocal8Bit(argv[2]), settingsFolder.filePath(QStringLiteral("Carvenel.ini")))) {
    std::fprintf(stderr, "cannot read %s\n", argv[2]);
    return 1;
  }
  tabulory::IniSettingsStore store(settingsFolder.filePath(QStringLiteral("Carvenel.ini")));
  tabulory::QtMessages messages;
  tabulory::EmbeddedHostFactory hosts;
  tabulory::Form1 form(messages, store, hosts, tabulory::ProgramFolder());
  form.hooks().endProgram = [] {};
  form.Form_Load();
  if (form.ProgramEnded()) return 1;

  if (!givenSettings) {
    const QString folder = QStringLiteral("/home/user/Reports/2026/");
    for (const char* name : {"sales-north.xlsx", "sales-south.xlsx", "sales-east.xlsx",
                             "stock/warehouse-a.xlsx", "stock/warehouse-b.xlsx"})
      form.ListView1Model()->AddEntry(folder + QLatin1String(name));
    // As the list looks after a run: each file's result beside it.
    const char* results[] = {"ok", "ok",
                             "failed: \"/home/user/Reports/2026/sales-east.xlsx\" is read-only: you may not change it, "
                             "so it was left as it is.",
                             "ok", "ok"};
    for (int i = 0; i < 5; ++i) form.ListView1Model()->SetResult(i + 1, QString::fromUtf8(results[i]));
    form.Text2()->setText(QStringLiteral("C"));
    form.Combo2()->setCurrentIndex(tabulory::kContains);
    form.Text1()->setText(QStringLiteral("2026"));
  }
  form.show();
  QApplication::processEvents();
  const QPixmap picture = form.grab();
  if (!picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
