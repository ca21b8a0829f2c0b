#include "cli/StreamMessages.h"

namespace tabulory::cli {

QString StreamLines(const QString& text) {
  QString lines = text;
  lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  if (!lines.endsWith(QLatin1Char('\n'))) lines += QLatin1Char('\n');
  return lines;
}

MessageAnswer StreamMessages::Show(const QString& text, const QString&, MessageIcon,
                                   MessageButtons buttons) {
  if (sink_) sink_(StreamLines(text));
  return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
}

QString StreamMessages::Prompt(const QString& text, const QString&, const QString&) {
  if (sink_) sink_(StreamLines(text));
  return {};
}

}  // namespace tabulory::cli
