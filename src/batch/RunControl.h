#pragma once
// How the owner of a batch run ends it early at a safe point: a stop takes
// effect between files; an abandoned run starts no further save, and
// abandoning waits for a save under way, so a workbook is either untouched or
// completely saved. Safe to use from any thread.

#include <condition_variable>
#include <functional>
#include <mutex>

namespace tabulory {

class RunControl {
 public:
  // Asks the run to end once the current file is done.
  void RequestStop();
  // True once a stop was asked for or the run was abandoned. Asked between
  // files: while the run is held it waits here for the release (or a stop).
  bool StopRequested() const;
  // Holds the run before its next file, while the owner asks the user
  // whether to stop; Release lets it go on.
  void Hold();
  void Release();

  // Runs `save` unless the run was abandoned; throws ProcedureError instead
  // when it was.
  void Save(const std::function<void()>& save);

  // Ends the run for good: waits for a save under way to finish, and lets no
  // save start afterwards. Implies a stop.
  void Abandon();
  bool Abandoned() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable saveDone_;
  mutable std::condition_variable released_;
  bool held_ = false;
  bool stop_ = false;
  bool abandoned_ = false;
  bool saving_ = false;
};

}  // namespace tabulory
