#pragma once
// One open workbook as the host's window shows it: a tab per worksheet (the
// workbook's active sheet selected) over a grid of that sheet's cells. The
// grid holds 1,048,576 rows; a longer sheet (a CSV file's) shows its first
// rows and a note says so.

#include <QString>
#include <QWidget>
#include <vector>

class QLabel;
class QTabWidget;
class QTableView;

namespace host {
class Workbook;
class Worksheet;
}  // namespace host

namespace host::ui {

class WorkbookView : public QWidget {
  Q_OBJECT

 public:
  explicit WorkbookView(host::Workbook& workbook, QWidget* parent = nullptr);

  host::Workbook& Workbook() const { return *workbook_; }
  // The sheet whose tab the workbook marks as active (the first one when the
  // active tab is no worksheet); nullptr for a workbook without worksheets.
  host::Worksheet* ActiveSheet() const { return activeSheet_; }

  // The tabs, in workbook order, and the grid and sheet of each (0-based).
  // A tab's grid is made when the tab is first shown or asked for.
  QTabWidget* Tabs() const { return tabs_; }
  int SheetCount() const { return static_cast<int>(sheets_.size()); }
  QTableView* Grid(int tab);
  host::Worksheet& Sheet(int tab) const { return *sheets_.at(tab); }

  // Shows the sheets as the engine holds them now (after a sort or a filter).
  void Reload();

  // The block highlighted in the current tab's grid (the smallest block that
  // covers the highlighted cells), named with its sheet when that is not the
  // active sheet; empty when nothing is highlighted.
  QString HighlightedBlock() const;

 signals:
  // The user highlighted a block in any tab's grid.
  void BlockHighlighted(const QString& reference);

 private:
  QTableView* MakeGrid(host::Worksheet& sheet);
  // A line above the grid saying it shows only the first rows, for a sheet
  // longer than the grid; nullptr for any other.
  static QLabel* GridLimitNote(host::Worksheet& sheet);
  QString BlockOf(int tab) const;

  host::Workbook* workbook_;
  host::Worksheet* activeSheet_ = nullptr;
  std::vector<host::Worksheet*> sheets_;
  std::vector<QTableView*> grids_;  // nullptr until made
  QTabWidget* tabs_;
};

}  // namespace host::ui
