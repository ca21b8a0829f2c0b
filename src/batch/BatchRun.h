#pragma once
// The batch run: every workbook of the file list in turn, each in a host
// instance of its own: open, apply the chosen operation in the chosen scope,
// save, quit. Runs as numbered statements; a failing statement is reported
// and the run goes on with the next one. The window's start button and the
// command line share the per-file routine.

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "host/core/Range.h"

namespace host {
class Application;
class Workbook;
}  // namespace host

namespace tabulory {

class GuardedProcedure;
class HostFactory;
class Messages;
class OptionsSource;
class PointerState;
class RunControl;

// The location text of the batch run in error reports.
QString BatchRunLocation();
// The messages of the run.
QString NoFilesText();           // "No files added."
QString NoBlockSelectedText();   // "You did not select a range. Please try again."
QString DoneText();              // "Done."
// "Stopped after i of n files." when a run was stopped after `done` files.
QString StoppedText(int done, int count);
// What a file's result says of the formulas its save left uncalculated:
// " (3 formulas will be recalculated when opened)", " (1 formula will be
// ...)"; empty for none.
QString RecalculationNote(int formulasLeft, bool recalculatedWhenOpened = true);

// The workbooks to process: entry i (1-based) gives a path as its text.
class FileListSource {
 public:
  virtual ~FileListSource() = default;
  virtual int Count() const = 0;
  virtual QString EntryText(int i) const = 0;
};

// A file list held in memory.
class PathList : public FileListSource {
 public:
  explicit PathList(QStringList paths = {}) : paths(std::move(paths)) {}
  int Count() const override { return static_cast<int>(paths.size()); }
  QString EntryText(int i) const override { return paths.at(i - 1); }
  QStringList paths;
};

// Where the block of cells comes from in block scope.
class BlockChooser {
 public:
  virtual ~BlockChooser() = default;
  // Makes the host's window visible before the block is asked for; throws
  // when it cannot.
  virtual void ShowHost(host::Application& app) = 0;
  // The block for the file open in `app` (null when there is no instance), or
  // nothing when none was chosen. Never throws.
  virtual std::optional<host::Range> SelectBlock(host::Application* app) = 0;
};

// The user highlights the block in the host's own window.
class HostWindowBlockChooser : public BlockChooser {
 public:
  void ShowHost(host::Application& app) override;
  std::optional<host::Range> SelectBlock(host::Application* app) override;
};

// What a run keeps from file to file. Nothing is cleared between files: a file
// that cannot be opened leaves the previous file's instance and workbook in
// place, and the steps that use them fail in turn.
struct RunState {
  std::shared_ptr<host::Application> application;
  host::Workbook* workbook = nullptr;
  std::shared_ptr<host::Application> workbookHost;  // the instance holding `workbook`
  std::optional<host::Range> block;
  bool selectionCancelled = false;
};

// How the block question of one file ended.
enum class BlockSelection { NotAsked, Made, Cancelled };

// What happened to one file.
struct FileOutcome {
  QStringList failures;  // descriptions of the failed statements, in order
  QList<int> failedStatements;  // their numbers, in the same order
  BlockSelection selection = BlockSelection::NotAsked;
  int formulasLeft = 0;  // formulas the save left to the recalculation when the file is next opened
  bool recalculatedWhenOpened = true;  // false: the file cannot ask for it, those keep their earlier results
  bool Succeeded() const { return failures.isEmpty() && selection != BlockSelection::Cancelled; }
};

// Statement 168 for one workbook when the caller wants more than the host's
// own save (a backup first) or something else (a dry run).
using SaveStep = std::function<void(host::Workbook& workbook)>;

// The collaborators of a run.
struct BatchContext {
  const OptionsSource& options;  // read again for every file and range
  Messages& messages;
  PointerState& pointer;
  HostFactory& hosts;
  BlockChooser& blocks;
  // Lets the run's owner stop it between files and keep it from saving once
  // the program ends; none for a run that always goes to its end.
  RunControl* control = nullptr;
  SaveStep save = {};  // empty: the workbook's Save
};

// Statements 112 to 170 for the file at `path`: open it in a new instance,
// run the operation chosen now for the scope chosen now, save, quit.
// Failures are reported through `procedure` and recorded in the outcome.
FileOutcome ProcessFile(GuardedProcedure& procedure, const QString& path, RunState& state,
                        const BatchContext& context);

// The whole run as the start button does it, statements 100 to 186.
class BatchRun {
 public:
  // Called before each file: its number (1-based), the file count, its path;
  // and once more with index 0 when the files are done, before the closing
  // message ("Done.", "Stopped after ..."), so the window can rest first.
  using Progress = std::function<void(int index, int count, const QString& path)>;
  // True when the run must stop before the first file (another spreadsheet
  // program runs and the user declined).
  using AskStop = std::function<bool()>;
  // Called after each file with its number and what became of it.
  using FileDone = std::function<void(int index, const FileOutcome& outcome)>;

  BatchRun(const FileListSource& files, BatchContext context, AskStop askStop,
           Progress progress = {}, FileDone fileDone = {});

  void Run();

 private:
  const FileListSource& files_;
  BatchContext context_;
  AskStop askStop_;
  Progress progress_;
  FileDone fileDone_;

  void Tell(int index, int count, const QString& path);
};

}  // namespace tabulory
