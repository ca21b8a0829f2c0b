#pragma once
// The top-level window of one host instance: its workbook's tabs and grid,
// with room above the grid for the question the host asks (the reference
// box), so that the question never covers a cell, a column letter or a row
// number. The window is made to fit the screen it opens on.

#include <QMainWindow>

class QScreen;
class QVBoxLayout;

namespace host {
class Workbook;
}

namespace host::ui {

class WorkbookView;

class HostMainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // The size the window takes where the screen has room for it.
  static constexpr int kPreferredWidth = 900;
  static constexpr int kPreferredHeight = 600;

  // workbook may be null: the window then shows an empty area.
  HostMainWindow(const QString& applicationName, host::Workbook* workbook,
                 QWidget* parent = nullptr);

  // The workbook's view, or nullptr when the window shows none.
  WorkbookView* View() const { return view_; }

  // Shows `question` (a widget, a dialog too) in the band above the grid until
  // it is taken back with EndQuestion or deleted.
  void ShowQuestion(QWidget* question);
  // Takes the question out of the band again (it is not deleted).
  void EndQuestion(QWidget* question);

  // Sizes and places the window inside the free area of `screen` (the one it
  // opens on): the preferred size where there is room, less where not, and
  // centred.
  void FitToScreen(const QScreen* screen);

 signals:
  // The user closed the window (it hides; the instance goes on).
  void Closing();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  WorkbookView* view_ = nullptr;
  QVBoxLayout* layout_ = nullptr;  // the question band, then the workbook
};

}  // namespace host::ui
