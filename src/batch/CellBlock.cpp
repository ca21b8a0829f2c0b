#include "batch/CellBlock.h"

#include "host/core/Application.h"

namespace tabulory {

namespace {
constexpr int kCellReferenceAnswer = 8;  // InputBox type: the answer is a range
}

QString CellBlockPrompt() { return QStringLiteral("Highlight a block of cells with mouse"); }

std::optional<host::Range> SelectCellBlock(host::Application& app) {
  try {
    return app.InputBox(CellBlockPrompt().toStdString(), kCellReferenceAnswer);
  } catch (...) {
    // A cancelled or failed selection is simply no block; the caller tells the user.
    return std::nullopt;
  }
}

}  // namespace tabulory
