#include "host/ui/NumberCellDelegate.h"

#include "host/ui/SheetModel.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStyle>
#include <QWidget>
#include <algorithm>

namespace host::ui {

QString NumberCellDelegate::FitNumber(const QString& text, const QFontMetrics& metrics, int width) {
  if (metrics.horizontalAdvance(text) <= width) return text;
  const int hash = std::max(1, metrics.horizontalAdvance(QLatin1Char('#')));
  return QString(std::max(1, width / hash), QLatin1Char('#'));
}

QString NumberCellDelegate::ShownText(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QStyleOptionViewItem shown = option;
  initStyleOption(&shown, index);
  return shown.text;
}

void NumberCellDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  if (!index.data(SheetModel::kIsNumberRole).toBool()) return;
  // The room the style leaves for the text: the cell less its text margins.
  const QWidget* widget = option->widget;
  const QStyle* style = widget ? widget->style() : QApplication::style();
  const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
  option->text = FitNumber(option->text, option->fontMetrics, option->rect.width() - 2 * margin);
}

}  // namespace host::ui
