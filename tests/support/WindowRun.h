#pragma once
// Starting a batch run from the window and handling the window's events until
// it has ended, as the event loop does for a user.

#include "app/Form1.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>

namespace tabulory::testing {

// Handles events until the window's run has ended; false after `timeoutMs`.
inline bool WaitForRun(const Form1& form, int timeoutMs = 120000) {
  QElapsedTimer clock;
  clock.start();
  while (form.RunInProgress()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  QCoreApplication::processEvents();
  return true;
}

// Clicks the start button and waits for the run to end.
inline bool RunFromStartButton(Form1& form) {
  form.PushButton2()->click();
  return WaitForRun(form);
}

}  // namespace tabulory::testing
