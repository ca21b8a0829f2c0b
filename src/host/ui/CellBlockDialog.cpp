#include "host/ui/CellBlockDialog.h"

#include "host/core/Workbook.h"
#include "host/ui/WorkbookView.h"

#include <QDialogButtonBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QGridLayout>

namespace host::ui {

CellBlockDialog::CellBlockDialog(const QString& prompt, WorkbookView* view, QWidget* parent)
    : QDialog(parent),
      view_(view),
      problem_(new QLabel(this)),
      field_(new QLineEdit(this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
  setObjectName(QStringLiteral("cellBlockDialog"));
  setWindowTitle(QStringLiteral("Input"));
  setModal(false);  // the grid behind stays usable for highlighting

  auto* promptLabel = new QLabel(prompt, this);
  promptLabel->setObjectName(QStringLiteral("prompt"));
  promptLabel->setWordWrap(false);
  field_->setObjectName(QStringLiteral("reference"));
  field_->setMinimumWidth(260);
  problem_->setObjectName(QStringLiteral("problem"));
  problem_->setWordWrap(true);
  problem_->setStyleSheet(QStringLiteral("color: #b00020;"));
  problem_->hide();
  buttons_->setObjectName(QStringLiteral("buttons"));

  // One band across the window above the grid: the prompt, the field and the
  // buttons in a row, a refusal on a line of its own below them, so that the
  // band grows for it and nothing lies over it.
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(8, 6, 8, 6);
  layout->addWidget(promptLabel, 0, 0);
  layout->addWidget(field_, 0, 1);
  layout->addWidget(buttons_, 0, 2);
  layout->addWidget(problem_, 1, 0, 1, 3);
  layout->setColumnStretch(1, 1);
  // Enter takes the reference wherever the band sits.
  buttons_->button(QDialogButtonBox::Ok)->setDefault(true);

  connect(buttons_, &QDialogButtonBox::accepted, this, &CellBlockDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &CellBlockDialog::reject);
  connect(field_, &QLineEdit::textEdited, problem_, &QLabel::hide);
  if (view_) {
    connect(view_, &WorkbookView::BlockHighlighted, this, [this](const QString& reference) {
      field_->setText(reference);
      problem_->hide();
    });
    const QString already = view_->HighlightedBlock();
    if (!already.isEmpty()) field_->setText(already);
  }
}

std::optional<host::Range> CellBlockDialog::Resolve(const QString& reference) const {
  if (!view_ || !view_->ActiveSheet()) return std::nullopt;
  QString text = reference.trimmed();
  if (text.startsWith(QLatin1Char('='))) text = text.mid(1).trimmed();
  if (text.isEmpty()) return std::nullopt;
  try {
    return view_->Workbook().ResolveRange(text.toStdString(), *view_->ActiveSheet());
  } catch (...) {
    return std::nullopt;
  }
}

void CellBlockDialog::accept() {
  answer_ = Resolve(field_->text());
  if (!answer_) {
    problem_->setText(QStringLiteral(
        "This is not a block of cells of the workbook. Highlight one with the mouse, or type "
        "one such as B2:D9 or Sheet2!B2:D9."));
    problem_->show();
    field_->setFocus();
    field_->selectAll();
    return;
  }
  QDialog::accept();
}

std::optional<host::Range> CellBlockDialog::Ask() {
  answer_.reset();
  QEventLoop loop;
  connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
  show();
  raise();
  activateWindow();
  field_->setFocus();
  loop.exec(QEventLoop::DialogExec);
  if (result() != QDialog::Accepted) return std::nullopt;
  return answer_;
}

}  // namespace host::ui
