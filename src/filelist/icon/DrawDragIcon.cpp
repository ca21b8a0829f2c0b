// Draws the pointer shown while a row of the file list is dragged: a row with
// arrows above and below it, written as an icon file.
//   tabulory_draw_drag_icon <output .ico>

#include <QCoreApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

QImage DrawDragPointer(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 32.0, size / 32.0);
  const QColor ink(32, 64, 128);
  const QColor outline(255, 255, 255);

  // The row being carried.
  const QRectF row(5, 13, 22, 6);
  p.setPen(QPen(outline, 2));
  p.setBrush(QColor(90, 140, 210));
  p.drawRoundedRect(row, 1.5, 1.5);
  p.setPen(QPen(ink, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(row, 1.5, 1.5);

  // Arrows up and down: the row moves through the list.
  auto arrow = [&](bool up) {
    QPainterPath path;
    const double tip = up ? 2 : 30, base = up ? 10 : 22;
    path.moveTo(16, tip);
    path.lineTo(10, base);
    path.lineTo(22, base);
    path.closeSubpath();
    p.setPen(QPen(outline, 1.5));
    p.setBrush(ink);
    p.drawPath(path);
  };
  arrow(true);
  arrow(false);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);  // finds the image format plugins
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output .ico>\n", argv[0]);
    return 2;
  }
  QImageWriter writer(QString::fromLocal8Bit(argv[1]), "ico");
  if (!writer.write(DrawDragPointer(32))) {
    std::fprintf(stderr, "cannot write %s: %s\n", argv[1], qPrintable(writer.errorString()));
    return 1;
  }
  return 0;
}
