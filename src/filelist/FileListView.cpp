#include "filelist/FileListView.h"

#include "app/shell/ErrorReport.h"
#include "app/shell/Messages.h"
#include "app/shell/MousePointer.h"
#include "app/shell/ProgramFolder.h"
#include "filelist/DragDrop.h"
#include "filelist/FileListModel.h"
#include "filelist/ListEditing.h"

#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFont>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>

namespace tabulory {

QString FileListView::ToolTipText() {
  return QStringLiteral(
      "Drag and drop files here. Double-click item to remove it. Move | line to right and out of "
      "window to reveal full names.");
}

FileListView::FileListView(FileListModel& model, PointerState& pointer, Messages& messages,
                           QWidget* parent)
    : QTreeView(parent), model_(model), pointer_(pointer), messages_(messages), dragger_(model) {
  setModel(&model_);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);  // keeps 100,000 rows cheap to lay out
  setSortingEnabled(false);    // the order is the processing order
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setDragEnabled(false);  // rows are never dragged out as data
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDropIndicatorShown(false);
  setMouseTracking(true);
  setToolTip(ToolTipText());
  setFont(QFont(QStringLiteral("Arial"), 9, QFont::Bold));
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(QHeaderView::Interactive);
  header()->resizeSection(0, kColumnWidthPx);
}

int FileListView::SelectedRow() const {
  const QModelIndexList rows = selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
  return rows.isEmpty() ? 0 : rows.front().row() + 1;
}

void FileListView::SelectRow(int row) {
  if (row < 1 || row > model_.rowCount()) return;
  const QModelIndex at = model_.index(row - 1);
  selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect |
                                            QItemSelectionModel::Rows);
}

void FileListView::RemoveSelected() { tabulory::RemoveSelected(model_, SelectedRow(), pointer_); }

void FileListView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete) {
    RemoveSelected();
    event->accept();
    return;
  }
  QTreeView::keyPressEvent(event);
}

void FileListView::mouseDoubleClickEvent(QMouseEvent* event) {
  RemoveSelected();
  event->accept();
}

void FileListView::ShowDragPointer() {
  const QPixmap icon(ProgramPath(QStringLiteral("drag.ico")));
  // Without the icon file the arrow stays.
  viewport()->setCursor(icon.isNull() ? QCursor(Qt::ArrowCursor) : QCursor(icon));
}

void FileListView::mousePressEvent(QMouseEvent* event) {
  dragger_.MousePressed();
  QTreeView::mousePressEvent(event);
  if (indexAt(event->position().toPoint()).isValid()) {
    ShowDragPointer();
    dragger_.RowClicked(SelectedRow());
  }
}

void FileListView::mouseMoveEvent(QMouseEvent* event) {
  // As everywhere on the window: the default pointer, unless busy.
  if (!pointer_.IsBusy()) pointer_.SetPointer(MousePointer::Default);
  if (!dragger_.MouseIsDown()) {
    QTreeView::mouseMoveEvent(event);
    return;
  }
  const QModelIndex hover = indexAt(event->position().toPoint());
  const RowDragger::MoveResult r =
      dragger_.MouseMoved(hover.isValid() ? hover.row() + 1 : 0, QCursor::pos().y());
  if (r.selectRow) SelectRow(r.selectRow);
  if (r.ensureVisibleRow) scrollTo(model_.index(r.ensureVisibleRow - 1));
  event->accept();
}

void FileListView::mouseReleaseEvent(QMouseEvent* event) {
  dragger_.MouseReleased();
  viewport()->setCursor(Qt::ArrowCursor);
  QTreeView::mouseReleaseEvent(event);
}

void FileListView::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData() && ListView1_OLEDragOver(*event->mimeData()))
    event->acceptProposedAction();
  else
    event->ignore();  // the no-drop pointer
}

void FileListView::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData() && ListView1_OLEDragOver(*event->mimeData()))
    event->acceptProposedAction();
  else
    event->ignore();
}

void FileListView::dropEvent(QDropEvent* event) {
  const auto paths = event->mimeData() ? DroppedPaths(*event->mimeData()) : std::nullopt;
  if (!paths) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  try {
    ListView1_OLEDragDrop(model_, *paths, messages_, pump_);
  } catch (...) {
    // The rows added before the failure stay; say what went wrong.
    messages_.Show(CurrentExceptionDescription(), QString(), MessageIcon::Warning);
  }
}

}  // namespace tabulory
