#include "app/CursorFile.h"

#include <QFile>
#include <QImageReader>
#include <QPixmap>

namespace tabulory {

namespace {
int Word(const QByteArray& bytes, int at) {
  return static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8);
}
}  // namespace

QPoint CursorFileHotSpot(const QString& path) {
  // Header: reserved word, type word (2 = cursor), count; then 16-byte entries
  // whose words at offsets 4 and 6 are the hot spot's x and y.
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray head = file.read(6 + 16);
  if (head.size() < 22 || Word(head, 0) != 0 || Word(head, 2) != 2 || Word(head, 4) < 1) return {};
  return {Word(head, 6 + 4), Word(head, 6 + 6)};
}

std::optional<QCursor> LoadCursorFile(const QString& path) {
  QImageReader reader(path);
  reader.setDecideFormatFromContent(true);
  const QImage image = reader.read();
  if (image.isNull()) return std::nullopt;
  QPoint hot = CursorFileHotSpot(path);
  if (hot.x() >= image.width() || hot.y() >= image.height()) hot = {};
  return QCursor(QPixmap::fromImage(image), hot.x(), hot.y());
}

}  // namespace tabulory
