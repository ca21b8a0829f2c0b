#pragma once
// The file-open dialog and the folder dialog, behind one interface so that the
// click procedures run without a window in tests.

#include <QString>
#include <QStringList>
#include <QUrl>

class QWidget;

namespace tabulory {

// What the open dialog is set up with before it is shown.
struct OpenFilesRequest {
  QString fileName;  // proposed name (the button clears it)
  int flags = 0;     // kOpenMultiSelect and friends
  QString title;
  QString filter;    // "description|pattern|" pairs
};

// Open-dialog flags in use.
inline constexpr int kOpenReadOnlyChecked = 0x1;
inline constexpr int kOpenMultiSelect = 0x200;
inline constexpr int kOpenExplorer = 0x80000;
inline constexpr int kOpenLongNames = 0x200000;

class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  // Shows the open dialog. Returns "" on cancel, the full path for one file,
  // or for several the folder, then each name, separated by NUL characters.
  virtual QString OpenFiles(const OpenFilesRequest& request) = 0;
  // Shows the folder dialog with a prompt, starting at `startFolder` (when it
  // exists). Returns the chosen folder without a trailing separator (the root
  // keeps its own), or "" on cancel.
  virtual QString PickFolder(const QString& prompt, const QString& startFolder) = 0;
};

// The returned text for a list of picked paths, in the form described above.
QString ReturnedTextFromPaths(const QStringList& paths);

// The same for the picked files as the platform's dialog names them: URLs,
// which keep the bytes of a name that is not UTF-8 (a path list from Qt has
// lost them by then).
QString ReturnedTextFromUrls(const QList<QUrl>& urls);

// The Qt file dialogs.
class QtFileDialogs : public FileDialogs {
 public:
  explicit QtFileDialogs(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  QString OpenFiles(const OpenFilesRequest& request) override;
  QString PickFolder(const QString& prompt, const QString& startFolder) override;

 private:
  QWidget* parent_;
};

}  // namespace tabulory
