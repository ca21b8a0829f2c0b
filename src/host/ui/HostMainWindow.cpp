#include "host/ui/HostMainWindow.h"

#include "host/core/Workbook.h"
#include "host/ui/WorkbookView.h"

#include <QCloseEvent>
#include <QLabel>

namespace host::ui {

HostMainWindow::HostMainWindow(const QString& applicationName, host::Workbook* workbook,
                               QWidget* parent)
    : QMainWindow(parent) {
  setObjectName(QStringLiteral("hostWindow"));
  // While the host's window shows, it and its dialogs are all the user can
  // work with: the program that drives the host waits for it.
  setWindowModality(Qt::ApplicationModal);
  if (workbook) {
    view_ = new WorkbookView(*workbook, this);
    setCentralWidget(view_);
    setWindowTitle(QString::fromStdString(workbook->Name()) + QStringLiteral(" - ") +
                   applicationName);
  } else {
    setCentralWidget(new QLabel(this));
    setWindowTitle(applicationName);
  }
  resize(900, 600);
}

void HostMainWindow::closeEvent(QCloseEvent* event) {
  emit Closing();
  QMainWindow::closeEvent(event);
}

}  // namespace host::ui
