#include "host/ui/QtHostWindow.h"

#include "host/core/Application.h"
#include "host/core/HostError.h"
#include "host/core/Workbook.h"
#include "host/core/Workbooks.h"
#include "host/ui/CellBlockDialog.h"
#include "host/ui/HostMainWindow.h"
#include "host/ui/WorkbookView.h"

#include <QApplication>

namespace host::ui {

QtHostWindow::QtHostWindow(host::Application& app) : app_(&app) {}

QtHostWindow::~QtHostWindow() { Close(); }

host::Workbook* QtHostWindow::LastWorkbook() const {
  host::Workbooks& books = app_->Workbooks();
  return books.Count() > 0 ? &books(books.Count()) : nullptr;
}

namespace {
// Widgets need the program's QApplication; without one there is no window.
void CheckWindowSystem() {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
    throw host::HostError("The host's window cannot be shown: this program has no window system.");
}
}  // namespace

void QtHostWindow::Show() {
  CheckWindowSystem();
  host::Workbook* workbook = LastWorkbook();
  if (!window_ || workbook != shown_) {
    window_ = std::make_unique<HostMainWindow>(QString::fromStdString(app_->Name()), workbook);
    shown_ = workbook;
  }
  window_->show();
  window_->raise();
  window_->activateWindow();
}

void QtHostWindow::Close() {
  if (dialog_) {
    // The dialog lives on InputBox's stack: give it up, and keep the window
    // from deleting it.
    dialog_->reject();
    dialog_->setParent(nullptr);
  }
  if (window_) window_->hide();
  window_.reset();
  shown_ = nullptr;
}

std::optional<host::Range> QtHostWindow::InputBox(std::string_view prompt, int /*type*/) {
  // Only block answers are asked of this host, whatever the type.
  if (!window_ || !window_->isVisible()) Show();
  // The program may have changed the workbook since the window was shown.
  if (window_->View()) window_->View()->Reload();
  CellBlockDialog dialog(QString::fromUtf8(prompt.data(), static_cast<qsizetype>(prompt.size())),
                         window_->View(), window_.get());
  // Closing the window gives up the question.
  const auto closing = QObject::connect(window_.get(), &HostMainWindow::Closing, &dialog,
                                        &CellBlockDialog::reject);
  window_->ShowQuestion(&dialog);
  dialog_ = &dialog;
  std::optional<host::Range> answer = dialog.Ask();
  dialog_ = nullptr;
  if (window_) window_->EndQuestion(&dialog);
  QObject::disconnect(closing);
  return answer;
}

void InstallHostWindow() {
  host::SetHostWindowFactory(
      [](host::Application& app) -> std::unique_ptr<host::HostWindow> {
        return std::make_unique<QtHostWindow>(app);
      });
}

}  // namespace host::ui
