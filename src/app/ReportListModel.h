#pragma once
// The rows of a report-style list with one column of texts (the file list and
// the sort-column list). A plain list of texts behind a Qt model, so views
// stay quick with a hundred thousand rows.

#include <QAbstractListModel>
#include <QStringList>

namespace tabulory {

class ReportListModel : public QAbstractListModel {
  Q_OBJECT
 public:
  explicit ReportListModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

  // Adds the list's one column with its header caption; until then the list
  // has no column and shows nothing.
  void AddColumn(const QString& caption);
  bool HasColumn() const { return hasColumn_; }
  QString ColumnCaption() const { return caption_; }

  // Appends rows at the end, in order.
  void Append(const QString& text);
  void Append(const QStringList& texts);
  // Removes `count` rows from `row` (0-based); false when out of range.
  bool Remove(int row, int count = 1);
  void Clear();
  // Moves one row to a new place (0-based, the place after removal).
  bool Move(int from, int to);

  int Count() const { return static_cast<int>(rows_.size()); }
  const QString& Text(int row) const { return rows_.at(row); }
  const QStringList& Texts() const { return rows_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  QStringList rows_;
  QString caption_;
  bool hasColumn_ = false;
};

}  // namespace tabulory
