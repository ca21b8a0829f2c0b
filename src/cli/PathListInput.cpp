#include "cli/PathListInput.h"

#include "cli/CommandLine.h"

#include <QFile>
#include <QFileInfo>

namespace tabulory::cli {

QStringList PathsInList(const QByteArray& bytes, bool nullSeparated) {
  QStringList paths;
  const char separator = nullSeparated ? '\0' : '\n';
  for (QByteArray entry : bytes.split(separator)) {
    if (!nullSeparated && entry.endsWith('\r')) entry.chop(1);
    if (!entry.isEmpty()) paths << QFile::decodeName(entry);
  }
  return paths;
}

QStringList ReadPathList(const QString& source, bool nullSeparated,
                         const std::function<QByteArray()>& readStandardInput) {
  if (source == QStringLiteral("-")) {
    if (!readStandardInput) throw UsageError(QStringLiteral("cannot read --files-from -: no standard input"));
    return PathsInList(readStandardInput(), nullSeparated);
  }
  const auto fail = [&](const QString& why) {
    throw UsageError(QStringLiteral("cannot read --files-from '%1': %2").arg(source, why));
  };
  if (QFileInfo(source).isDir()) fail(QStringLiteral("it is a folder"));
  QFile file(source);
  if (!file.open(QIODevice::ReadOnly)) {
    if (!file.exists()) fail(QStringLiteral("no such file"));
    fail(QStringLiteral("permission denied or unreadable"));
  }
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) fail(QStringLiteral("a read error"));
  return PathsInList(bytes, nullSeparated);
}

}  // namespace tabulory::cli
