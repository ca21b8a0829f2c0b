#pragma once
// The hook through which an instance shows a window. The window itself lives
// outside the engine; the engine only knows this interface.

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

namespace host {

class Application;
class Range;

class HostWindow {
 public:
  virtual ~HostWindow() = default;
  // Shows the window over the instance's workbooks.
  virtual void Show() = 0;
  // Closes the window; called once, before the instance ends.
  virtual void Close() = 0;
  // Asks the user for a cell reference (type 8); nullopt when cancelled.
  virtual std::optional<Range> InputBox(std::string_view prompt, int type) = 0;
};

using HostWindowFactory = std::function<std::unique_ptr<HostWindow>(Application&)>;

// Registers the factory that makes each instance's window (process-wide;
// an empty function removes it). Instances made visible later use it.
void SetHostWindowFactory(HostWindowFactory factory);

// The registered factory (empty when none).
HostWindowFactory GetHostWindowFactory();

}  // namespace host
