#pragma once
// The top-level window of one host instance: its workbook's tabs and grid.

#include <QMainWindow>

namespace host {
class Workbook;
}

namespace host::ui {

class WorkbookView;

class HostMainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // workbook may be null: the window then shows an empty area.
  HostMainWindow(const QString& applicationName, host::Workbook* workbook,
                 QWidget* parent = nullptr);

  // The workbook's view, or nullptr when the window shows none.
  WorkbookView* View() const { return view_; }

 signals:
  // The user closed the window (it hides; the instance goes on).
  void Closing();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  WorkbookView* view_ = nullptr;
};

}  // namespace host::ui
