#include "batch/NewHost.h"

#include "app/shell/RawFileName.h"

#include "batch/HostFactory.h"
#include "host/core/Application.h"
#include "host/core/HostError.h"
#include "host/core/Workbooks.h"

namespace tabulory {

std::shared_ptr<host::Application> OpenWorkbookInNewHost(const QString& path,
                                                         HostFactory& factory) {
  std::shared_ptr<host::Application> app = factory.Create();
  if (!app) throw host::HostError("The spreadsheet host could not be started.");
  // A failing Open releases the instance on the way out, without Quit.
  app->Workbooks().Open(FileNameBytes(path).toStdString());
  return app;
}

}  // namespace tabulory
