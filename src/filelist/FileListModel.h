#pragma once
// The file list: the workbook paths the next batch run processes, in order.
// One text per row, duplicates allowed, rows numbered from 1. A second
// column shows each file's result of the last run, kept until rows are
// removed or reordered.

#include <QAbstractListModel>
#include <QHash>
#include <QString>
#include <vector>

namespace tabulory {

class FileListModel : public QAbstractListModel {
  Q_OBJECT
 public:
  explicit FileListModel(QObject* parent = nullptr);
  ~FileListModel() override;

  // Appends a row with this text; no check of any kind.
  void AddEntry(const QString& text);
  // True when at least one row's text equals `text` exactly (case-sensitive).
  bool ListContains(const QString& text) const;
  // Number of rows, and the text of row i (1 <= i <= Count()).
  int Count() const { return static_cast<int>(entries_.size()); }
  const QString& EntryText(int i) const { return entries_.at(static_cast<size_t>(i - 1)); }
  // Replaces the text of row i (1-based).
  void SetEntryText(int i, const QString& text);
  // Removes row i (1-based); rows after it move up by one.
  void RemoveEntry(int i);
  // Removes every row.
  void Clear();
  // All texts in row order.
  QStringList Texts() const;

  // The last run's result of row i ("ok", "failed: ...", "skipped", "not
  // processed (stopped)"); empty when the row has none.
  void SetResult(int i, const QString& result);
  QString Result(int i) const;
  void ClearResults();

  // While a batch is open, appended rows are announced to views in one step
  // when the outermost batch closes (a long scan then costs one view update).
  class AppendBatch {
   public:
    explicit AppendBatch(FileListModel& model);
    ~AppendBatch();
    AppendBatch(const AppendBatch&) = delete;
    AppendBatch& operator=(const AppendBatch&) = delete;

   private:
    FileListModel& model_;
  };

  // QAbstractItemModel
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // The column header text.
  static QString HeaderText() { return QStringLiteral("Excel File(s)"); }
  static QString ResultHeaderText() { return QStringLiteral("Result of the last run"); }

 private:
  void Publish();  // announces rows appended but not yet shown
  void Remember(const QString& text);
  void Forget(const QString& text);

  std::vector<QString> entries_;
  std::vector<QString> results_;  // by row; shorter than entries_ where rows have none
  // Text -> number of rows holding it; built at the first ListContains and
  // kept up to date from then on, so that fillers that never ask pay nothing.
  mutable QHash<QString, int> counts_;
  mutable bool counted_ = false;
  int published_ = 0;           // rows the views know of
  int batchDepth_ = 0;
};

}  // namespace tabulory
