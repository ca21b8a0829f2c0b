#pragma once
// The path a local file URL names, with the name's bytes kept. File managers
// and platform dialogs hand files over as URLs, where a byte of a name that is
// not UTF-8 travels percent-encoded ("caf%E9.xlsx"); Qt's own conversion to a
// path turns such a byte into U+FFFD, and the path then leads nowhere. Here
// the bytes become the raw-byte form of RawFileName, which opens the file.

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace tabulory {

// The local path of `url` (native separators), its bytes as the URL carries
// them. Only meaningful for a local file URL.
QString LocalPathOfUrl(const QUrl& url);

// LocalPathOfUrl of each URL, in order.
QStringList LocalPathsOfUrls(const QList<QUrl>& urls);

}  // namespace tabulory
