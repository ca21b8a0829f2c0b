#include "app/EmbeddedHostFactory.h"

#include "host/core/Application.h"
#include "host/core/HostWindow.h"
#include "host/ui/QtHostWindow.h"

namespace tabulory {

std::shared_ptr<host::Application> EmbeddedHostFactory::Create() {
  // The program's host instances show the host's own window when made
  // visible, unless another window was registered.
  if (!host::GetHostWindowFactory()) host::ui::InstallHostWindow();
  return std::make_shared<host::Application>();
}

}  // namespace tabulory
