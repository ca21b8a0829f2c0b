#include "batch/BatchRun.h"

#include "app/shell/ErrorReport.h"
#include "app/shell/Messages.h"
#include "app/shell/MousePointer.h"
#include "batch/CellBlock.h"
#include "batch/FilterOperation.h"
#include "batch/NewHost.h"
#include "batch/RunControl.h"
#include "batch/SortOperation.h"
#include "host/core/Application.h"
#include "host/core/Workbook.h"
#include "host/core/Workbooks.h"
#include "options/OptionsSource.h"

namespace tabulory {

QString BatchRunLocation() {
  return QStringLiteral("in Tabulorix2021/08/31.Form1.PushButton2_Click ");
}
QString NoFilesText() { return QStringLiteral("No files added."); }
QString NoBlockSelectedText() {
  return QStringLiteral("You did not select a range. Please try again.");
}
QString DoneText() { return QStringLiteral("Done."); }
QString RecalculationNote(int formulasLeft, bool recalculatedWhenOpened) {
  if (formulasLeft <= 0) return {};
  if (!recalculatedWhenOpened)
    return formulasLeft == 1 ? QStringLiteral(" (1 formula could not be recalculated and keeps its earlier result)")
                             : QStringLiteral(" (%1 formulas could not be recalculated and keep their earlier results)")
                                   .arg(formulasLeft);
  return formulasLeft == 1 ? QStringLiteral(" (1 formula will be recalculated when opened)")
                           : QStringLiteral(" (%1 formulas will be recalculated when opened)").arg(formulasLeft);
}
QString StoppedText(int done, int count) {
  return QStringLiteral("Stopped after %1 of %2 files.").arg(done).arg(count);
}

void HostWindowBlockChooser::ShowHost(host::Application& app) { app.SetVisible(true); }

std::optional<host::Range> HostWindowBlockChooser::SelectBlock(host::Application* app) {
  if (!app) return std::nullopt;
  return SelectCellBlock(*app);
}

namespace {

// The instance of the current file. A quit instance fails on every call
// itself; a missing one fails here.
host::Application& CurrentHost(const RunState& state) {
  if (!state.application) throw ProcedureError(QStringLiteral("No host instance is running."));
  return *state.application;
}

// The workbook of the current file. The reference is never used once its
// instance has quit: the instance closed it then.
host::Workbook& CurrentWorkbook(const RunState& state) {
  if (!state.workbook) throw ProcedureError(QStringLiteral("No workbook is open."));
  if (state.workbookHost->HasQuit())
    throw ProcedureError(QStringLiteral("The workbook is closed: its host instance has quit."));
  return *state.workbook;
}

// One file's statements, recording every failure's description.
class FileSteps {
 public:
  FileSteps(GuardedProcedure& procedure, FileOutcome& outcome)
      : procedure_(procedure), outcome_(outcome) {}

  void Do(int statement, const std::function<void()>& body) {
    procedure_.Do(statement, [&] { Recorded(statement, body); });
  }
  bool If(int statement, const std::function<bool()>& test) {
    return procedure_.If(statement, [&] {
      bool result = true;
      Recorded(statement, [&] { result = test(); });
      return result;
    });
  }

 private:
  void Recorded(int statement, const std::function<void()>& body) {
    try {
      body();
    } catch (...) {
      outcome_.failures << CurrentExceptionDescription();
      outcome_.failedStatements << statement;
      throw;
    }
  }

