#include "batch/RunControl.h"

#include "app/shell/ErrorReport.h"

namespace tabulory {

void RunControl::RequestStop() {
  const std::lock_guard lock(mutex_);
  stop_ = true;
}

bool RunControl::StopRequested() const {
  const std::lock_guard lock(mutex_);
  return stop_ || abandoned_;
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
  saveDone_.wait(lock, [this] { return !saving_; });
}

bool RunControl::Abandoned() const {
  const std::lock_guard lock(mutex_);
  return abandoned_;
}

}  // namespace tabulory
