// Tabulory: the main window is the whole program. Loading it runs the start-up
// sequence; closing it ends the program.
#include "app/Form1.h"
#include "app/ProgramFolder.h"
#include "app/QtMessages.h"
#include "app/SettingsStore.h"
#include "batch/EmbeddedHostFactory.h"

#include <QApplication>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("tabulory"));
  QApplication::setApplicationDisplayName(tabulory::kDisplayTitle);
  QApplication::setDesktopFileName(QStringLiteral("tabulory"));

  tabulory::QtMessages messages;
  tabulory::IniSettingsStore store;
  tabulory::EmbeddedHostFactory hosts;
  tabulory::Form1 form(messages, store, hosts, tabulory::ProgramFolder());
  messages.SetParent(&form);
  form.hooks().endProgram = [] { QCoreApplication::exit(0); };

  form.Form_Load();
  if (form.ProgramEnded()) return 0;  // the start-up check ended the program
  form.show();
  return QApplication::exec();
}
