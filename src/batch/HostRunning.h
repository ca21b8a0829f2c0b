#pragma once
// The check, made at the start of every batch run, whether another spreadsheet
// program of this user is running and may hold the listed workbooks open, and
// the question whether to go on anyway.

#include <QString>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tabulory {

class Messages;

// Where the process table is read and whose processes count. Tests point it at
// a tree of their own.
struct ProcessTable {
  std::filesystem::path root = "/proc";
  uid_t user = ProcessTable::CurrentUser();
  pid_t self = ProcessTable::CurrentProcess();  // never counts as another program
  // Whether another Tabulory window counts as well (the command line names
  // it; the window's own question is about the spreadsheet programs only).
  bool tabuloryWindows = false;

  static uid_t CurrentUser();
  static pid_t CurrentProcess();
};

// A running program the probe found.
struct RunningProgram {
  QString name;          // "LibreOffice", "Gnumeric", ..., or "Tabulory"
  long long process = 0; // its process id
  bool tabulory = false; // another instance of this program's window
};

// How the command line names what was found: "a LibreOffice process
// (process id 4242)", "another Tabulory instance (process id 4242)".
QString RunningProgramPhrase(const RunningProgram& program);

// Executable names (exact base names) of the desktop spreadsheet programs that
// count as a running host. With ProcessTable::tabuloryWindows another
// Tabulory window ("tabulory") counts too, as its host windows may hold the
// same workbooks.
const std::vector<std::string>& KnownSpreadsheetPrograms();

// The first running program of the table's user that counts as a running
// host (see IsHostRunning), or nothing.
std::optional<RunningProgram> FindRunningHost(const ProcessTable& table = {});

// True when a process of the table's user runs one of the known spreadsheet
// programs with a window of its own (a headless converter does not count).
// Every failure of the probe counts as not running; nothing is shown.
bool IsHostRunning(const ProcessTable& table = {});

// The question asked when a host runs (Yes and No, no caption of its own).
QString HostRunningQuestion();

// False when no host runs or the user answers Yes; true when the user answers
// No and the run must stop before the first file.
bool AskStopIfHostRunning(Messages& messages, const ProcessTable& table = {});

}  // namespace tabulory
