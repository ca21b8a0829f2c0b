#pragma once
// The window as the batch run's worker thread sees it: messages, options,
// pointer, file list and the host's windows, each reached through
// WindowThreadCalls, so that every read and every box happens on the window's
// thread while the worker waits.

#include "app/WindowThreadCalls.h"
#include "app/shell/Messages.h"
#include "app/shell/MousePointer.h"
#include "batch/BatchRun.h"
#include "host/core/HostWindow.h"
#include "options/OptionsSource.h"

namespace tabulory {

// Message boxes and prompts, one at a time, modal on the window's thread.
class WindowThreadMessages : public Messages {
 public:
  WindowThreadMessages(Messages& inner, WindowThreadCalls& calls) : inner_(inner), calls_(calls) {}
  MessageAnswer Show(const QString& text, const QString& caption, MessageIcon icon,
                     MessageButtons buttons) override;
  QString Prompt(const QString& text, const QString& caption, const QString& proposed) override;

 private:
  Messages& inner_;
  WindowThreadCalls& calls_;
};

// The choices, read from the controls at the moment the run asks.
class WindowThreadOptions : public OptionsSource {
 public:
  WindowThreadOptions(const OptionsSource& inner, WindowThreadCalls& calls)
      : inner_(inner), calls_(calls) {}
  Operation ChosenOperation() const override;
  Scope ChosenScope() const override;
  int SortColumn() const override;
  QString FilterColumn() const override;
  int ChosenCriterion() const override;
  QString FilterValue() const override;

 private:
  const OptionsSource& inner_;
  WindowThreadCalls& calls_;
};

// The window's pointer.
class WindowThreadPointer : public PointerState {
 public:
  WindowThreadPointer(PointerState& inner, WindowThreadCalls& calls) : inner_(inner), calls_(calls) {}
  MousePointer Pointer() const override;
  void SetPointer(MousePointer pointer) override;

 private:
  PointerState& inner_;
  WindowThreadCalls& calls_;
};

// The rows of the file list as they are at the moment of reading.
class WindowThreadFileList : public FileListSource {
 public:
  WindowThreadFileList(const FileListSource& inner, WindowThreadCalls& calls)
      : inner_(inner), calls_(calls) {}
  int Count() const override;
  QString EntryText(int i) const override;

 private:
  const FileListSource& inner_;
  WindowThreadCalls& calls_;
};

// Host windows made by `inner` that live on the window's thread whichever
// thread shows, asks through, closes or ends them. A dialog waits for any open
// box; while the worker has the instance's workbook, its window is frozen
// (shows its last picture and takes no input).
host::HostWindowFactory HostWindowsOnWindowThread(host::HostWindowFactory inner,
                                                  WindowThreadCalls& calls);

}  // namespace tabulory
