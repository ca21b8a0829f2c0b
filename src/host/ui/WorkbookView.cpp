#include "host/ui/WorkbookView.h"

#include "host/core/Workbook.h"
#include "host/core/Worksheet.h"
#include "host/ui/BlockReference.h"
#include "host/ui/NumberCellDelegate.h"
#include "host/ui/SheetModel.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace host::ui {

WorkbookView::WorkbookView(host::Workbook& workbook, QWidget* parent)
    : QWidget(parent), workbook_(&workbook), tabs_(new QTabWidget(this)) {
  setObjectName(QStringLiteral("workbookView"));
  tabs_->setObjectName(QStringLiteral("sheetTabs"));
  tabs_->setTabPosition(QTabWidget::South);
  tabs_->setDocumentMode(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(tabs_);

  sheets_ = workbook.Worksheets();
  try {
    activeSheet_ = &workbook.ActiveSheet();
  } catch (...) {
    activeSheet_ = nullptr;  // the active tab is a chart sheet
  }
  if (!activeSheet_ && !sheets_.empty()) activeSheet_ = sheets_.front();

  // Each tab gets an empty page now and its grid when first shown: reading
  // a sheet's hidden rows takes a moment, and most tabs are never looked at.
  grids_.assign(sheets_.size(), nullptr);
  for (host::Worksheet* sheet : sheets_) {
    auto* page = new QWidget;
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    // "&" in a sheet name is text, not a keyboard shortcut.
    tabs_->addTab(page, QString::fromStdString(sheet->Name()).replace(u'&', QStringLiteral("&&")));
  }
  const auto active = std::find(sheets_.begin(), sheets_.end(), activeSheet_);
  if (active != sheets_.end()) tabs_->setCurrentIndex(static_cast<int>(active - sheets_.begin()));
  if (!sheets_.empty()) Grid(tabs_->currentIndex());
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int tab) {
    if (tab >= 0) Grid(tab);
  });
}

QTableView* WorkbookView::Grid(int tab) {
  if (tab < 0 || tab >= SheetCount()) return nullptr;
  if (!grids_[tab]) {
    grids_[tab] = MakeGrid(*sheets_[tab]);
    if (QLabel* note = GridLimitNote(*sheets_[tab])) tabs_->widget(tab)->layout()->addWidget(note);
    tabs_->widget(tab)->layout()->addWidget(grids_[tab]);
  }
  return grids_[tab];
}

void WorkbookView::Reload() {
  for (QTableView* grid : grids_)
    if (grid) static_cast<SheetModel*>(grid->model())->Reload();
}

QLabel* WorkbookView::GridLimitNote(host::Worksheet& sheet) {
  // Only a sheet without a grid of its own (a CSV file's) runs past it.
  const int rows = sheet.MaxRow();
  if (rows <= SheetModel::kSheetRows) return nullptr;
  const QLocale locale;
  auto* note = new QLabel(QStringLiteral("This sheet has %1 rows; the grid shows the first %2. A sort or a filter "
                                         "takes in every row.")
                              .arg(locale.toString(rows), locale.toString(SheetModel::kSheetRows)));
  note->setObjectName(QStringLiteral("gridLimitNote"));
  note->setWordWrap(true);
  return note;
}

QTableView* WorkbookView::MakeGrid(host::Worksheet& sheet) {
  auto* grid = new QTableView;
  grid->setObjectName(QStringLiteral("sheetGrid"));
  grid->setModel(new SheetModel(sheet, grid));
  grid->setSelectionMode(QAbstractItemView::ContiguousSelection);
  grid->setSelectionBehavior(QAbstractItemView::SelectItems);
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid->setWordWrap(false);
  grid->setItemDelegate(new NumberCellDelegate(grid));
  grid->horizontalHeader()->setDefaultSectionSize(80);
  grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 6);
  grid->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);

  const int tab = static_cast<int>(std::find(sheets_.begin(), sheets_.end(), &sheet) - sheets_.begin());
  connect(grid->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this, tab] {
    const QString reference = BlockOf(tab);
    if (!reference.isEmpty()) emit BlockHighlighted(reference);
  });
  return grid;
}

QString WorkbookView::BlockOf(int tab) const {
  if (tab < 0 || tab >= SheetCount() || !grids_[tab]) return {};
  const QTableView* grid = grids_[tab];
  const QItemSelection selection = grid->selectionModel()->selection();
  if (selection.isEmpty()) return {};
  // The block covers every highlighted piece, and the hidden rows between them.
  int top = SheetModel::kSheetRows, left = SheetModel::kSheetColumns, bottom = -1, right = -1;
  for (const QItemSelectionRange& piece : selection) {
    top = std::min(top, piece.top());
    left = std::min(left, piece.left());
    bottom = std::max(bottom, piece.bottom());
    right = std::max(right, piece.right());
  }
  if (bottom < 0 || right < 0) return {};
  const auto* model = static_cast<const SheetModel*>(grid->model());
  host::Worksheet& sheet = model->Sheet();
  const QString qualifier =
      &sheet == activeSheet_ ? QString() : QString::fromStdString(sheet.Name());
  return BlockReference(qualifier, model->SheetRow(top), left + 1, model->SheetRow(bottom),
                        right + 1);
}

QString WorkbookView::HighlightedBlock() const { return BlockOf(tabs_->currentIndex()); }

}  // namespace host::ui
