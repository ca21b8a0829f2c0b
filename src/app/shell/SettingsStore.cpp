#include "app/shell/SettingsStore.h"

#include <QSettings>

namespace tabulory {

namespace {
const QString kSection = QStringLiteral("Tabulory");

QString KeyPath(const QString& key) { return kSection + QLatin1Char('/') + key; }
}  // namespace

IniSettingsStore::IniSettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("Carvenel"))) {}

IniSettingsStore::IniSettingsStore(const QString& filePath)
    : settings_(std::make_unique<QSettings>(filePath, QSettings::IniFormat)) {}

IniSettingsStore::~IniSettingsStore() = default;

QString IniSettingsStore::Read(const QString& key, const QString& fallback) const {
  // A value QSettings parsed as a list (an unquoted comma in a hand-edited
  // file) is joined back, so a reader always gets the text it stored.
  const QVariant value = settings_->value(KeyPath(key));
  if (!value.isValid()) return fallback;
  if (value.userType() == QMetaType::QStringList) return value.toStringList().join(QLatin1Char(','));
  return value.toString();
}

void IniSettingsStore::Write(const QString& key, const QString& text) {
  settings_->setValue(KeyPath(key), text);
  settings_->sync();
}

QString IniSettingsStore::FilePath() const { return settings_->fileName(); }

double LeadingNumber(const QString& text) {
  // Leading blanks are skipped, then an optional sign, digits and a decimal part.
  int i = 0;
  while (i < text.size() && text[i] == QLatin1Char(' ')) ++i;
  const int start = i;
  if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) ++i;
  auto isDigit = [&](int k) { return k < text.size() && text[k].unicode() >= '0' && text[k].unicode() <= '9'; };
  while (isDigit(i)) ++i;
  if (i < text.size() && text[i] == QLatin1Char('.')) {
    ++i;
    while (isDigit(i)) ++i;
  }
  bool ok = false;
  const double value = text.mid(start, i - start).toDouble(&ok);
  return ok ? value : 0.0;
}

}  // namespace tabulory
