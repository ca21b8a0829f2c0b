#include "app/shell/QtMessages.h"

#include <QInputDialog>
#include <QMessageBox>

namespace tabulory {

namespace {
QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Critical: return QMessageBox::Critical;
    case MessageIcon::None: break;
  }
  return QMessageBox::NoIcon;
}
}  // namespace

MessageAnswer QtMessages::Show(const QString& text, const QString& caption, MessageIcon icon,
                               MessageButtons buttons) {
  QMessageBox box(ToQtIcon(icon), CaptionOrShortTitle(caption), text,
                  buttons == MessageButtons::YesNo ? (QMessageBox::Yes | QMessageBox::No)
                                                   : QMessageBox::Ok,
                  parent_);
  // Bare carriage returns are line breaks in our texts; Qt wants "\n".
  box.setText(QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n"))
                  .replace(QLatin1Char('\r'), QLatin1Char('\n')));
  const int pressed = box.exec();
  if (buttons == MessageButtons::YesNo) return pressed == QMessageBox::Yes ? MessageAnswer::Yes
                                                                            : MessageAnswer::No;
  return MessageAnswer::Ok;
}

QString QtMessages::Prompt(const QString& text, const QString& caption, const QString& proposed) {
  bool ok = false;
  const QString shown = QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n"))
                            .replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QString answer = QInputDialog::getText(parent_, CaptionOrShortTitle(caption), shown,
                                         QLineEdit::Normal, proposed, &ok);
  return ok ? answer : QString();
}

}  // namespace tabulory
