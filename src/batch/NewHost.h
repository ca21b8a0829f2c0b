#pragma once
// A fresh host instance for one file of a batch run, with the file open in it.

#include <QString>
#include <memory>

namespace host {
class Application;
}

namespace tabulory {

class HostFactory;

// Creates a new, invisible host instance (a new one on every call) and opens
// the workbook at path in it; the caller takes the workbook as the last one of
// the instance's Workbooks and ends the instance with Quit. When no instance
// can be created or the workbook cannot be opened, throws with the host's
// description; an instance already created is released without Quit.
std::shared_ptr<host::Application> OpenWorkbookInNewHost(const QString& path,
                                                         HostFactory& factory);

}  // namespace tabulory
