#include "app/CursorFile.h"

#include <QFile>
#include <QImageReader>
#include <QPixmap>

namespace tabulory {

namespace {
int Word(const QByteArray& bytes, int at) {
  return static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8);
}
void PutWord(QByteArray& out, int value) {
  out.append(char(value & 0xff));
  out.append(char((value >> 8) & 0xff));
}

void PutLong(QByteArray& out, quint32 value) {
  PutWord(out, int(value & 0xffff));
  PutWord(out, int(value >> 16));
}
}  // namespace

QByteArray CursorFileBytes(const QImage& picture, QPoint hotSpot) {
  const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
  const int width = image.width(), height = image.height();
  // The picture as a bitmap: header with double height (colours, then mask),
  // rows from the bottom up, four bytes a pixel, then a 1-bit mask whose rows
  // are padded to 32 bits. The alpha channel decides; the mask stays clear.
  const int maskRow = ((width + 31) / 32) * 4;
  QByteArray bitmap;
  PutLong(bitmap, 40);
  PutLong(bitmap, quint32(width));
  PutLong(bitmap, quint32(height * 2));
  PutWord(bitmap, 1);
  PutWord(bitmap, 32);
  PutLong(bitmap, 0);
  PutLong(bitmap, quint32(width * height * 4 + maskRow * height));
  for (int i = 0; i < 4; ++i) PutLong(bitmap, 0);
  for (int y = height - 1; y >= 0; --y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < width; ++x) {
      bitmap.append(char(qBlue(line[x])));
      bitmap.append(char(qGreen(line[x])));
      bitmap.append(char(qRed(line[x])));
      bitmap.append(char(qAlpha(line[x])));
    }
  }
  bitmap.append(QByteArray(maskRow * height, '\0'));

  QByteArray file;
  PutWord(file, 0);
  PutWord(file, 2);  // a cursor
  PutWord(file, 1);  // one picture
  file.append(char(width >= 256 ? 0 : width));
  file.append(char(height >= 256 ? 0 : height));
  file.append(char(0));
  file.append(char(0));
  PutWord(file, hotSpot.x());
  PutWord(file, hotSpot.y());
  PutLong(file, quint32(bitmap.size()));
  PutLong(file, 6 + 16);
  file.append(bitmap);
  return file;
}

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
