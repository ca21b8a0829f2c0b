#pragma once
// The grid's model over one worksheet of the engine. It answers every cell on
// demand, so a sheet of any size opens at once; it keeps no copy of the cells.

#include <QAbstractTableModel>

namespace host {
class Worksheet;
}

namespace host::ui {

class SheetModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // The whole sheet, A1:XFD1048576, as the grid shows it.
  static constexpr int kRowCount = 1048576;
  static constexpr int kColumnCount = 16384;

  explicit SheetModel(host::Worksheet& sheet, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  // The cell's displayed text; numbers to the right, truth values and errors
  // centred.
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  // Column letters across, row numbers down.
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  host::Worksheet& Sheet() const { return *sheet_; }

 private:
  host::Worksheet* sheet_;
};

}  // namespace host::ui
