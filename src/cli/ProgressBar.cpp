#include "cli/ProgressBar.h"

#include <QFileInfo>

namespace tabulory::cli {

namespace {
constexpr int kNameWidth = 40;
const QString kEraseLine = QStringLiteral("\r\x1b[K");
}  // namespace

QString ProgressBar::Line(int done, int total, const QString& current) const {
  const int filled = total > 0 ? static_cast<int>(static_cast<long long>(width_) * done / total) : 0;
  QString name = QFileInfo(current).fileName();
  if (name.size() > kNameWidth) name = name.left(kNameWidth - 3) + QStringLiteral("...");
  return QStringLiteral("[%1%2] %3/%4 %5")
      .arg(QString(filled, QLatin1Char('#')), QString(width_ - filled, QLatin1Char('.')))
      .arg(done)
      .arg(total)
      .arg(name);
}

void ProgressBar::Show(int done, int total, const QString& current) {
  write_(kEraseLine + Line(done, total, current));
  shown_ = true;
}

void ProgressBar::Clear() {
  if (!shown_) return;
  write_(kEraseLine);
  shown_ = false;
}

}  // namespace tabulory::cli
