#pragma once
// Messages for a program without a window: each message box becomes its text
// on a stream (standard error, or a buffer that is written out later).

#include "app/shell/Messages.h"

#include <QString>
#include <functional>

namespace tabulory::cli {

// A message box's text as lines for a stream: every CR LF and every lone CR
// becomes a line feed, and the text ends with one.
QString StreamLines(const QString& text);

class StreamMessages : public Messages {
 public:
  using Sink = std::function<void(const QString& text)>;
  explicit StreamMessages(Sink sink) : sink_(std::move(sink)) {}

  // Writes the text (with StreamLines). Nobody can answer: OK for a plain
  // box, No for a question.
  MessageAnswer Show(const QString& text, const QString& caption, MessageIcon icon,
                     MessageButtons buttons) override;
  // Writes the prompt and answers as a cancelled prompt does (empty text).
  QString Prompt(const QString& text, const QString& caption, const QString& proposed) override;

 private:
  Sink sink_;
};

}  // namespace tabulory::cli
