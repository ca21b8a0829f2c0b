// Tabulory: the main window is the whole program. Loading it runs the start-up
// sequence; closing it ends the program.
#include "app/Form1.h"
#include "app/shell/ProgramFolder.h"
#include "app/shell/QtMessages.h"
#include "app/shell/SettingsStore.h"
#include "app/EmbeddedHostFactory.h"
#include "host/core/HeldFiles.h"
#include "host/ui/QtHostWindow.h"

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // Ended from outside (a logout, a kill, Ctrl+C in its terminal), the
  // program takes its lock files and a save's temporary with it.
  host::RemoveHeldFilesOnSignals();
  QApplication::setApplicationName(QStringLiteral("tabulory"));
  QApplication::setApplicationDisplayName(tabulory::kDisplayTitle);
  QApplication::setDesktopFileName(QStringLiteral("tabulory"));

  tabulory::QtMessages messages;
  tabulory::IniSettingsStore store;
  tabulory::EmbeddedHostFactory hosts;
  // The host's windows are Qt windows: registered here, on the window's thread.
  host::ui::InstallHostWindow();
  tabulory::Form1 form(messages, store, hosts, tabulory::ProgramFolder());
  messages.SetParent(&form);
  form.hooks().endProgram = [] { QCoreApplication::exit(0); };

  form.Form_Load();
  if (form.ProgramEnded()) return 0;  // the start-up check ended the program
  form.show();
  const int code = QApplication::exec();
  // Closed during a run: the file being saved was finished before the window
  // went, no save starts any more, and every setting is already on disk; the
  // run's worker ends with the program.
  if (form.RunInProgress()) std::_Exit(code);
  return code;
}