  GuardedProcedure& procedure_;
  FileOutcome& outcome_;
};

}  // namespace

FileOutcome ProcessFile(GuardedProcedure& procedure, const QString& path, RunState& state,
                        const BatchContext& c) {
  FileOutcome outcome;
  FileSteps s(procedure, outcome);
  const auto hourglass = [&] { c.pointer.SetPointer(MousePointer::Hourglass); };
  const auto filterChosen = [&] { return c.options.ChosenOperation() == Operation::Filter; };
  const auto sortChosen = [&] { return c.options.ChosenOperation() == Operation::Sort; };
  const auto scopeIs = [&](Scope scope) { return [&c, scope] { return c.options.ChosenScope() == scope; }; };

  s.Do(112, hourglass);
  s.Do(114, [&] { state.application = OpenWorkbookInNewHost(path, c.hosts); });
  s.Do(116, hourglass);
  s.Do(118, [&] {
    host::Workbooks& books = CurrentHost(state).Workbooks();
    state.workbook = &books(books.Count());  // the workbook opened last
    state.workbookHost = state.application;
  });

  if (s.If(120, scopeIs(Scope::EntireWorkbook))) {
    s.Do(122, hourglass);
    if (s.If(124, filterChosen))
      s.Do(126, [&] { FilterWorkbook(CurrentWorkbook(state), c.options, c.messages); });
    else if (s.If(128, sortChosen))
      s.Do(130, [&] { SortWorkbook(CurrentWorkbook(state), c.options); });
  } else if (s.If(132, scopeIs(Scope::ActiveSheet))) {
    s.Do(134, hourglass);
    if (s.If(136, filterChosen))
      s.Do(138, [&] { FilterActiveSheet(CurrentWorkbook(state), c.options, c.messages); });
    else if (s.If(140, sortChosen))
      s.Do(142, [&] { SortActiveSheet(CurrentWorkbook(state), c.options); });
  } else if (s.If(144, scopeIs(Scope::BlockOfCells))) {
    s.Do(146, hourglass);
    s.Do(148, [&] { c.blocks.ShowHost(CurrentHost(state)); });
    s.Do(150, [&] {
      // A block never outlives the file it was chosen in.
      state.block.reset();
      state.block = c.blocks.SelectBlock(state.application.get());
    });
    if (s.If(152, [&] { return state.block.has_value(); })) {
      outcome.selection = BlockSelection::Made;
      s.Do(154, [&] { state.selectionCancelled = false; });
      if (s.If(156, filterChosen))
        s.Do(158, [&] { FilterBlock(CurrentWorkbook(state), *state.block, c.options, c.messages); });
      else if (s.If(160, sortChosen))
        s.Do(162, [&] { SortBlock(CurrentWorkbook(state), *state.block, c.options); });
    } else {
      outcome.selection = BlockSelection::Cancelled;
      s.Do(164, [&] { state.selectionCancelled = true; });
      s.Do(166, [&] { c.messages.Show(NoBlockSelectedText()); });
    }
  }

  s.Do(168, [&] {
    host::Workbook& workbook = CurrentWorkbook(state);
    const auto save = [&] {
      if (c.save) c.save(workbook);
      else workbook.Save();
      outcome.formulasLeft = workbook.FormulasLeftToRecalculate();
      outcome.recalculatedWhenOpened = workbook.RecalculatedWhenOpened();
    };
    if (c.control) c.control->Save(save);
    else save();
  });
  s.Do(170, [&] { CurrentHost(state).Quit(); });
  return outcome;
}

BatchRun::BatchRun(const FileListSource& files, BatchContext context, AskStop askStop,
                   Progress progress, FileDone fileDone)
    : files_(files),
      context_(context),
      askStop_(std::move(askStop)),
      progress_(std::move(progress)),
      fileDone_(std::move(fileDone)) {}

void BatchRun::Tell(int index, int count, const QString& path) {
  if (!progress_) return;
  try {
    progress_(index, count, path);
  } catch (...) {
    // Showing progress is a courtesy; it never stops the run.
  }
}

void BatchRun::Run() {
  GuardedProcedure p(context_.messages, BatchRunLocation());
  PointerState& pointer = context_.pointer;

  if (p.If(100, [&] { return files_.Count() == 0; })) {
    p.Do(186, [&] { context_.messages.Show(NoFilesText()); });
    return;  // the pointer stays as it is
  }
  p.Do(102, [&] { pointer.SetPointer(MousePointer::Hourglass); });
  if (p.If(104, [&] { return askStop_ && askStop_(); })) {
    p.Do(184, [&] { pointer.SetPointer(MousePointer::Default); });
    return;
  }

  RunState state;
  p.Do(106, [&] { state.selectionCancelled = false; });
  const int n = p.Value<int>(108, [&] { return files_.Count(); }, 0);
  QString path;
  const auto stopRequested = [&] { return context_.control && context_.control->StopRequested(); };
  int done = 0;
  for (int i = 1; i <= n && !stopRequested(); ++i) {
    p.Do(110, [&] { path = files_.EntryText(i); });
    Tell(i, n, path);
    const FileOutcome outcome = ProcessFile(p, path, state, context_);
    done = i;
    if (fileDone_) {
      try {
        fileDone_(i, outcome);
      } catch (...) {
        // Like progress, a courtesy that never stops the run.
      }
    }
  }
  Tell(0, n, {});

  if (done < n)  // stopped: the files left were not touched
    p.Do(182, [&] { context_.messages.Show(StoppedText(done, n)); });
  else if (!p.If(176, [&] { return state.selectionCancelled; }))
    p.Do(182, [&] { context_.messages.Show(DoneText()); });
  p.Do(184, [&] { pointer.SetPointer(MousePointer::Default); });
}

}  // namespace tabulory
