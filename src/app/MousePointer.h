#pragma once
// The window's pointer setting and the values in use.

namespace tabulory {

enum class MousePointer : int {
  Default = 0,    // the arrow
  Hourglass = 11, // busy: a batch run or a folder scan is working
  Custom = 99,    // the hand cursor over push buttons
};

// The window's pointer, as long operations and the list's editing see it.
class PointerState {
 public:
  virtual ~PointerState() = default;
  virtual MousePointer Pointer() const = 0;
  virtual void SetPointer(MousePointer pointer) = 0;
  bool IsBusy() const { return Pointer() == MousePointer::Hourglass; }
};

}  // namespace tabulory
