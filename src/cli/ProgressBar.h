#pragma once
// A one-line progress bar for a terminal: files done of the total and the file
// being worked on, redrawn in place.

#include <QString>
#include <functional>

namespace tabulory::cli {

class ProgressBar {
 public:
  using Write = std::function<void(const QString& text)>;
  explicit ProgressBar(Write write, int barWidth = 24) : write_(std::move(write)), width_(barWidth) {}

  // The line for `done` of `total` with `current` named (its file name only).
  QString Line(int done, int total, const QString& current) const;
  // Draws the line over the previous one.
  void Show(int done, int total, const QString& current);
  // Removes the line, so that other text starts at the left edge.
  void Clear();

 private:
  Write write_;
  int width_;
  bool shown_ = false;
};

}  // namespace tabulory::cli
