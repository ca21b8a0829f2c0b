#pragma once
// Writes small cursor files (.cur) for tests: one 32 x 32 picture, 32 bits a
// pixel, with a given hot spot.

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QString>

namespace tabulory::testing {

inline void PutWord(QByteArray& out, int value) {
  out.append(char(value & 0xff));
  out.append(char((value >> 8) & 0xff));
}
inline void PutLong(QByteArray& out, quint32 value) {
  PutWord(out, int(value & 0xffff));
  PutWord(out, int(value >> 16));
}

// A cursor file whose picture is a filled square of `colour`.
inline QByteArray CursorFileBytes(int hotX, int hotY, QColor colour = Qt::black) {
  const int size = 32;
  QByteArray picture;
  // Bitmap header: its own size, width, double height (colour and mask),
  // planes, bits a pixel, no compression, image size, resolution, colours.
  PutLong(picture, 40);
  PutLong(picture, size);
  PutLong(picture, size * 2);
  PutWord(picture, 1);
  PutWord(picture, 32);
  PutLong(picture, 0);
  PutLong(picture, size * size * 4);
  PutLong(picture, 0);
  PutLong(picture, 0);
  PutLong(picture, 0);
  PutLong(picture, 0);
  for (int i = 0; i < size * size; ++i) {  // blue, green, red, alpha
    picture.append(char(colour.blue()));
    picture.append(char(colour.green()));
    picture.append(char(colour.red()));
    picture.append(char(0xff));
  }
  picture.append(QByteArray(size * size / 8, '\0'));  // the mask: all shown

  QByteArray file;
  PutWord(file, 0);  // reserved
  PutWord(file, 2);  // a cursor
  PutWord(file, 1);  // one picture
  file.append(char(size));
  file.append(char(size));
  file.append(char(0));
  file.append(char(0));
  PutWord(file, hotX);
  PutWord(file, hotY);
  PutLong(file, quint32(picture.size()));
  PutLong(file, 6 + 16);
  file.append(picture);
  return file;
}

inline bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace tabulory::testing
