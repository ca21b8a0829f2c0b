#include "cli/BatchCommand.h"

#include "app/shell/ErrorReport.h"
#include "app/shell/MousePointer.h"
#include "app/shell/RawFileName.h"
#include "batch/BatchRun.h"
#include "batch/HostRunning.h"
#include "batch/HostFactory.h"
#include "cli/Backup.h"
#include "cli/CommandLine.h"
#include "cli/DryRunReport.h"
#include "cli/OrderedRun.h"
#include "cli/PathListInput.h"
#include "cli/ProgressBar.h"
#include "cli/ReferenceBlockChooser.h"
#include "cli/StreamMessages.h"
#include "host/core/Application.h"
#include "host/core/MemoryBudget.h"
#include "host/core/SaveTarget.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"
#include "options/OptionsSource.h"

namespace tabulory::cli {

namespace {

// No window, so no pointer to show; the run may still set it.
class NoPointer : public PointerState {
 public:
  MousePointer Pointer() const override { return pointer_; }
  void SetPointer(MousePointer pointer) override { pointer_ = pointer; }

 private:
  MousePointer pointer_ = MousePointer::Default;
};

// Instances of another factory that open workbooks for reading only: a dry
// run can write nothing, not even a lock file.
class ReadOnlyHosts : public HostFactory {
 public:
  explicit ReadOnlyHosts(HostFactory& hosts) : hosts_(hosts) {}
  std::shared_ptr<host::Application> Create() override {
    std::shared_ptr<host::Application> app = hosts_.Create();
    if (app) app->SetWorkbookAccess(host::Application::Access::ReadOnly);
    return app;
  }

