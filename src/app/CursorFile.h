#pragma once
// Pointer pictures from cursor files (.cur, and .ico).

#include <QByteArray>
#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QString>
#include <optional>

namespace tabulory {

// The hot spot a cursor file names for its first picture; (0, 0) for an icon
// file or a file too short to say.
QPoint CursorFileHotSpot(const QString& path);

// The bytes of a cursor file holding `picture` (at most 256 x 256, drawn with
// 32 bits a pixel) with the given hot spot.
QByteArray CursorFileBytes(const QImage& picture, QPoint hotSpot);

// The pointer of a cursor file, or nothing when the file is missing,
// unreadable or not a picture Qt can read.
std::optional<QCursor> LoadCursorFile(const QString& path);

}  // namespace tabulory
