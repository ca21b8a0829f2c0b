#include "filelist/CleanPath.h"

namespace tabulory {

namespace {

// Replaces each non-overlapping pair of `sep` by a single one, left to right.
QString CollapsePairs(QStringView text, QChar sep) {
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    out.append(text[i]);
    if (text[i] == sep && i + 1 < text.size() && text[i + 1] == sep) ++i;  // drop the partner
  }
  return out;
}

}  // namespace

QString CleanPathPosix(const QString& path) {
  if (!path.contains(QStringLiteral("//"))) return path;  // the common case: nothing to do
  return CollapsePairs(path, u'/');
}

QString CleanPathWindows(const QString& path) {
  const QChar bs = u'\\';
  if (path.isEmpty() || path[0] != bs) return CollapsePairs(path, bs);
  // Skip the run of leading backslashes (position 2 on, 1-based), keep two.
  qsizetype k = 1;
  while (k < path.size() && path[k] == bs) ++k;
  return QStringLiteral("\\\\") + CollapsePairs(QStringView(path).mid(k), bs);
}

QString CleanPath(const QString& path) {
#ifdef Q_OS_WIN
  return CleanPathWindows(path);
#else
  return CleanPathPosix(path);
#endif
}

}  // namespace tabulory
