#pragma once
// Drives the host's reference dialog without a person: once the dialog shows
// (inside InputBox's wait), runs an action on it, such as highlighting a block
// in the grid and pressing OK. A dialog that is still open after a few seconds
// is cancelled, so a broken test fails instead of hanging.

#include "host/ui/CellBlockDialog.h"
#include "host/ui/HostMainWindow.h"
#include "host/ui/SheetModel.h"
#include "host/ui/WorkbookView.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <functional>

namespace tabulory::testing {

// The reference dialog that shows now (in its host window), or nullptr.
inline host::ui::CellBlockDialog* ShownCellBlockDialog() {
  for (QWidget* w : QApplication::allWidgets())
    if (auto* d = qobject_cast<host::ui::CellBlockDialog*>(w); d && d->isVisible()) return d;
  return nullptr;
}

// The host window that shows now, or nullptr.
inline host::ui::HostMainWindow* ShownHostWindow() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* h = qobject_cast<host::ui::HostMainWindow*>(w); h && h->isVisible()) return h;
  return nullptr;
}

class DialogDriver {
 public:
  using Action = std::function<void(host::ui::CellBlockDialog&, host::ui::WorkbookView*)>;

  explicit DialogDriver(Action action) : action_(std::move(action)) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start();
  }

  bool Ran() const { return ran_; }
  bool TimedOut() const { return timedOut_; }

 private:
  void Tick() {
    if (auto* dialog = ShownCellBlockDialog()) {
      timer_.stop();
      ran_ = true;
      auto* window = qobject_cast<host::ui::HostMainWindow*>(dialog->window());
      action_(*dialog, window ? window->View() : nullptr);
      return;
    }
    if (++ticks_ > 1000) {
      timer_.stop();
      timedOut_ = true;
    }
  }

  Action action_;
  QTimer timer_;
  bool ran_ = false;
  bool timedOut_ = false;
  int ticks_ = 0;
};

// Highlights the block (sheet rows and columns, 1-based, inclusive) in a tab's
// grid, as a mouse drag from its first to its last shown cell does.
inline void HighlightBlock(host::ui::WorkbookView& view, int tab, int firstRow, int firstColumn,
                           int lastRow, int lastColumn) {
  view.Tabs()->setCurrentIndex(tab);
  QTableView* grid = view.Grid(tab);
  const auto* model = static_cast<const host::ui::SheetModel*>(grid->model());
  grid->selectionModel()->select(
      QItemSelection(model->index(model->GridRow(firstRow), firstColumn - 1),
                     model->index(model->GridRow(lastRow), lastColumn - 1)),
      QItemSelectionModel::ClearAndSelect);
}

inline void PressOk(host::ui::CellBlockDialog& dialog) {
  dialog.Buttons()->button(QDialogButtonBox::Ok)->click();
}

inline void PressCancel(host::ui::CellBlockDialog& dialog) {
  dialog.Buttons()->button(QDialogButtonBox::Cancel)->click();
}

}  // namespace tabulory::testing
