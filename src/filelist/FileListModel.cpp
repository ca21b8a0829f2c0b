#include "filelist/FileListModel.h"

#include <algorithm>

namespace tabulory {

FileListModel::FileListModel(QObject* parent) : QAbstractListModel(parent) {}
FileListModel::~FileListModel() = default;

void FileListModel::AddEntry(const QString& text) {
  entries_.push_back(text);
  Remember(text);
  if (batchDepth_ == 0) Publish();
}

bool FileListModel::ListContains(const QString& text) const {
  if (!counted_) {
    counts_.clear();
    counts_.reserve(static_cast<qsizetype>(entries_.size()));
    for (const QString& t : entries_) ++counts_[t];
    counted_ = true;
  }
  return counts_.contains(text);
}

void FileListModel::Remember(const QString& text) {
  if (counted_) ++counts_[text];
}

void FileListModel::Publish() {
  const int total = Count();
  if (published_ == total) return;
  beginInsertRows(QModelIndex(), published_, total - 1);
  published_ = total;
  endInsertRows();
}

void FileListModel::Forget(const QString& text) {
  if (!counted_) return;
  auto it = counts_.find(text);
  if (it == counts_.end()) return;
  if (--it.value() == 0) counts_.erase(it);
}

void FileListModel::SetEntryText(int i, const QString& text) {
  Publish();
  QString& slot = entries_.at(static_cast<size_t>(i - 1));
  if (slot == text) return;
  Forget(slot);
  slot = text;
  Remember(text);
  ClearResults();  // the rows were reordered
  const QModelIndex at = index(i - 1);
  emit dataChanged(at, at, {Qt::DisplayRole});
}

void FileListModel::RemoveEntry(int i) {
  Publish();
  if (i < 1 || i > Count()) return;
  ClearResults();
  beginRemoveRows(QModelIndex(), i - 1, i - 1);
  Forget(entries_[static_cast<size_t>(i - 1)]);
  entries_.erase(entries_.begin() + (i - 1));
  published_ = Count();
  endRemoveRows();
}

void FileListModel::Clear() {
  Publish();
  if (entries_.empty()) return;
  beginResetModel();
  entries_.clear();
  results_.clear();
  counts_.clear();
  published_ = 0;
  endResetModel();
}

QStringList FileListModel::Texts() const {
  QStringList list;
  list.reserve(Count());
  for (const QString& t : entries_) list.append(t);
  return list;
}

void FileListModel::SetResult(int i, const QString& result) {
  if (i < 1 || i > Count()) return;
  if (results_.size() < static_cast<size_t>(i)) results_.resize(static_cast<size_t>(i));
  results_[static_cast<size_t>(i - 1)] = result;
  if (i <= published_) {
    const QModelIndex at = index(i - 1, 1);
    emit dataChanged(at, at, {Qt::DisplayRole});
  }
}

QString FileListModel::Result(int i) const {
  return i >= 1 && static_cast<size_t>(i) <= results_.size() ? results_[static_cast<size_t>(i - 1)] : QString();
}

void FileListModel::ClearResults() {
  if (results_.empty()) return;
  const int last = std::min(static_cast<int>(results_.size()), published_);
  results_.clear();
  if (last > 0) emit dataChanged(index(0, 1), index(last - 1, 1), {Qt::DisplayRole});
}

FileListModel::AppendBatch::AppendBatch(FileListModel& model) : model_(model) {
  ++model_.batchDepth_;
}

FileListModel::AppendBatch::~AppendBatch() {
  if (--model_.batchDepth_ == 0) model_.Publish();
}

int FileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : published_;
}

int FileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= published_ || index.column() > 1) return {};
  // A long result (a failure's reason) shows whole as the cell's tool tip.
  if (index.column() == 1 && role == Qt::ToolTipRole) return Result(index.row() + 1);
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  if (index.column() == 1) return Result(index.row() + 1);
  return entries_[static_cast<size_t>(index.row())];
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section <= 1)
    return section == 0 ? HeaderText() : ResultHeaderText();
  return QAbstractListModel::headerData(section, orientation, role);
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::ItemIsDropEnabled;
  return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

}  // namespace tabulory
