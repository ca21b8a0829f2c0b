#pragma once
// Calls from the batch run's worker thread onto the window's thread. Each call
// runs there while the worker waits for it, so widgets, message boxes and the
// host's window are only ever touched on the thread that owns them.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

namespace tabulory {

class WindowThreadCalls : public QObject {
 public:
  // Belongs to the thread that makes it: the window's.
  explicit WindowThreadCalls(QObject* parent = nullptr);
  ~WindowThreadCalls() override;

  // Runs `call` on the window's thread and waits for it; its failure is
  // rethrown here. On the window's thread itself it runs at once. Once the
  // calls were abandoned it throws ProcedureError instead.
  void Call(const std::function<void()>& call);
  // The same for a call that shows a modal box: it waits until no other modal
  // box or dialog is open, so that boxes come one at a time. The windows of
  // the run's host instances do not count: boxes show over them.
  void CallWithBox(const std::function<void()>& call);
  // Window's thread: `window` belongs to a host instance of the run.
  void AddHostWindow(QWidget* window);
  // Call for a value.
  template <typename T>
  T Value(const std::function<T()>& call) {
    std::optional<T> result;
    Call([&] { result = call(); });
    return *result;
  }
  // Hands `call` to the window's thread without waiting (for example to delete
  // an object of that thread).
  void Post(std::function<void()> call);

  // Window's thread: calls not started yet are dropped, later ones fail at once.
  void Abandon();
  bool Abandoned() const;

 private:
  struct Shared;
  struct Pending;
  void Run(const std::function<void()>& call, bool oneBoxAtATime);
  void Attempt(const std::shared_ptr<Pending>& pending);
  bool OtherBoxOpen() const;

  std::shared_ptr<Shared> shared_;
  QList<QPointer<QWidget>> hostWindows_;  // window's thread only
};

}  // namespace tabulory
