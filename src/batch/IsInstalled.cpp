#include "batch/IsInstalled.h"

#include "app/shell/Messages.h"
#include "batch/HostFactory.h"

#include <QStringList>

namespace tabulory {

QString HostUnavailableText() {
  static const QStringList kParagraphs = {
      QStringLiteral("Error 842001. A normal instance of Excel could not be created."),
      QStringLiteral("1. Please make sure Excel is installed on this computer."),
      QStringLiteral("2. Please open Excel normally and make sure a blank spreadsheet opens "
                     "immediately without any interrupting window (such as an Excel file "
                     "recovery window)."),
      QStringLiteral("3. Please make sure that when you double-click on a XLS or XLSX file that "
                     "Excel opens normally without any interrupting messages."),
      QStringLiteral("4. All versions of Excel are supported by this software except for the "
                     "rare Excel Starter and Student editions."),
  };
  return kParagraphs.join(QStringLiteral("\r\n\r\n"));
}

bool CheckHostAvailable(HostFactory& factory, Messages& messages) {
  bool created = false;
  try {
    // The probe instance is released at once; nothing is called on it.
    created = factory.Create() != nullptr;
  } catch (...) {
    created = false;  // every failure here only means "no instance"
  }
  if (created) return true;
  messages.Show(HostUnavailableText());
  return false;
}

}  // namespace tabulory
