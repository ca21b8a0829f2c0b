#include "batch/NewHost.h"

#include "batch/HostFactory.h"
#include "host/Application.h"
#include "host/HostError.h"
#include "host/Workbooks.h"

namespace tabulory {

std::unique_ptr<host::Application> OpenWorkbookInNewHost(const QString& path,
                                                         HostFactory& factory) {
  std::unique_ptr<host::Application> app = factory.CreateApplication();
  if (!app) throw host::HostError("The spreadsheet host could not be started.");
  // A failing Open leaves the unique_ptr to release the instance on the way out.
  app->Workbooks().Open(path.toStdString());
  return app;
}

}  // namespace tabulory
