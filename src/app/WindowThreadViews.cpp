#include "app/WindowThreadViews.h"

#include "host/core/Range.h"

#include <QApplication>
#include <QPointer>
#include <QSet>
#include <QThread>
#include <QWidget>

namespace tabulory {

MessageAnswer WindowThreadMessages::Show(const QString& text, const QString& caption,
                                         MessageIcon icon, MessageButtons buttons) {
  MessageAnswer answer = MessageAnswer::Ok;
  calls_.CallWithBox([&] { answer = inner_.Show(text, caption, icon, buttons); });
  return answer;
}

QString WindowThreadMessages::Prompt(const QString& text, const QString& caption,
                                     const QString& proposed) {
  QString answer;
  calls_.CallWithBox([&] { answer = inner_.Prompt(text, caption, proposed); });
  return answer;
}

Operation WindowThreadOptions::ChosenOperation() const {
  return calls_.Value<Operation>([&] { return inner_.ChosenOperation(); });
}
Scope WindowThreadOptions::ChosenScope() const {
  return calls_.Value<Scope>([&] { return inner_.ChosenScope(); });
}
int WindowThreadOptions::SortColumn() const {
  return calls_.Value<int>([&] { return inner_.SortColumn(); });
}
QString WindowThreadOptions::FilterColumn() const {
  return calls_.Value<QString>([&] { return inner_.FilterColumn(); });
}
int WindowThreadOptions::ChosenCriterion() const {
  return calls_.Value<int>([&] { return inner_.ChosenCriterion(); });
}
QString WindowThreadOptions::FilterValue() const {
  return calls_.Value<QString>([&] { return inner_.FilterValue(); });
}

MousePointer WindowThreadPointer::Pointer() const {
  return calls_.Value<MousePointer>([&] { return inner_.Pointer(); });
}
void WindowThreadPointer::SetPointer(MousePointer pointer) {
  calls_.Call([&] { inner_.SetPointer(pointer); });
}

int WindowThreadFileList::Count() const {
  return calls_.Value<int>([&] { return inner_.Count(); });
}
QString WindowThreadFileList::EntryText(int i) const {
  return calls_.Value<QString>([&] { return inner_.EntryText(i); });
}

namespace {

QSet<QWidget*> TopLevelWidgets() {
  const QWidgetList list = QApplication::topLevelWidgets();
  return QSet<QWidget*>(list.begin(), list.end());
}

class WindowThreadHostWindow : public host::HostWindow {
 public:
  WindowThreadHostWindow(const host::HostWindowFactory& factory, host::Application& app,
                         WindowThreadCalls& calls)
      : calls_(calls) {
    calls_.Call([&] {
      const QSet<QWidget*> before = TopLevelWidgets();
      inner_ = factory(app);
      TakeNewWindows(before);
    });
  }

  ~WindowThreadHostWindow() override {
    // The window is deleted on its own thread; after the program was closed
    // it is left to the end of the program.
    if (!inner_) return;
    if (QThread::currentThread() == calls_.thread()) {
      inner_.reset();
    } else if (!calls_.Abandoned()) {
      calls_.Post([inner = std::shared_ptr<host::HostWindow>(std::move(inner_))]() mutable {
        inner.reset();
      });
    } else {
      (void)inner_.release();
    }
  }

  bool Made() const { return inner_ != nullptr; }

  void Show() override {
    calls_.CallWithBox([&] {
      const QSet<QWidget*> before = TopLevelWidgets();
      inner_->Show();
      TakeNewWindows(before);
      Freeze(true);
    });
  }

  void Close() override {
    calls_.Call([&] { inner_->Close(); });
  }

  std::optional<host::Range> InputBox(std::string_view prompt, int type) override {
    std::optional<host::Range> block;
    calls_.CallWithBox([&] {
      Freeze(false);
      block = inner_->InputBox(prompt, type);
      Freeze(true);
    });
    return block;
  }

 private:
  // The top-level windows that appeared are this instance's.
  void TakeNewWindows(const QSet<QWidget*>& before) {
    for (QWidget* w : TopLevelWidgets())
      if (!before.contains(w)) {
        windows_.append(QPointer<QWidget>(w));
        calls_.AddHostWindow(w);
      }
  }

  // While the worker sorts or hides rows of the workbook, its window must not
  // read them: no painting, no input.
  void Freeze(bool frozen) {
    for (const QPointer<QWidget>& w : windows_) {
      if (!w) continue;
      w->setUpdatesEnabled(!frozen);
      w->setEnabled(!frozen);
    }
  }

  WindowThreadCalls& calls_;
  std::unique_ptr<host::HostWindow> inner_;
  QList<QPointer<QWidget>> windows_;
};

}  // namespace

host::HostWindowFactory HostWindowsOnWindowThread(host::HostWindowFactory inner,
                                                  WindowThreadCalls& calls) {
  if (!inner) return {};
  return [inner = std::move(inner), &calls](host::Application& app) -> std::unique_ptr<host::HostWindow> {
    auto window = std::make_unique<WindowThreadHostWindow>(inner, app, calls);
    if (!window->Made()) return nullptr;
    return window;
  };
}

}  // namespace tabulory
