// Calls from a worker thread onto the window's thread: where they run, how a
// box waits for another one, and what happens once the window is gone.
#include "app/WindowThreadCalls.h"
#include "support/WidgetApp.h"

#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

using namespace tabulory;
using namespace tabulory::testing;

namespace {

// Handles the window's events for `ms` milliseconds, or until `until` holds.
void HandleEvents(int ms, const std::function<bool()>& until = {}) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms && !(until && until()))
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

class WindowThreadCallsTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureApplication(); }
  WindowThreadCalls calls;
};

}  // namespace

TEST_F(WindowThreadCallsTest, ACallRunsOnTheWindowsThreadAndItsFailureComesBack) {
  QThread* ranOn = nullptr;
  std::atomic<bool> done = false;
  std::string failure;
  std::thread worker([&] {
    calls.Call([&] { ranOn = QThread::currentThread(); });
    try {
      calls.Call([] { throw std::runtime_error("no such control"); });
    } catch (const std::runtime_error& e) {
      failure = e.what();
    }
    done = true;
  });
  HandleEvents(10000, [&] { return done.load(); });
  worker.join();
  EXPECT_EQ(ranOn, QThread::currentThread());
  EXPECT_EQ(failure, "no such control");
}

TEST_F(WindowThreadCallsTest, ABoxWaitsWhileAnotherModalDialogIsOpen) {
  QDialog question;
  question.setModal(true);
  question.show();
  std::atomic<bool> shown = false;
  std::thread worker([&] { calls.CallWithBox([&] { shown = true; }); });
  HandleEvents(300);
  EXPECT_FALSE(shown);  // the question is still open
  question.close();
  HandleEvents(10000, [&] { return shown.load(); });
  worker.join();
  EXPECT_TRUE(shown);
}

TEST_F(WindowThreadCallsTest, TheRunsHostWindowDoesNotHoldUpABox) {
  QWidget hostWindow;
  hostWindow.setWindowModality(Qt::ApplicationModal);
  hostWindow.show();
  calls.AddHostWindow(&hostWindow);
  std::atomic<bool> shown = false;
  std::thread worker([&] { calls.CallWithBox([&] { shown = true; }); });
  HandleEvents(10000, [&] { return shown.load(); });
  worker.join();
  EXPECT_TRUE(shown);
}

TEST_F(WindowThreadCallsTest, OnceAbandonedWaitingAndLaterCallsFailWithoutRunning) {
  std::atomic<int> failed = 0;
  bool ran = false;
  std::thread worker([&] {
    for (int i = 0; i < 2; ++i) {
      try {
        calls.Call([&] { ran = true; });
      } catch (const std::runtime_error&) {
        ++failed;
      }
    }
  });
  // The window's thread handles no event: the first call waits until it gives up.
  QThread::msleep(100);
  calls.Abandon();
  worker.join();
  HandleEvents(50);
  EXPECT_EQ(failed.load(), 2);
  EXPECT_FALSE(ran);
}
