#pragma once
// The block of cells the user highlights with the mouse in the host's window.

#include <QString>
#include <optional>

#include "host/core/Range.h"

namespace host {
class Application;
}

namespace tabulory {

// The prompt of the host's reference dialog.
QString CellBlockPrompt();

// Asks the host (whose window the caller has made visible) for a block of
// cells. Returns the chosen range, or nothing when the user cancelled or
// anything failed; shows no message and lets no failure out.
std::optional<host::Range> SelectCellBlock(host::Application& app);

}  // namespace tabulory
