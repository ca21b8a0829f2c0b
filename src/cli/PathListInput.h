#pragma once
// The list of --files-from: workbook paths one a line, or NUL-separated.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

namespace tabulory::cli {

// The paths in `bytes`: separated by NUL when `nullSeparated`, otherwise one
// a line (a carriage return before the line end is dropped). Empty entries
// are skipped; names are decoded as the file system encodes them.
QStringList PathsInList(const QByteArray& bytes, bool nullSeparated);

// Reads the list file `source` ("-": `readStandardInput`) and gives its paths.
// Throws UsageError naming the file and why when it cannot be read.
QStringList ReadPathList(const QString& source, bool nullSeparated,
                         const std::function<QByteArray()>& readStandardInput);

}  // namespace tabulory::cli
