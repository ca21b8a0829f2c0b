#pragma once
// tabulory-batch: the batch run without a window. Parses the command line,
// asks about a running spreadsheet program (naming it, and that --yes answers
// the question), processes the files (each in a
// host instance of its own, on one or more threads) with the same per-file
// routine as the window, and writes a line per file.

#include "batch/HostRunning.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace tabulory {
class HostFactory;
}

namespace tabulory::cli {

// Exit statuses.
inline constexpr int kExitSuccess = 0;  // every file succeeded
inline constexpr int kExitFailure = 1;  // a file failed, or the run was stopped
inline constexpr int kExitUsage = 2;    // the command line was wrong

// The command's surroundings, so tests can stand in for them.
struct CommandIO {
  std::function<void(const QString&)> out;  // standard output
  std::function<void(const QString&)> err;  // standard error
  bool inIsTerminal = false;                // standard input is a terminal
  bool errIsTerminal = false;               // standard error is a terminal
  // The terminal understands no escape codes (TERM is dumb, empty or unset):
  // no progress bar is drawn, whose redrawing needs them.
  bool dumbTerminal = false;
  std::function<QString()> readLine;        // a line typed on the terminal
  std::function<QByteArray()> readInput;    // all of standard input (--files-from -)
  // Another spreadsheet program (or Tabulory window) that runs, if any.
  std::function<std::optional<RunningProgram>()> runningHost;
  HostFactory* hosts = nullptr;             // new host instances (no window)
  // True once standard output could not be written (a full disk, a closed
  // pipe): the run then starts no further file and ends with status 1.
  std::function<bool()> outputFailed;
};

// Runs the command for the arguments after the program name; gives the exit
// status.
int RunBatchCommand(const QStringList& arguments, CommandIO& io);

}  // namespace tabulory::cli
