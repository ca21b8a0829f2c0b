#include "app/StyleSheetSkin.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QWidget>

namespace tabulory {

namespace {
// Qt reports a style sheet it cannot parse only as a warning; while a sheet is
// tried, that warning is caught here and every other message passes on.
bool g_parseFailed = false;
QtMessageHandler g_previousHandler = nullptr;

void CatchParseWarning(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.contains(QLatin1String("Could not parse"))) {
    g_parseFailed = true;
    return;
  }
  if (g_previousHandler) g_previousHandler(type, context, text);
}
}  // namespace

bool IsValidStyleSheet(const QString& sheet) {
  if (sheet.trimmed().isEmpty()) return true;
  g_parseFailed = false;
  g_previousHandler = qInstallMessageHandler(CatchParseWarning);
  {
    QWidget probe;  // never shown; polishing it parses the sheet
    probe.setStyleSheet(sheet);
    probe.ensurePolished();
  }
  qInstallMessageHandler(g_previousHandler);
  g_previousHandler = nullptr;
  return !g_parseFailed;
}

std::optional<QString> ReadSkinFile(const QString& path) {
  if (!QFileInfo(path).isFile()) return std::nullopt;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return std::nullopt;
  QStringDecoder decode(QStringDecoder::Utf8);
  const QString sheet = decode(bytes);
  if (decode.hasError() || sheet.contains(QChar(0))) return std::nullopt;
  if (!IsValidStyleSheet(sheet)) return std::nullopt;
  return sheet;
}

}  // namespace tabulory
