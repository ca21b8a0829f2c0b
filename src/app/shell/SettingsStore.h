#pragma once
// The per-user settings store: application name "Carvenel", section "Tabulory",
// text values. Every write reaches the disk at once.

#include <QString>
#include <memory>

class QSettings;

namespace tabulory {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // The stored text, or fallback when the key was never written.
  virtual QString Read(const QString& key, const QString& fallback = {}) const = 0;
  // Creates or replaces the value at once.
  virtual void Write(const QString& key, const QString& text) = 0;
};

// The store as an INI file: by default Carvenel.ini in the user's XDG config
// folder, with the keys in its [Tabulory] section.
class IniSettingsStore : public SettingsStore {
 public:
  IniSettingsStore();                                  // the user's own store
  explicit IniSettingsStore(const QString& filePath);  // a store at a given file (tests)
  ~IniSettingsStore() override;

  QString Read(const QString& key, const QString& fallback = {}) const override;
  void Write(const QString& key, const QString& text) override;
  QString FilePath() const;

 private:
  std::unique_ptr<QSettings> settings_;
};

// Leading decimal number of a stored text, as the readers use it: "2" -> 2,
// "3abc" -> 3, "1.5" -> 1.5, "abc" or "" -> 0.
double LeadingNumber(const QString& text);

}  // namespace tabulory
