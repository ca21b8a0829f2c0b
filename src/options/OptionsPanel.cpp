#include "options/OptionsPanel.h"

#include "app/shell/ErrorReport.h"
#include "app/shell/Messages.h"
#include "app/shell/SettingsStore.h"
#include "options/ColumnReference.h"
#include "options/Numbers.h"

namespace tabulory {

PanelVisibility VisibilityFor(Operation operation) {
  return operation == Operation::Filter ? PanelVisibility{true, false}
                                        : PanelVisibility{false, true};
}

ColumnCheck CheckColumnEntry(const QString& text, Messages& messages) {
  if (const auto number = ParseNumber(text)) {
    return {ColumnLettersFromWholeNumber(RoundHalfEven(*number), messages), true, false};
  }
  const QString upper = text.toUpper();
  for (int n = 1; n <= ColumnLimit; ++n) {
    if (upper == ColumnLettersFromNumber(n, messages)) return {upper, true, false};
  }
  messages.Show(QStringLiteral("Invalid column entry."));
  return {text, false, true};
}

int ScopeNumber(Scope scope) {
  switch (scope) {
    case Scope::EntireWorkbook: return 1;
    case Scope::ActiveSheet: return 2;
    case Scope::BlockOfCells: return 3;
  }
  return 0;
}

void OptionsPanel::OperationChosen(Operation operation) {
  store_.Write(keys::Option, operation == Operation::Filter ? QStringLiteral("1")
                                                            : QStringLiteral("2"));
}

void OptionsPanel::ScopeChosen(Scope scope) {
  store_.Write(keys::Type, QString::number(ScopeNumber(scope)));
}

void OptionsPanel::CriterionChosen(int index) { store_.Write(keys::NewCombo2, QString::number(index)); }

void OptionsPanel::ColumnTextChanged(const QString& text) { store_.Write(keys::Column, text); }

void OptionsPanel::ValueTextChanged(const QString& text) { store_.Write(keys::Value, text); }

bool OptionsPanel::StoredOperationIsFilter() const {
  return LeadingNumber(store_.Read(keys::Option, QStringLiteral("1"))) == 1;
}

bool OptionsPanel::StoredScopeIs(Scope scope) const {
  return LeadingNumber(store_.Read(keys::Type, QStringLiteral("1"))) == ScopeNumber(scope);
}

int OptionsPanel::StoredCriterionIndex() const {
  const QString stored = store_.Read(keys::NewCombo2, QStringLiteral("0"));
  const auto number = ParseNumber(stored);
  if (!number) {
    throw ProcedureError(QStringLiteral("Type mismatch: the stored criterion \"%1\" is not a number")
                             .arg(stored));
  }
  const double index = RoundHalfEven(*number);
  if (index < 0 || index >= CriterionTexts().size()) {
    throw ProcedureError(
        QStringLiteral("Invalid property value: the stored criterion %1 is not in the list (0 to %2)")
            .arg(index)
            .arg(CriterionTexts().size() - 1));
  }
  return static_cast<int>(index);
}

QString OptionsPanel::StoredColumn() const { return store_.Read(keys::Column, QStringLiteral("A")); }

QString OptionsPanel::StoredValue() const { return store_.Read(keys::Value); }

}  // namespace tabulory
