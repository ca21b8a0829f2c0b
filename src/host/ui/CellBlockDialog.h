#pragma once
// The host's reference dialog: a prompt, a reference field, OK and Cancel.
// It leaves the grid of its window usable, so the user can highlight a block
// there (which fills the field) or type a reference. The host's window shows
// it as a band above the grid (HostMainWindow::ShowQuestion), never over it.

#include <QDialog>
#include <optional>

#include "host/core/Range.h"

class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace host::ui {

class WorkbookView;

class CellBlockDialog : public QDialog {
  Q_OBJECT

 public:
  // view may be null (an instance without a workbook): then no reference is valid.
  CellBlockDialog(const QString& prompt, WorkbookView* view, QWidget* parent);

  // Shows the dialog and waits, with the window's events running, until the
  // user confirms a valid reference (its range) or cancels (nullopt).
  std::optional<host::Range> Ask();

  // The range a reference names: "B2:D9", "$B$2:$D$9", "B5", "Sheet2!B2:D9",
  // "'My sheet'!A1:C3" (an unqualified reference lies on the active sheet; a
  // leading "=" is allowed). nullopt when it names no block of this workbook.
  std::optional<host::Range> Resolve(const QString& reference) const;

  QLineEdit* ReferenceField() const { return field_; }
  QDialogButtonBox* Buttons() const { return buttons_; }

 public slots:
  // Takes the field's reference; keeps the dialog open with a hint when it is
  // not valid.
  void accept() override;

 private:
  WorkbookView* view_;
  QLabel* problem_;
  QLineEdit* field_;
  QDialogButtonBox* buttons_;
  std::optional<host::Range> answer_;
};

}  // namespace host::ui
