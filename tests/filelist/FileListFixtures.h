#pragma once
// Shared pieces of the file-list tests: folder trees in a temporary folder, a
// pointer the tests set, scripted dialogs and a folder opener that only
// records.

#include "app/shell/MousePointer.h"
#include "support/RecordingPointer.h"
#include "filelist/FileDialogs.h"
#include "filelist/SampleFiles.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <deque>
#include <unistd.h>

namespace tabulory::testing {

// A folder tree in a fresh temporary folder; paths are relative to its root.
class TempTree {
 public:
  TempTree() { dir_.setAutoRemove(true); }
  QString Root() const { return QDir::toNativeSeparators(dir_.path()); }
  QString Path(const QString& relative) const { return Root() + u'/' + relative; }
  void Folder(const QString& relative) const { QDir().mkpath(Path(relative)); }
  QString File(const QString& relative, const QByteArray& content = "x") const {
    const QString path = Path(relative);
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(content);
    return path;
  }

 private:
  QTemporaryDir dir_;
};

inline bool RunningAsRoot() { return ::geteuid() == 0; }

using TestPointer = RecordingPointer;

class ScriptedFileDialogs : public FileDialogs {
 public:
  QString OpenFiles(const OpenFilesRequest& request) override {
    requests.push_back(request);
    return openAnswer;
  }
  QString PickFolder(const QString& prompt, const QString& startFolder) override {
    folderPrompts.push_back(prompt);
    startFolders.push_back(startFolder);
    return folderAnswer;
  }
  QString openAnswer;
  QString folderAnswer;
  std::vector<OpenFilesRequest> requests;
  QStringList folderPrompts;
  QStringList startFolders;
};

class RecordingOpener : public FolderOpener {
 public:
  void OpenFolder(const QString& folder) override { opened << folder; }
  QStringList opened;
};

// One application object for the tests that need widgets or events.
inline QApplication& App() {
  static int argc = 1;
  static char name[] = "filelist_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

}  // namespace tabulory::testing
