#include "filelist/RowDragger.h"

#include "filelist/FileListModel.h"

namespace tabulory {

void RowDragger::RowClicked(int selectedRow) {
  dragItem_ = (selectedRow >= 1 && selectedRow <= model_.Count())
                  ? QPersistentModelIndex(model_.index(selectedRow - 1))
                  : QPersistentModelIndex();
}

int RowDragger::DragItem() const { return dragItem_.isValid() ? dragItem_.row() + 1 : 0; }

RowDragger::MoveResult RowDragger::MouseMoved(int hoverRow, int screenY) {
  MoveResult result;
  if (!mouseIsDown_) return result;
  hoverItem_ = (hoverRow >= 1 && hoverRow <= model_.Count()) ? hoverRow : 0;
  const int drag = DragItem();
  if (hoverItem_ != 0 && drag != 0 && model_.EntryText(hoverItem_) != model_.EntryText(drag)) {
    const QString dragged = model_.EntryText(drag);
    model_.SetEntryText(drag, model_.EntryText(hoverItem_));
    model_.SetEntryText(hoverItem_, dragged);
    result.selectRow = hoverItem_;
    dragItem_ = QPersistentModelIndex(model_.index(hoverItem_ - 1));
    if (screenY < kScrollUpBelowY && hoverItem_ - 1 > 0)
      result.ensureVisibleRow = hoverItem_ - 1;
    else if (screenY >= kScrollDownFromY && model_.Count() >= hoverItem_ + 1)
      result.ensureVisibleRow = hoverItem_ + 1;
  }
  hoverItem_ = 0;
  return result;
}

}  // namespace tabulory
