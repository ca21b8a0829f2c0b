#pragma once
// Reordering the file list by dragging a row: the dragged text travels one
// row at a time, swapping places with each row the pointer passes over.
// The view feeds mouse events in; the dragger changes the model and says
// which row to select and which row to scroll into view.

#include <QPersistentModelIndex>

namespace tabulory {

class FileListModel;

// Screen heights (pixels) above and below which a drag scrolls the list.
inline constexpr int kScrollUpBelowY = 305;
inline constexpr int kScrollDownFromY = 365;

class RowDragger {
 public:
  explicit RowDragger(FileListModel& model) : model_(model) {}

  // What the view should do after a mouse move (rows 1-based, 0 = nothing).
  struct MoveResult {
    int selectRow = 0;
    int ensureVisibleRow = 0;
  };

  // Any mouse button pressed over the list.
  void MousePressed() { mouseIsDown_ = true; }
  // A row was clicked; `selectedRow` is the list's selected row (1-based).
  void RowClicked(int selectedRow);
  // The mouse moved; `hoverRow` is the row under the pointer (0 = none) and
  // `screenY` the pointer's vertical screen position.
  MoveResult MouseMoved(int hoverRow, int screenY);
  // Any mouse button released. DragItem stays.
  void MouseReleased() { mouseIsDown_ = false; }

  bool MouseIsDown() const { return mouseIsDown_; }
  // The dragged row (1-based), 0 when none or when its row has gone.
  int DragItem() const;
  // The hovered row during a move; 0 outside a move.
  int HoverItem() const { return hoverItem_; }

 private:
  FileListModel& model_;
  bool mouseIsDown_ = false;
  QPersistentModelIndex dragItem_;
  int hoverItem_ = 0;
};

}  // namespace tabulory
