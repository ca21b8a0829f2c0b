#include "filelist/LocalFileUrl.h"

#include "app/shell/RawFileName.h"

#include <QDir>
#include <QUtf8StringView>

namespace tabulory {

QString LocalPathOfUrl(const QUrl& url) {
  const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
  // Valid text loses nothing in Qt's conversion, which also knows the forms
  // of a URL with a host.
  if (QUtf8StringView(bytes).isValidUtf8()) return QDir::toNativeSeparators(url.toLocalFile());
  QString path = FileNameFromBytes(bytes);
  if (!url.host().isEmpty()) path.prepend(QStringLiteral("//") + url.host());
  return QDir::toNativeSeparators(path);
}

QStringList LocalPathsOfUrls(const QList<QUrl>& urls) {
  QStringList paths;
  for (const QUrl& url : urls) paths << LocalPathOfUrl(url);
  return paths;
}

}  // namespace tabulory
