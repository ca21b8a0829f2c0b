#include "cli/PathListInput.h"

#include "app/shell/RawFileName.h"
#include "cli/CommandLine.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tabulory::cli {

namespace {

// Where `bytes` show they are no list of names but some binary file (a
// workbook, an image): a NUL in a list of lines, or a control character other
// than tab and the line ends, which a name typed or printed by find never
// holds. -1 when there is none.
qsizetype BinaryByteAt(const QByteArray& bytes, bool nullSeparated) {
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b == 0 ? !nullSeparated : (b < 0x20 && b != '\t' && b != '\n' && b != '\r') || b == 0x7F) return i;
  }
  return -1;
}

}  // namespace

QStringList PathsInList(const QByteArray& bytes, bool nullSeparated) {
  QStringList paths;
  const char separator = nullSeparated ? '\0' : '\n';
  for (QByteArray entry : bytes.split(separator)) {
    if (!nullSeparated && entry.endsWith('\r')) entry.chop(1);
    if (!entry.isEmpty()) paths << FileNameFromBytes(entry);
  }
  return paths;
}

QStringList ReadPathList(const QString& source, bool nullSeparated,
                         const std::function<QByteArray()>& readStandardInput) {
  if (source == QStringLiteral("-")) {
    if (!readStandardInput) throw UsageError(QStringLiteral("cannot read --files-from -: no standard input"));
    const QByteArray bytes = readStandardInput();
    if (const qsizetype at = BinaryByteAt(bytes, nullSeparated); at >= 0)
      throw UsageError(QStringLiteral("cannot read --files-from -: standard input is binary data (byte %1 is a "
                                      "control character), not a list of file names")
                           .arg(at + 1));
    return PathsInList(bytes, nullSeparated);
  }
  const auto fail = [&](const QString& why) {
    throw UsageError(QStringLiteral("cannot read --files-from '%1': %2").arg(source, why));
  };
  // Opened by its own bytes; a pipe (<(find ...)) is a list too.
  const int fd = ::open(FileNameBytes(source).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail(errno == ENOENT || errno == ENOTDIR ? QStringLiteral("no such file")
                   : errno == EACCES || errno == EPERM ? QStringLiteral("permission denied")
                                                       : QStringLiteral("it cannot be opened"));
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    fail(QStringLiteral("it is a folder"));
  }
  QFile file;
  if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(fd);
    fail(QStringLiteral("it cannot be read"));
  }
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) fail(QStringLiteral("a read error"));
  if (const qsizetype at = BinaryByteAt(bytes, nullSeparated); at >= 0)
    fail(QStringLiteral("it is a binary file (byte %1 is a control character), not a list of file names%2")
             .arg(at + 1)
             .arg(bytes[at] == '\0' ? QStringLiteral("; for names that end with NUL, give --null") : QString()));
  return PathsInList(bytes, nullSeparated);
}

}  // namespace tabulory::cli
