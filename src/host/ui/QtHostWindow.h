#pragma once
// The host's window for the engine: a top-level Qt window per instance, shown
// when the instance is made visible, and the reference dialog of InputBox.

#include <memory>
#include <optional>
#include <string_view>

#include "host/core/HostWindow.h"
#include "host/core/Range.h"

namespace host {
class Application;
class Workbook;
}  // namespace host

namespace host::ui {

class CellBlockDialog;
class HostMainWindow;

class QtHostWindow : public host::HostWindow {
 public:
  explicit QtHostWindow(host::Application& app);
  ~QtHostWindow() override;

  // Shows the window over the workbook opened last (built anew when another
  // workbook was opened since).
  void Show() override;
  // Closes the window and any dialog over it.
  void Close() override;
  // Shows the prompt over the window with a reference field, OK and Cancel,
  // and waits for the user. The range named when confirmed; nullopt when
  // cancelled or closed.
  std::optional<host::Range> InputBox(std::string_view prompt, int type) override;

  // The window while it exists (for the program's own checks and tests).
  HostMainWindow* Window() const { return window_.get(); }
  // The open reference dialog, or nullptr.
  CellBlockDialog* Dialog() const { return dialog_; }

 private:
  host::Workbook* LastWorkbook() const;

  host::Application* app_;
  std::unique_ptr<HostMainWindow> window_;
  host::Workbook* shown_ = nullptr;
  CellBlockDialog* dialog_ = nullptr;
};

// Makes every host instance of this program show a QtHostWindow when made
// visible. Needs a QApplication while windows are shown.
void InstallHostWindow();

}  // namespace host::ui
