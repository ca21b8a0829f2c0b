// Draws the program icon, a small sheet whose rows are sorted and filtered,
// and writes it as PNG files of the usual icon sizes.
//   DrawProgramIcon <output folder>   writes tabulory-<size>.png for each size
#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

void Draw(QPainter& p) {
  // All shapes on a 256 x 256 canvas.
  p.setRenderHint(QPainter::Antialiasing);
  const QColor green(0x1f, 0x7a, 0x4d), light(0xe8, 0xf3, 0xec), line(0xb9, 0xd6, 0xc5);

  // The sheet, with a darker header row.
  QPainterPath sheet;
  sheet.addRoundedRect(QRectF(20, 24, 216, 208), 22, 22);
  p.fillPath(sheet, Qt::white);
  p.save();
  p.setClipPath(sheet);
  p.fillRect(QRectF(20, 24, 216, 46), green);
  p.fillRect(QRectF(20, 70, 216, 162), light);
  p.restore();
  p.setPen(QPen(green, 8));
  p.drawPath(sheet);

  // Rows: bars that grow from top to bottom, as after an ascending sort.
  p.setPen(Qt::NoPen);
  const double widths[] = {44, 76, 108, 140};
  for (int i = 0; i < 4; ++i) {
    const double y = 84 + i * 34;
    p.setBrush(line);
    p.drawRoundedRect(QRectF(40, y, 140, 22), 6, 6);
    p.setBrush(green);
    p.drawRoundedRect(QRectF(40, y, widths[i], 22), 6, 6);
  }

  // The sort arrow at the right edge.
  p.setBrush(QColor(0xf2, 0xa1, 0x2c));
  QPainterPath arrow;
  arrow.moveTo(204, 88);
  arrow.lineTo(222, 88);
  arrow.lineTo(222, 176);
  arrow.lineTo(236, 176);
  arrow.lineTo(213, 214);
  arrow.lineTo(190, 176);
  arrow.lineTo(204, 176);
  arrow.closeSubpath();
  p.drawPath(arrow);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: DrawProgramIcon <output folder>\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(folder);
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.scale(size / 256.0, size / 256.0);
    Draw(painter);
    painter.end();
    const QString file = folder + QStringLiteral("/tabulory-%1.png").arg(size);
    if (!image.save(file, "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
