// Draws the main window as a user sees it after adding a few workbooks, and
// saves the picture (for the README). Uses a settings store of its own, so
// the user's settings are neither read nor changed.
//   tabulory_window_shot <output.png>
#include "app/Form1.h"
#include "app/ProgramFolder.h"
#include "app/QtMessages.h"
#include "app/ReportListModel.h"
#include "app/SettingsStore.h"
#include "batch/EmbeddedHostFactory.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: tabulory_window_shot <output.png>\n");
    return 2;
  }
  QTemporaryDir settingsFolder;
  tabulory::IniSettingsStore store(settingsFolder.filePath(QStringLiteral("Carvenel.ini")));
  tabulory::QtMessages messages;
  tabulory::EmbeddedHostFactory hosts;
  tabulory::Form1 form(messages, store, hosts, tabulory::ProgramFolder());
  form.hooks().endProgram = [] {};
  form.Form_Load();
  if (form.ProgramEnded()) return 1;

  const QString folder = QStringLiteral("/home/user/Reports/2026/");
  form.ListView1Model()->Append({folder + QStringLiteral("sales-north.xlsx"),
                                 folder + QStringLiteral("sales-south.xlsx"),
                                 folder + QStringLiteral("sales-east.xlsx"),
                                 folder + QStringLiteral("stock/warehouse-a.xlsx"),
                                 folder + QStringLiteral("stock/warehouse-b.xlsx")});
  form.Text2()->setText(QStringLiteral("C"));
  form.Combo2()->setCurrentIndex(tabulory::kContains);
  form.Text1()->setText(QStringLiteral("2026"));
  form.show();
  QApplication::processEvents();
  const QPixmap picture = form.grab();
  if (!picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