 private:
  HostFactory& hosts_;
};

// The messages of one file's run on the command line: the window's failure
// reports (with their request for a screenshot) are not written; the
// command says each failed file's first failing step itself.
class FileMessages : public StreamMessages {
 public:
  using StreamMessages::StreamMessages;
  MessageAnswer Show(const QString& text, const QString& caption, MessageIcon icon, MessageButtons buttons) override {
    if (caption == ErrorReportCaption()) return MessageAnswer::Ok;
    return StreamMessages::Show(text, caption, icon, buttons);
  }
};

// The names of the sheets the run changed in workbook, as the result line
// lists them.
QStringList ChangedSheets(host::Workbook& workbook, Operation operation) {
  QStringList names;
  for (host::Worksheet* sheet : workbook.Worksheets())
    if ((operation == Operation::Sort ? sheet->RowsMoved() : sheet->RowsHiddenSinceOpen()) > 0)
      names << QString::fromStdString(sheet->Name());
  return names;
}

// Statement 168 as the command line asks for it: in a dry run, the report of
// what would change (or the refusal the real run would meet) instead of the
// save; with --backup, the backup first. What the save kept of the changes
// goes into the result.
SaveStep SaveFor(const BatchCommand& command, FileResult& result, const GuardedProcedure& procedure) {
  if (command.dryRun)
    return [&command, &result, &procedure](host::Workbook& workbook) {
      host::CheckMayChange(workbook.FullName());
      // A step that failed fails the real run too: no counts of what would change.
      if (procedure.FailureCount() == 0)
        result.details += DryRunLines(result.path, workbook, command.options.operation);
    };
  return [&command, &result](host::Workbook& workbook) {
    if (command.backupSuffix) {
      const std::string& full = workbook.FullName();
      KeepBackup(FileNameFromBytes(QByteArrayView(full.data(), static_cast<qsizetype>(full.size()))),
                 *command.backupSuffix);
    }
    workbook.Save();
    result.savedSheets = ChangedSheets(workbook, command.options.operation);
  };
}

// The window's statements 112 to 170 for one file, with the choices of the
// command line and the messages kept for writing out in list order.
FileResult ProcessOneFile(int index, const QString& path, RunState& state,
                          const BatchCommand& command, HostFactory& hosts) {
  FileResult result;
  result.index = index;
  result.path = path;
  FileMessages messages([&result](const QString& text) { result.reports += text; });
  const FixedOptions options(command.options);
  NoPointer pointer;
  ReferenceBlockChooser blocks(command.block);
  GuardedProcedure procedure(messages, BatchRunLocation());
  result.outcome = ProcessFile(procedure, path, state,
                               BatchContext{options, messages, pointer, hosts, blocks, nullptr,
                                            SaveFor(command, result, procedure)});
  result.refusal = blocks.Refusal();
  return result;
}

// What a failing statement of one file was doing, in the command's words.
QString StepOf(int statement, bool dryRun) {
  switch (statement) {
    case 114:
    case 118: return QStringLiteral("opening it");
    case 126:
    case 138:
    case 158: return QStringLiteral("filtering it");
    case 130:
    case 142:
    case 162: return QStringLiteral("sorting it");
    case 148:
    case 150: return QStringLiteral("choosing the block");
    case 168: return dryRun ? QStringLiteral("checking what would change") : QStringLiteral("saving it");
    case 170: return QStringLiteral("closing it");
    default: return QStringLiteral("step %1 of the run").arg(statement);
  }
}

QString OneLine(QString text) {
  text.replace(QLatin1Char('\r'), QLatin1Char(' '));
  text.replace(QLatin1Char('\n'), QLatin1Char(' '));
  return text.trimmed();
}

// The sheets a failed file's save kept changed: ` (sheets "A" and "B" were
// sorted and saved)`; empty when it kept none.
QString SavedPart(const FileResult& r, Operation operation) {
  if (r.savedSheets.isEmpty()) return {};
  QStringList quoted;
  for (const QString& name : r.savedSheets) quoted << QStringLiteral("\"%1\"").arg(name);
  QString list = quoted.last();
  if (quoted.size() > 1) list = QStringList(quoted.mid(0, quoted.size() - 1)).join(QStringLiteral(", ")) + " and " + list;
  return QStringLiteral(" (%1 %2 %3 %4 and saved)")
      .arg(quoted.size() == 1 ? QStringLiteral("sheet") : QStringLiteral("sheets"), list,
           quoted.size() == 1 ? QStringLiteral("was") : QStringLiteral("were"),
           operation == Operation::Sort ? QStringLiteral("sorted") : QStringLiteral("filtered"));
}

// "ok PATH" (with the formulas left to recalculate) or "failed PATH: reason".
QString ResultLine(const FileResult& r, Operation operation) {
  if (r.outcome.Succeeded()) return QStringLiteral("ok %1%2\n").arg(r.path, RecalculationNote(r.outcome.formulasLeft, r.outcome.recalculatedWhenOpened));
  QString reason;
  if (!r.outcome.failures.isEmpty()) reason = r.outcome.failures.first();
  else if (!r.refusal.isEmpty()) reason = r.refusal;
  else reason = NoBlockSelectedText();
  return QStringLiteral("failed %1: %2%3\n").arg(r.path, OneLine(reason), SavedPart(r, operation));
}

// The one report of a failed file on standard error: its first failing step.
QString FailureReport(const FileResult& r, bool dryRun) {
  if (r.outcome.failures.isEmpty()) return {};
  return QStringLiteral("%1: %2: %3 failed: %4\n")
      .arg(ProgramName(), r.path, StepOf(r.outcome.failedStatements.value(0), dryRun), OneLine(r.outcome.failures.first()));
}

// The running program that stops the run before the first file: found, and
// neither --yes nor the user on the terminal said to go on. The command line
// says what runs and that --yes answers the question (the window asks its
// own question).
std::optional<RunningProgram> StoppingProgram(const BatchCommand& command, CommandIO& io) {
  if (command.yes || !io.runningHost) return std::nullopt;
  const std::optional<RunningProgram> running = io.runningHost();
  if (!running) return std::nullopt;
  const QString found = QStringLiteral("%1: %2 is running and may have some of these files open.\n")
                            .arg(ProgramName(), RunningProgramPhrase(*running));
  if (!(io.inIsTerminal && io.errIsTerminal) || !io.readLine) {
    io.err(found + QStringLiteral("%1: no file was processed: close it first, or give --yes to go on anyway.\n")
                       .arg(ProgramName()));
    return running;
  }
  io.err(found + QStringLiteral("Go on anyway (as --yes does)? [y/N] "));
  const QString answer = io.readLine().trimmed().toLower();
  if (answer == QStringLiteral("y") || answer == QStringLiteral("yes")) return std::nullopt;
  return running;
}

// The result line of every file when a running program stopped the run.
QString NotProcessedLines(const QStringList& files, const RunningProgram& running) {
  QString lines;
  for (const QString& path : files)
    lines += QStringLiteral("failed %1: not processed: %2 is running (--yes goes on anyway)\n")
                 .arg(path, RunningProgramPhrase(running));
  return lines;
}

int UsageFailure(CommandIO& io, const UsageError& e) {
  io.err(QStringLiteral("%1: %2 (see --help)\n").arg(ProgramName(), e.Reason()));
  return kExitUsage;
}

}  // namespace

int RunBatchCommand(const QStringList& arguments, CommandIO& io) {
  ParsedCommandLine parsed;
  try {
    parsed = ParseCommandLine(arguments);
  } catch (const UsageError& e) {
    return UsageFailure(io, e);
  }
  if (parsed.request == Request::Help) {
    io.out(HelpText());
    return kExitSuccess;
  }
  if (parsed.request == Request::Version) {
    io.out(VersionText());
    return kExitSuccess;
  }

  BatchCommand& command = parsed.command;
  for (const QString& list : command.filesFrom) {
    // Read in full before any workbook is touched: an unreadable list is a
    // usage error.
    try {
      command.files += ReadPathList(list, command.nullSeparated, io.readInput);
    } catch (const UsageError& e) {
      return UsageFailure(io, e);
    }
  }
  if (const std::optional<RunningProgram> running = StoppingProgram(command, io)) {
    io.out(NotProcessedLines(command.files, *running));
    return kExitFailure;
  }
  ReadOnlyHosts readOnlyHosts(*io.hosts);
  HostFactory& hosts = command.dryRun ? static_cast<HostFactory&>(readOnlyHosts) : *io.hosts;

  const auto outputFailed = [&io] { return io.outputFailed && io.outputFailed(); };
  // The memory budget, shared by the files processed at a time.
  {
    const uint64_t total = command.maxMemory ? command.maxMemory : host::MemoryFree();
    const int share = std::max(1, std::min<int>(command.jobs, static_cast<int>(command.files.size())));
    const std::string source = std::string(command.maxMemory ? "the " + host::SizeText(total) + " of --max-memory"
                                                             : "the " + host::SizeText(total) + " this machine has free") +
                               (share > 1 ? " shared by " + std::to_string(share) + " jobs" : "");
    host::SetMemoryBudget(total / static_cast<uint64_t>(share), source);
  }
  ProgressBar bar(io.err);
  const bool showProgress = io.errIsTerminal && !io.dumbTerminal;
  bool anyFailed = false;
  bool selectionCancelled = false;
  RunInListOrder(
      command.files, command.jobs,
      [&](int index, const QString& path, RunState& state) {
        if (outputFailed()) {
          FileResult untouched;
          untouched.index = index;
          untouched.path = path;
          untouched.notStarted = true;
          return untouched;
        }
        return ProcessOneFile(index, path, state, command, hosts);
      },
      [&](const FileResult& r) {
        if (r.notStarted) return;
        if (showProgress) bar.Clear();
        const QString reports = r.reports + FailureReport(r, command.dryRun);
        if (!reports.isEmpty()) io.err(reports);
        io.out(r.details + ResultLine(r, command.options.operation));
        anyFailed = anyFailed || !r.outcome.Succeeded();
        // As in the window: only the last block question decides.
        if (r.outcome.selection == BlockSelection::Made) selectionCancelled = false;
        if (r.outcome.selection == BlockSelection::Cancelled) selectionCancelled = true;
      },
      [&](int done, int total, const QString& current) {
        if (showProgress) bar.Show(done, total, current);
      });
  if (showProgress) bar.Clear();
  if (outputFailed()) {
    io.err(QStringLiteral("%1: standard output cannot be written, so the run ended; files after the last one "
                          "it reported were not processed\n")
               .arg(ProgramName()));
    return kExitFailure;
  }
  if (!selectionCancelled) io.out(StreamLines(DoneText()));
  return anyFailed ? kExitFailure : kExitSuccess;
}

}  // namespace tabulory::cli
