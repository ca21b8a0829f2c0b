#pragma once
// The one QApplication of a widget test program (made on first use; tests run
// with the offscreen platform).

#include <QApplication>

namespace tabulory::testing {

inline QApplication& EnsureApplication() {
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return *existing;
  static int argc = 1;
  static char name[] = "tabulory-test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

}  // namespace tabulory::testing
