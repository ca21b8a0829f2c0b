#pragma once
// Message boxes and the single-line input prompt, behind one small interface so
// that tests can answer them and read what was shown.

#include <QString>
#include <optional>

namespace tabulory {

enum class MessageIcon { None, Warning, Information, Question, Critical };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

class Messages {
 public:
  virtual ~Messages() = default;

  // Shows a message box and returns the button the user pressed. An empty
  // caption means the short application title.
  virtual MessageAnswer Show(const QString& text, const QString& caption = {},
                             MessageIcon icon = MessageIcon::None,
                             MessageButtons buttons = MessageButtons::Ok) = 0;

  // Shows the single-line input prompt with a proposed answer. Returns the
  // typed text, or an empty text when the user cancels.
  virtual QString Prompt(const QString& text, const QString& caption,
                         const QString& proposed) = 0;

  // The caption used for boxes that name none of their own.
  void SetShortTitle(const QString& title) { shortTitle_ = title; }
  const QString& ShortTitle() const { return shortTitle_; }

 protected:
  QString CaptionOrShortTitle(const QString& caption) const {
    return caption.isEmpty() ? shortTitle_ : caption;
  }

 private:
  QString shortTitle_ = QStringLiteral("Tabulory");
};

}  // namespace tabulory
