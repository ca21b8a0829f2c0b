#include "host/ui/HostMainWindow.h"

#include "host/core/Workbook.h"
#include "host/ui/WorkbookView.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace host::ui {

HostMainWindow::HostMainWindow(const QString& applicationName, host::Workbook* workbook,
                               QWidget* parent)
    : QMainWindow(parent) {
  setObjectName(QStringLiteral("hostWindow"));
  // While the host's window shows, it and its dialogs are all the user can
  // work with: the program that drives the host waits for it.
  setWindowModality(Qt::ApplicationModal);
  auto* content = new QWidget(this);
  layout_ = new QVBoxLayout(content);
  layout_->setContentsMargins(0, 0, 0, 0);
  layout_->setSpacing(0);
  if (workbook) {
    view_ = new WorkbookView(*workbook, content);
    layout_->addWidget(view_, 1);
    setWindowTitle(QString::fromStdString(workbook->Name()) + QStringLiteral(" - ") +
                   applicationName);
  } else {
    layout_->addWidget(new QLabel(content), 1);
    setWindowTitle(applicationName);
  }
  setCentralWidget(content);
  // The screen the user works on: where the pointer is.
  const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
  FitToScreen(screen ? screen : QGuiApplication::primaryScreen());
}

void HostMainWindow::ShowQuestion(QWidget* question) {
  // A dialog becomes part of the window: it can then never lie over the grid.
  question->setWindowFlags(Qt::Widget);
  layout_->insertWidget(0, question);
  question->show();
}

void HostMainWindow::EndQuestion(QWidget* question) {
  layout_->removeWidget(question);
  question->hide();
}

void HostMainWindow::FitToScreen(const QScreen* screen) {
  if (!screen) {
    resize(kPreferredWidth, kPreferredHeight);
    return;
  }
  const QRect free = screen->availableGeometry();
  // The frame the window manager adds is not known before the window shows;
  // a tenth of the room is left for it.
  const int width = std::min(kPreferredWidth, free.width() * 9 / 10);
  const int height = std::min(kPreferredHeight, free.height() * 9 / 10);
  resize(width, height);
  move(free.x() + (free.width() - width) / 2, free.y() + (free.height() - height) / 2);
}

void HostMainWindow::closeEvent(QCloseEvent* event) {
  emit Closing();
  QMainWindow::closeEvent(event);
}

}  // namespace host::ui
