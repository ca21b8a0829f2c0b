#pragma once
// ListView1: the file list on the main window. One column "Excel File(s)";
// Delete or a double-click removes the selected row; dragging a row moves its
// text through the list; files and folders dropped from a file manager are
// added.

#include "filelist/FolderWalk.h"
#include "filelist/RowDragger.h"

#include <QTreeView>

namespace tabulory {

class FileListModel;
class Messages;
class PointerState;

class FileListView : public QTreeView {
  Q_OBJECT
 public:
  // The view shows `model`; removal asks `pointer` whether the window is busy,
  // drops report through `messages`. All three must outlive the view.
  FileListView(FileListModel& model, PointerState& pointer, Messages& messages,
               QWidget* parent = nullptr);

  FileListModel& Model() { return model_; }
  RowDragger& Dragger() { return dragger_; }
  // The selected row (1-based), 0 when none.
  int SelectedRow() const;
  // Selects a row (1-based).
  void SelectRow(int row);
  // Replaces how pending events are processed while a dropped folder is walked.
  void SetEventPump(EventPump pump) { pump_ = std::move(pump); }

  // Removes the selected row unless the window is busy.
  void RemoveSelected();

  static QString ToolTipText();
  static constexpr int kColumnWidthPx = 467;  // 7000 twips

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void ShowDragPointer();

  FileListModel& model_;
  PointerState& pointer_;
  Messages& messages_;
  RowDragger dragger_;
  EventPump pump_ = ProcessPendingEvents;
};

}  // namespace tabulory
