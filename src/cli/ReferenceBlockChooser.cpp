#include "cli/ReferenceBlockChooser.h"

#include "app/shell/ErrorReport.h"
#include "host/core/Application.h"
#include "host/core/Workbook.h"
#include "host/core/Workbooks.h"

namespace tabulory::cli {

void ReferenceBlockChooser::ShowHost(host::Application& app) { app.Workbooks(); }

std::optional<host::Range> ReferenceBlockChooser::SelectBlock(host::Application* app) {
  refusal_.clear();
  try {
    if (!app) throw ProcedureError(QStringLiteral("no workbook is open"));
    host::Workbooks& books = app->Workbooks();
    host::Workbook& workbook = books(books.Count());
    return workbook.ResolveRange(reference_.toStdString(), workbook.ActiveSheet());
  } catch (...) {
    refusal_ = QStringLiteral("block %1 not found: %2").arg(reference_, CurrentExceptionDescription());
    return std::nullopt;
  }
}

}  // namespace tabulory::cli
