#pragma once
// The real message boxes and prompt: QMessageBox and QInputDialog.

#include "app/shell/Messages.h"

class QWidget;

namespace tabulory {

class QtMessages : public Messages {
 public:
  // parent: the window the boxes are shown over (may be null).
  explicit QtMessages(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  MessageAnswer Show(const QString& text, const QString& caption, MessageIcon icon,
                     MessageButtons buttons) override;
  QString Prompt(const QString& text, const QString& caption, const QString& proposed) override;

 private:
  QWidget* parent_;
};

}  // namespace tabulory
