#include "batch/RunControl.h"

#include "app/shell/ErrorReport.h"

namespace tabulory {

void RunControl::RequestStop() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  released_.notify_all();
}

bool RunControl::StopRequested() const {
  std::unique_lock lock(mutex_);
  released_.wait(lock, [this] { return !held_ || stop_ || abandoned_; });
  return stop_ || abandoned_;
}

void RunControl::Hold() {
  const std::lock_guard lock(mutex_);
  held_ = true;
}

void RunControl::Release() {
  {
    const std::lock_guard lock(mutex_);
    held_ = false;
  }
  released_.notify_all();
}

void RunControl::Save(const std::function<void()>& save) {
  {
    const std::lock_guard lock(mutex_);
    if (abandoned_) throw ProcedureError(QStringLiteral("The program was closed before the save."));
    saving_ = true;
  }
  // The save itself runs unlocked: asking for a stop never waits for it.
  struct Done {
    RunControl& control;
    ~Done() {
      {
        const std::lock_guard lock(control.mutex_);
        control.saving_ = false;
      }
      control.saveDone_.notify_all();
    }
  } done{*this};
  save();
}

void RunControl::Abandon() {
  std::unique_lock lock(mutex_);
  abandoned_ = true;
  released_.notify_all();
  saveDone_.wait(lock, [this] { return !saving_; });
}

bool RunControl::Abandoned() const {
  const std::lock_guard lock(mutex_);
  return abandoned_;
}

}  // namespace tabulory
