// tabulory-batch: sorts or filters many workbooks from the command line, with
// the same batch engine as the window. Needs no display.
#include "app/shell/RawFileName.h"
#include "cli/BatchCommand.h"
#include "cli/HeadlessHostFactory.h"
#include "batch/HostRunning.h"
#include "host/core/HeldFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <iostream>
#include <string>
#include <unistd.h>

namespace {

std::atomic<bool> outputFailed{false};

// Writes text (a file name in it with its own bytes); false when the stream
// took it not whole.
bool Write(std::FILE* stream, const QString& text) {
  const QByteArray bytes = tabulory::FileNameBytes(text);
  const bool written = std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream) ==
                       static_cast<size_t>(bytes.size());
  return std::fflush(stream) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  // Ctrl+C, a closed terminal or a kill end the command at once; the lock
  // files of the workbooks it holds and the temporary of a save under way go
  // first. A file size limit fails the file's save, not the run.
  host::RemoveHeldFilesOnSignals();
  // A closed pipe on standard output (| head -1) is a failed write the run
  // handles, not a signal that ends it with its locks left behind.
  std::signal(SIGPIPE, SIG_IGN);
  QCoreApplication::setApplicationName(QStringLiteral("tabulory-batch"));

  tabulory::cli::HeadlessHostFactory hosts;
  tabulory::cli::CommandIO io;
  io.out = [](const QString& text) {
    if (!Write(stdout, text)) outputFailed = true;
  };
  io.err = [](const QString& text) { Write(stderr, text); };
  io.outputFailed = [] { return outputFailed.load(); };
  io.inIsTerminal = isatty(STDIN_FILENO) == 1;
  io.errIsTerminal = isatty(STDERR_FILENO) == 1;
  const char* term = std::getenv("TERM");
  io.dumbTerminal = term == nullptr || *term == '\0' || std::string_view(term) == "dumb";
  io.readLine = [] {
    std::string line;
    std::getline(std::cin, line);
    return QString::fromStdString(line);
  };
  io.readInput = [] {
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) return QByteArray();
    return in.readAll();
  };
  io.runningHost = [] {
    tabulory::ProcessTable table;
    table.tabuloryWindows = true;  // another Tabulory window is named too
    return tabulory::FindRunningHost(table);
  };
  io.hosts = &hosts;
  // The arguments as given: a file name that is not UTF-8 keeps its bytes.
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << tabulory::FileNameFromBytes(argv[i]);
  return tabulory::cli::RunBatchCommand(arguments, io);
}
