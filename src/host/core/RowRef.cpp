#include "host/core/RowRef.h"

#include <string>

#include "host/core/HostError.h"
#include "host/core/SheetStore.h"
#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"

namespace host {

bool RowRef::Hidden() const { return sheet_->Store().RowHidden(row_); }

void RowRef::SetHidden(bool hidden) {
  if (sheet_->Store().RowFormattingProtected())
    throw HostError("Cannot " + std::string(hidden ? "hide" : "show") + " row " + std::to_string(row_) + " of sheet \"" +
                    sheet_->Name() + "\" in \"" + sheet_->Parent().FullName() +
                    "\": the sheet is protected against formatting rows.");
  sheet_->SetRowHidden(row_, hidden);
}

}  // namespace host
