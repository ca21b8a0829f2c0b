#pragma once
// One host instance. Instances share nothing, so two may work on two files
// at once on two threads.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "host/core/HostWindow.h"
#include "host/core/Range.h"
#include "host/core/Workbooks.h"

namespace host {

class Application {
 public:
  // How the instance opens workbooks. For change: other programs' locks are
  // honoured and a lock file is kept beside each open workbook (see
  // WorkbookLock). For reading only: other programs' locks are honoured,
  // nothing is written and Save is refused.
  enum class Access { ForChange, ReadOnly };

  Application();
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The open workbooks. HostError after Quit.
  host::Workbooks& Workbooks();
  // The application's name, "Tabulory Host".
  std::string Name() const;

  // True while the instance's window shows.
  bool Visible() const;
  // Shows the window (made by the registered factory) or hides it.
  // HostError("this host has no window") when no factory is registered.
  void SetVisible(bool visible);

  // Asks the user, through the window, for a block of cells (type 8).
  // nullopt when cancelled or when the instance has no window.
  std::optional<Range> InputBox(std::string_view prompt, int type);

  // Ends the instance: closes every workbook without saving, closes the
  // window and frees everything. Every later call fails with HostError.
  void Quit();
  // True once Quit has run.
  bool HasQuit() const { return quit_; }
  // How workbooks are opened in this instance (for change unless set);
  // the setting applies to workbooks opened afterwards.
  Access WorkbookAccess() const { return access_; }
  void SetWorkbookAccess(Access access) { access_ = access; }

 private:
  void CheckAlive() const;

  std::unique_ptr<host::Workbooks> workbooks_;
  std::unique_ptr<HostWindow> window_;
  Access access_ = Access::ForChange;
  bool visible_ = false;
  bool quit_ = false;
};

}  // namespace host
