#pragma once
#include <QString>

namespace tabulory {

// The short application title: the display title cut before its last blank at
// least once, and again while longer than 40 characters. A title without a
// blank stays whole.
QString SetShortTitle(const QString& displayTitle);

}  // namespace tabulory
