#include "app/shell/ShortTitle.h"

namespace tabulory {

QString SetShortTitle(const QString& displayTitle) {
  QString title = displayTitle;
  do {
    const qsizetype blank = title.lastIndexOf(QLatin1Char(' '));
    if (blank < 0) break;  // nothing left to cut
    title.truncate(blank);
  } while (title.size() > 40);
  return title.isEmpty() ? displayTitle : title;
}

}  // namespace tabulory
