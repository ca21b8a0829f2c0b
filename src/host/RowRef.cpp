#include "host/RowRef.h"

#include "host/SheetData.h"
#include "host/Worksheet.h"

namespace host {

bool RowRef::Hidden() const { return sheet_->Data().RowHidden(row_); }

void RowRef::SetHidden(bool hidden) { sheet_->Data().SetRowHidden(row_, hidden); }

}  // namespace host
