#include "cli/OrderedRun.h"

#include "app/shell/ErrorReport.h"
#include "app/shell/RawFileName.h"

#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tabulory::cli {

QString SameFileKey(const QString& path) {
  // Resolved on the name's own bytes, so names that are not UTF-8 stay apart.
  char resolved[PATH_MAX];
  if (::realpath(FileNameBytes(path).constData(), resolved)) return FileNameFromBytes(resolved);
  return QFileInfo(path).absoluteFilePath();
}

namespace {

class Scheduler {
 public:
  Scheduler(const QStringList& files, const ProcessOne& process)
      : files_(files), process_(process), results_(files.size()), finished_(files.size(), false),
        earlierSame_(files.size(), -1) {
    QHash<QString, int> lastIndex;
    for (int i = 0; i < files.size(); ++i) {
      const QString key = SameFileKey(files[i]);
      earlierSame_[i] = lastIndex.value(key, -1);
      lastIndex[key] = i;
    }
  }

  // One worker thread: takes the next entry in list order until none is left.
  void Work() {
    RunState state;
    std::unique_lock lock(mutex_);
    while (next_ < files_.size()) {
      const int i = next_++;
      // The earliest unfinished entry never waits, so this always ends.
      changed_.wait(lock, [&] { return earlierSame_[i] < 0 || finished_[earlierSame_[i]]; });
      current_ = files_[i];
      ++generation_;
      changed_.notify_all();
      lock.unlock();
      FileResult result = ProcessSafely(i, state);
      lock.lock();
      results_[i] = std::move(result);
      finished_[i] = true;
      ++done_;
      ++generation_;
      changed_.notify_all();
    }
  }

  // On the calling thread: delivers results in order and reports progress.
  void Collect(const Deliver& deliver, const ProgressTick& progress) {
    const int total = static_cast<int>(files_.size());
    int delivered = 0;
    long seen = -1;
    std::unique_lock lock(mutex_);
    while (delivered < total) {
      changed_.wait(lock, [&] { return generation_ != seen || results_[delivered].has_value(); });
      seen = generation_;
      const int done = done_;
      const QString current = current_;
      std::vector<FileResult> ready;
      while (delivered < total && results_[delivered]) ready.push_back(std::move(*results_[delivered++]));
      lock.unlock();
      for (const FileResult& r : ready) deliver(r);
      if (progress) progress(done, total, current);
      lock.lock();
    }
  }

 private:
  FileResult ProcessSafely(int i, RunState& state) {
    try {
      return process_(i + 1, files_[i], state);
    } catch (...) {
      FileResult failed;
      failed.index = i + 1;
      failed.path = files_[i];
      failed.outcome.failures << CurrentExceptionDescription();
      return failed;
    }
  }

  const QStringList& files_;
  const ProcessOne& process_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::optional<FileResult>> results_;
  std::vector<bool> finished_;
  std::vector<int> earlierSame_;
  qsizetype next_ = 0;
  int done_ = 0;
  long generation_ = 0;
  QString current_;
};

}  // namespace

void RunInListOrder(const QStringList& files, int jobs, const ProcessOne& process,
                    const Deliver& deliver, const ProgressTick& progress) {
  if (files.isEmpty()) return;
  Scheduler scheduler(files, process);
  const int threads = std::clamp(jobs, 1, static_cast<int>(files.size()));
  std::vector<std::thread> workers;
  workers.reserve(threads);
  for (int t = 0; t < threads; ++t) workers.emplace_back([&scheduler] { scheduler.Work(); });
  scheduler.Collect(deliver, progress);
  for (std::thread& w : workers) w.join();
}

}  // namespace tabulory::cli
