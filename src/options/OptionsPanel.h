#pragma once
// The options panel's logic, apart from its controls: what each change writes
// to the settings store, how the stored choices come back at start-up, and the
// check of the column box when the user leaves it.

#include "options/ProcessingOptions.h"

#include <QString>

namespace tabulory {

class Messages;
class SettingsStore;

// Settings keys of the panel.
namespace keys {
inline const QString Option = QStringLiteral("Option");        // "1" filter, "2" sort
inline const QString Type = QStringLiteral("Type");            // "1", "2", "3": the scope
inline const QString NewCombo2 = QStringLiteral("NewCombo2");  // criterion index
inline const QString Column = QStringLiteral("Column");        // column box text
inline const QString Value = QStringLiteral("Value");          // value box text
}  // namespace keys

// Which of the two places is shown: the filter frame or the sort-column list.
struct PanelVisibility {
  bool filterFrame;
  bool sortColumnList;
};
PanelVisibility VisibilityFor(Operation operation);

// The outcome of checking the column box's text.
struct ColumnCheck {
  QString text;       // the box's text afterwards
  bool replaced;      // the text was replaced (a change, so it is stored)
  bool refocus;       // the entry was invalid: focus goes back to the box
};

// Checks and normalises a column entry. A number is rounded (halves to even)
// and replaced by its letters (empty, after a message, above 256); letters
// naming a column 1 to 256 are capitalised; anything else shows "Invalid
// column entry." and keeps the text.
ColumnCheck CheckColumnEntry(const QString& text, Messages& messages);

// The panel's reads and writes of the settings store.
class OptionsPanel {
 public:
  explicit OptionsPanel(SettingsStore& store) : store_(store) {}

  // Event writes: each choice is stored the moment it is made.
  void OperationChosen(Operation operation);   // Option = "1" / "2"
  void ScopeChosen(Scope scope);                // Type = "1" / "2" / "3"
  void CriterionChosen(int index);              // NewCombo2 = the index
  void ColumnTextChanged(const QString& text);  // Column = the text
  void ValueTextChanged(const QString& text);   // Value = the text

  // Start-up reads. The stored operation is filter when the leading number of
  // Option (default "1") is 1, sort otherwise.
  bool StoredOperationIsFilter() const;
  // True when the leading number of Type (default "1") equals `scope`'s number.
  bool StoredScopeIs(Scope scope) const;
  // The stored criterion index (NewCombo2, default "0"), rounded to a whole
  // number. Throws ProcedureError for a text that is not a number or an index
  // outside the criterion list.
  int StoredCriterionIndex() const;
  QString StoredColumn() const;  // Column, default "A"
  QString StoredValue() const;   // Value, default empty

 private:
  SettingsStore& store_;
};

// The stored number of a scope: 1 entire workbook, 2 active sheet, 3 block.
int ScopeNumber(Scope scope);

}  // namespace tabulory
