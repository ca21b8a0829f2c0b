#pragma once
// A window pointer for tests: keeps the current value and every value set.

#include "app/shell/MousePointer.h"

#include <vector>

namespace tabulory::testing {

class RecordingPointer : public PointerState {
 public:
  explicit RecordingPointer(MousePointer start = MousePointer::Default) : pointer(start) {}
  MousePointer Pointer() const override { return pointer; }
  void SetPointer(MousePointer p) override {
    pointer = p;
    history.push_back(p);
  }
  MousePointer pointer;
  std::vector<MousePointer> history;
};

}  // namespace tabulory::testing
