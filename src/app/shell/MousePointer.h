#pragma once
// The window's pointer setting and the values in use.

namespace tabulory {

enum class MousePointer : int {
  Default = 0,    // the arrow
  Hourglass = 11, // busy: a batch run or a folder scan is working
  Custom = 99,    // the hand cursor over push buttons
};

// Where the mouse moved, for the hover rule.
enum class HoverPlace {
  PushButton,  // any of the five push buttons
  Background,  // the window itself, a frame, the sort-column list or an option button
};

// The pointer after the mouse moved over `place`: the hand over push buttons,
// the arrow elsewhere; the hourglass is never changed.
inline MousePointer PointerAfterHover(MousePointer current, HoverPlace place) {
  if (current == MousePointer::Hourglass) return current;
  return place == HoverPlace::PushButton ? MousePointer::Custom : MousePointer::Default;
}

// The window's pointer, as long operations and the list's editing see it.
class PointerState {
 public:
  virtual ~PointerState() = default;
  virtual MousePointer Pointer() const = 0;
  virtual void SetPointer(MousePointer pointer) = 0;
  bool IsBusy() const { return Pointer() == MousePointer::Hourglass; }
};

}  // namespace tabulory
