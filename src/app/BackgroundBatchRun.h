#pragma once
// A batch run on a worker thread of its own, so that the window stays live:
// the per-file work (open, operation, save, quit) happens there, and every
// read of a control, every pointer change and every box happens on the
// window's thread while the worker waits for it.

#include "app/WindowThreadCalls.h"
#include "batch/BatchRun.h"
#include "batch/RunControl.h"

#include <QObject>
#include <functional>
#include <memory>

class QThread;

namespace tabulory {

class HostFactory;
class Messages;
class OptionsSource;
class PointerState;

class BackgroundBatchRun : public QObject {
  Q_OBJECT

 public:
  // What the run reads and shows; all of it belongs to the window's thread.
  struct Window {
    const FileListSource& files;
    const OptionsSource& options;
    Messages& messages;
    PointerState& pointer;
    HostFactory& hosts;
    // True when the run must stop before the first file.
    std::function<bool(Messages&)> askStopIfHostRunning;
    // Before each file: its number, the file count, its path.
    BatchRun::Progress progress;
    // After each file: its number and what became of it.
    BatchRun::FileDone fileDone;
  };

  explicit BackgroundBatchRun(Window window, QObject* parent = nullptr);
  // Abandons a run still going and waits for its worker.
  ~BackgroundBatchRun() override;

  // Starts the run (once).
  void Start();
  bool Running() const;

  // Ends the run once the current file is saved and its host quit.
  void RequestStop();
  // Holds the run before its next file while the window asks whether to
  // stop; Release lets it go on.
  void Hold();
  void Release();
  // The program ends: no box shows any more, a save under way is finished
  // first and no save starts afterwards.
  void Abandon();

 signals:
  // The run has ended (delivered on the window's thread).
  void Finished();

 private:
  void Work();

  Window window_;
  WindowThreadCalls calls_;
  RunControl control_;
  QThread* worker_ = nullptr;
  bool running_ = false;
};

}  // namespace tabulory
