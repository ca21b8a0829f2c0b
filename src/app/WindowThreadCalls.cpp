#include "app/WindowThreadCalls.h"

#include "app/shell/ErrorReport.h"

#include <QApplication>
#include <QThread>
#include <QTimer>
#include <condition_variable>
#include <exception>
#include <mutex>

namespace tabulory {

namespace {
// How soon a box that must wait for another one looks again.
constexpr int kBoxRetryMs = 25;

ProcedureError WindowClosed() { return ProcedureError(QStringLiteral("The window was closed.")); }
}  // namespace

struct WindowThreadCalls::Shared {
  std::mutex mutex;
  std::condition_variable changed;
  bool abandoned = false;
};

struct WindowThreadCalls::Pending {
  std::function<void()> call;
  bool oneBoxAtATime = false;
  bool started = false;
  bool done = false;
  std::exception_ptr failure;
};

WindowThreadCalls::WindowThreadCalls(QObject* parent)
    : QObject(parent), shared_(std::make_shared<Shared>()) {}

WindowThreadCalls::~WindowThreadCalls() { Abandon(); }

void WindowThreadCalls::Call(const std::function<void()>& call) { Run(call, false); }
void WindowThreadCalls::CallWithBox(const std::function<void()>& call) { Run(call, true); }

void WindowThreadCalls::Run(const std::function<void()>& call, bool oneBoxAtATime) {
  if (QThread::currentThread() == thread()) {
    if (Abandoned()) throw WindowClosed();
    call();
    return;
  }
  auto pending = std::make_shared<Pending>();
  pending->call = call;
  pending->oneBoxAtATime = oneBoxAtATime;
  {
    const std::lock_guard lock(shared_->mutex);
    if (shared_->abandoned) throw WindowClosed();
  }
  QMetaObject::invokeMethod(this, [this, pending] { Attempt(pending); }, Qt::QueuedConnection);

  // A call that has started is always waited for: it may use what this
  // thread's stack holds.
  std::unique_lock lock(shared_->mutex);
  shared_->changed.wait(lock, [&] {
    return pending->done || (shared_->abandoned && !pending->started);
  });
  if (!pending->done) throw WindowClosed();
  if (pending->failure) std::rethrow_exception(pending->failure);
}

void WindowThreadCalls::Attempt(const std::shared_ptr<Pending>& pending) {
  {
    const std::lock_guard lock(shared_->mutex);
    if (shared_->abandoned) return;  // the worker sees it and gives up
    if (pending->oneBoxAtATime && OtherBoxOpen()) {
      QTimer::singleShot(kBoxRetryMs, this, [this, pending] { Attempt(pending); });
      return;
    }
    pending->started = true;
  }
  try {
    pending->call();
  } catch (...) {
    pending->failure = std::current_exception();
  }
  {
    const std::lock_guard lock(shared_->mutex);
    pending->done = true;
  }
  shared_->changed.notify_all();
}

bool WindowThreadCalls::OtherBoxOpen() const {
  QWidget* modal = QApplication::activeModalWidget();
  return modal && !hostWindows_.contains(QPointer<QWidget>(modal));
}

void WindowThreadCalls::AddHostWindow(QWidget* window) {
  hostWindows_.removeAll(QPointer<QWidget>());
  hostWindows_.append(window);
}

void WindowThreadCalls::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void WindowThreadCalls::Abandon() {
  {
    const std::lock_guard lock(shared_->mutex);
    shared_->abandoned = true;
  }
  shared_->changed.notify_all();
}

bool WindowThreadCalls::Abandoned() const {
  const std::lock_guard lock(shared_->mutex);
  return shared_->abandoned;
}

}  // namespace tabulory
