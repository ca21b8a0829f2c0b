#include "cli/BatchCommand.h"

#include "app/shell/ErrorReport.h"
#include "app/shell/MousePointer.h"
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
#include "host/Application.h"
#include "host/Workbook.h"
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

// Statement 168 as the command line asks for it: in a dry run, the report of
// what would change instead of the save; with --backup, the backup first.
SaveStep SaveFor(const BatchCommand& command, FileResult& result) {
  if (command.dryRun)
    return [&command, &result](host::Workbook& workbook) {
      result.details += DryRunLines(result.path, workbook, command.options.operation);
    };
  if (command.backupSuffix)
    return [suffix = *command.backupSuffix](host::Workbook& workbook) {
      KeepBackup(QString::fromStdString(workbook.FullName()), suffix);
      workbook.Save();
    };
  return {};
}

// The window's statements 112 to 170 for one file, with the choices of the
// command line and the messages kept for writing out in list order.
FileResult ProcessOneFile(int index, const QString& path, RunState& state,
                          const BatchCommand& command, HostFactory& hosts) {
  FileResult result;
  result.index = index;
  result.path = path;
  StreamMessages messages([&result](const QString& text) { result.reports += text; });
  const FixedOptions options(command.options);
  NoPointer pointer;
  ReferenceBlockChooser blocks(command.block);
  GuardedProcedure procedure(messages, BatchRunLocation());
  result.outcome = ProcessFile(procedure, path, state,
                               BatchContext{options, messages, pointer, hosts, blocks, nullptr, SaveFor(command, result)});
  result.refusal = blocks.Refusal();
  return result;
}

QString OneLine(QString text) {
  text.replace(QLatin1Char('\r'), QLatin1Char(' '));
  text.replace(QLatin1Char('\n'), QLatin1Char(' '));
  return text.trimmed();
}

// "ok PATH" or "failed PATH: reason".
QString ResultLine(const FileResult& r) {
  if (r.outcome.Succeeded()) return QStringLiteral("ok %1\n").arg(r.path);
  QString reason;
  if (!r.outcome.failures.isEmpty()) reason = r.outcome.failures.first();
  else if (!r.refusal.isEmpty()) reason = r.refusal;
  else reason = NoBlockSelectedText();
  return QStringLiteral("failed %1: %2\n").arg(r.path, OneLine(reason));
}

// False when the run must stop before the first file.
bool MayGoOn(const BatchCommand& command, CommandIO& io) {
  if (command.yes || !io.hostRunning || !io.hostRunning()) return true;
  const QString question = StreamLines(HostRunningQuestion());
  if (!(io.inIsTerminal && io.errIsTerminal) || !io.readLine) {
    io.err(question);
    return false;
  }
  io.err(question + QStringLiteral("[y/N] "));
  const QString answer = io.readLine().trimmed().toLower();
  return answer == QStringLiteral("y") || answer == QStringLiteral("yes");
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
  if (command.filesFrom) {
    // Read in full before any workbook is touched: an unreadable list is a
    // usage error.
    try {
      command.files += ReadPathList(*command.filesFrom, command.nullSeparated, io.readInput);
    } catch (const UsageError& e) {
      return UsageFailure(io, e);
    }
  }
  if (!MayGoOn(command, io)) return kExitFailure;
  ReadOnlyHosts readOnlyHosts(*io.hosts);
  HostFactory& hosts = command.dryRun ? static_cast<HostFactory&>(readOnlyHosts) : *io.hosts;

  ProgressBar bar(io.err);
  const bool showProgress = io.errIsTerminal;
  bool anyFailed = false;
  bool selectionCancelled = false;
  RunInListOrder(
      command.files, command.jobs,
      [&](int index, const QString& path, RunState& state) {
        return ProcessOneFile(index, path, state, command, hosts);
      },
      [&](const FileResult& r) {
        if (showProgress) bar.Clear();
        if (!r.reports.isEmpty()) io.err(r.reports);
        io.out(r.details + ResultLine(r));
        anyFailed = anyFailed || !r.outcome.Succeeded();
        // As in the window: only the last block question decides.
        if (r.outcome.selection == BlockSelection::Made) selectionCancelled = false;
        if (r.outcome.selection == BlockSelection::Cancelled) selectionCancelled = true;
      },
      [&](int done, int total, const QString& current) {
        if (showProgress) bar.Show(done, total, current);
      });
  if (showProgress) bar.Clear();
  if (!selectionCancelled) io.out(StreamLines(DoneText()));
  return anyFailed ? kExitFailure : kExitSuccess;
}

}  // namespace tabulory::cli
