#pragma once
// The one QApplication of a test program that shows widgets (offscreen).

#include <QApplication>

namespace tabulory::testing {

inline QApplication& TestApplication() {
  static int argc = 1;
  static char name[] = "tabulory-tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

}  // namespace tabulory::testing
