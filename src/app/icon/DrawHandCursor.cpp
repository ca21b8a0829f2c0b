// Draws the hand pointer shown over push buttons and writes it as the cursor
// file HAND-M.CUR.
//   DrawHandCursor <output file>
#include "app/CursorFile.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

QImage DrawHand() {
  // A hand pointing up with the index finger, on a 32 x 32 picture; the tip
  // of the finger is the hot spot.
  QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath hand;
  hand.addRoundedRect(QRectF(10.5, 1.5, 5, 17), 2.5, 2.5);    // index finger
  hand.addRoundedRect(QRectF(15, 9.5, 4.5, 10), 2.2, 2.2);    // middle finger
  hand.addRoundedRect(QRectF(19, 11, 4.5, 9), 2.2, 2.2);      // ring finger
  hand.addRoundedRect(QRectF(23, 12.5, 4, 8.5), 2, 2);        // little finger
  hand.addRoundedRect(QRectF(10.5, 15, 17, 14.5), 5, 5);     // palm
  QPainterPath thumb;
  thumb.moveTo(11.5, 18);
  thumb.lineTo(6.5, 13.5);
  thumb.cubicTo(4.5, 11.5, 2.5, 14, 4, 16);
  thumb.lineTo(11, 25);
  thumb.closeSubpath();
  hand = hand.united(thumb).simplified();
  p.setPen(QPen(Qt::black, 1.2));
  p.setBrush(Qt::white);
  p.drawPath(hand);
  p.setPen(QPen(QColor(0x60, 0x60, 0x60), 0.8));
  for (double x : {15.0, 19.0, 23.0}) p.drawLine(QPointF(x, 20.5), QPointF(x, 17.5));
  p.end();
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: DrawHandCursor <output file>\n");
    return 2;
  }
  QFile out(QString::fromLocal8Bit(argv[1]));
  const QByteArray bytes = tabulory::CursorFileBytes(DrawHand(), QPoint(13, 2));
  if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
