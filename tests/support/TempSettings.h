#pragma once
// A settings store in a temporary folder, so tests never touch the user's own.

#include "app/shell/SettingsStore.h"

#include <QTemporaryDir>
#include <memory>

namespace tabulory::testing {

class TempSettings {
 public:
  TempSettings() : store_(std::make_unique<IniSettingsStore>(dir_.filePath("Carvenel.ini"))) {}
  IniSettingsStore& store() { return *store_; }
  QString filePath() const { return dir_.filePath("Carvenel.ini"); }
  // A fresh store object over the same file (as at the next start).
  std::unique_ptr<IniSettingsStore> Reopen() const {
    return std::make_unique<IniSettingsStore>(filePath());
  }

 private:
  QTemporaryDir dir_;
  std::unique_ptr<IniSettingsStore> store_;
};

}  // namespace tabulory::testing
