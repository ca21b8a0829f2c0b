#include "app/BackgroundBatchRun.h"

#include "app/WindowThreadViews.h"
#include "host/core/HostWindow.h"

#include <QThread>

namespace tabulory {

BackgroundBatchRun::BackgroundBatchRun(Window window, QObject* parent)
    : QObject(parent), window_(std::move(window)) {}

BackgroundBatchRun::~BackgroundBatchRun() {
  if (!worker_) return;
  if (running_) Abandon();
  worker_->wait();
  delete worker_;
}

void BackgroundBatchRun::Start() {
  if (worker_) return;
  running_ = true;
  // The host's windows of this run live on the window's thread; the factory
  // the program had is put back when the run ends.
  const host::HostWindowFactory before = host::GetHostWindowFactory();
  host::SetHostWindowFactory(HostWindowsOnWindowThread(before, calls_));
  worker_ = QThread::create([this] { Work(); });
  connect(worker_, &QThread::finished, this, [this, before] {
    running_ = false;
    host::SetHostWindowFactory(before);
    emit Finished();
  });
  worker_->start();
}

bool BackgroundBatchRun::Running() const { return running_; }

void BackgroundBatchRun::RequestStop() { control_.RequestStop(); }

void BackgroundBatchRun::Hold() { control_.Hold(); }

void BackgroundBatchRun::Release() { control_.Release(); }

void BackgroundBatchRun::Abandon() {
  control_.Abandon();
  calls_.Abandon();
}

void BackgroundBatchRun::Work() {
  WindowThreadFileList files(window_.files, calls_);
  // The choices are read once, as the run starts: the window stays usable,
  // and what the user changes meanwhile is stored for the next run.
  const FixedOptions options(WindowThreadOptions(window_.options, calls_).Read());
  WindowThreadMessages messages(window_.messages, calls_);
  WindowThreadPointer pointer(window_.pointer, calls_);
  HostWindowBlockChooser blocks;
  BatchContext context{options, messages, pointer, window_.hosts, blocks, &control_};

  // The question about another spreadsheet program probes here and asks
  // through the window's boxes.
  const auto askStop = [this, &messages] {
    return window_.askStopIfHostRunning && window_.askStopIfHostRunning(messages);
  };
  const auto progress = [this](int index, int count, const QString& path) {
    if (window_.progress) calls_.Call([&] { window_.progress(index, count, path); });
  };
  const auto fileDone = [this](int index, const FileOutcome& outcome) {
    if (window_.fileDone) calls_.Call([&] { window_.fileDone(index, outcome); });
  };
  BatchRun(files, context, askStop, progress, fileDone).Run();
}

}  // namespace tabulory
