#include "app/shell/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>

namespace tabulory {

namespace {
QString& OverrideFolder() {
  static QString folder;
  return folder;
}
}  // namespace

QString ProgramFolder() {
  if (!OverrideFolder().isEmpty()) return OverrideFolder();
  return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

void SetProgramFolder(const QString& folder) { OverrideFolder() = folder; }

QString ProgramPath(const QString& relative) {
  return ProgramFolder() + QDir::separator() + QDir::toNativeSeparators(relative);
}

}  // namespace tabulory
