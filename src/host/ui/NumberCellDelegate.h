#pragma once
// How the grid draws a number that is wider than its column: as a spreadsheet
// does, the cell fills with "#" instead of losing digits at its edge, so no
// one reads a cut number as a smaller one. Text is drawn as usual.

#include <QStyledItemDelegate>

class QFontMetrics;

namespace host::ui {

class NumberCellDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  // `text` when it fits in `width` pixels with these metrics, else as many
  // "#" as fit (at least one).
  static QString FitNumber(const QString& text, const QFontMetrics& metrics, int width);

  // The text the cell at `index` shows in a cell drawn with `option`.
  QString ShownText(const QStyleOptionViewItem& option, const QModelIndex& index) const;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

}  // namespace host::ui
