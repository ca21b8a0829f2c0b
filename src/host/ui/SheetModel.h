#pragma once
// The grid's model over one worksheet of the engine. It answers every cell on
// demand, so a sheet of any size opens at once; it keeps no copy of the cells.
// Hidden rows are left out of the grid: grid row numbers are mapped to sheet
// rows, and the row header shows the sheet's own row numbers.

#include <QAbstractTableModel>
#include <vector>

namespace host {
class Worksheet;
}

namespace host::ui {

class SheetModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // The whole sheet, A1:XFD1048576, as the grid shows it.
  static constexpr int kSheetRows = 1048576;
  static constexpr int kSheetColumns = 16384;
  // The data role that tells a number cell (true) from any other.
  static constexpr int kIsNumberRole = Qt::UserRole + 1;

  // Reads which rows of the sheet are hidden (again on Reload).
  explicit SheetModel(host::Worksheet& sheet, QObject* parent = nullptr);

  // Reads the sheet anew after the engine changed it (rows hidden or shown,
  // cells sorted); views forget their selection.
  void Reload();

  // The sheet's shown rows and all its columns.
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  // The cell's displayed text; numbers to the right, truth values and errors
  // centred; kIsNumberRole: whether it holds a number.
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  // Column letters across, sheet row numbers down.
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  // The sheet row (1-based) shown in a grid row (0-based).
  int SheetRow(int gridRow) const;
  // The grid row (0-based) that shows a sheet row (1-based); for a hidden row
  // the next shown one; -1 when no row is shown from there on.
  int GridRow(int sheetRow) const;
  // The hidden rows of the sheet, ascending.
  const std::vector<int>& HiddenRows() const { return hidden_; }

  host::Worksheet& Sheet() const { return *sheet_; }

 private:
  void ReadHiddenRows();

  host::Worksheet* sheet_;
  std::vector<int> hidden_;
  // For the k-th hidden row, hidden_[k] - k: it only grows, so the hidden
  // rows before a grid row are found by binary search.
  std::vector<int> shift_;
};

}  // namespace host::ui
