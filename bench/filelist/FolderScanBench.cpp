// Folder scan speed: walks a tree of 100,000 files in 10,000 folders and adds
// every file to a file list (no window), against `find DIR -type f | wc -l`
// on the same tree. Prints one line:
//   case=folder-scan files=<n> folders=<n> scan_s=<s> find_s=<s> ratio=<r>
// Options: --files N --folders N --runs N (best of N runs, default 5);
// --tree DIR builds the tree in DIR (or reuses it when DIR already exists).

#include "filelist/FileListModel.h"
#include "filelist/FolderWalk.h"
#include "support/ScriptedMessages.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace tabulory;

namespace {

// Processor time (user + system) of this process or of its finished children.
double CpuSeconds(int who) {
  rusage u {};
  ::getrusage(who, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Folders breadth first, at most 10 children each; files spread evenly.
bool BuildTree(const std::string& root, int folders, int files) {
  std::vector<std::string> all{root};
  for (size_t parent = 0; static_cast<int>(all.size()) - 1 < folders; ++parent) {
    for (int c = 0; c < 10 && static_cast<int>(all.size()) - 1 < folders; ++c) {
      const std::string path = all[parent] + "/Folder " + std::to_string(c);
      if (::mkdir(path.c_str(), 0755) != 0) return false;
      all.push_back(path);
    }
  }
  for (int i = 0; i < files; ++i) {
    const std::string& folder = all[1 + (i % folders)];
    const std::string path = folder + "/Workbook " + std::to_string(i) + ".xlsx";
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
    if (fd < 0) return false;
    ::close(fd);
  }
  return true;
}

double ScanSeconds(const QString& root, int& added, int& walked) {
  tabulory::testing::ScriptedMessages messages;
  FileListModel list;
  QElapsedTimer timer;
  timer.start();
  QStringList folders{root + "/"};
  GetSubDirectories2016(folders, true, messages);
  walked = static_cast<int>(folders.size()) - 1;  // below the chosen folder
  AddFolderTreeFiles(list, folders, QStringLiteral("*.xl*"));
  const double seconds = timer.nsecsElapsed() / 1e9;
  added = list.Count();
  if (!messages.shown.empty()) std::fprintf(stderr, "unexpected report during the scan\n");
  return seconds;
}

double FindSeconds(const std::string& root, int& found) {
  const std::string command = "find '" + root + "' -type f | wc -l";
  QElapsedTimer timer;
  timer.start();
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return -1;
  char line[64] = {};
  if (!std::fgets(line, sizeof line, pipe)) line[0] = 0;
  ::pclose(pipe);
  const double seconds = timer.nsecsElapsed() / 1e9;
  found = std::atoi(line);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);  // the walk processes pending events as in the program
  int files = 100000, folders = 10000, runs = 5;
  std::string given;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--files")) files = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--folders")) folders = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--runs")) runs = std::max(1, std::atoi(argv[i + 1]));
    if (!std::strcmp(argv[i], "--tree")) given = argv[i + 1];
  }
  QTemporaryDir dir;
  const std::string root =
      given.empty() ? QFile::encodeName(dir.path()).toStdString() + "/Tree" : given;
  struct stat st {};
  const bool reuse = !given.empty() && ::stat(root.c_str(), &st) == 0;
  if (!reuse && (::mkdir(root.c_str(), 0755) != 0 || !BuildTree(root, folders, files))) {
    std::fprintf(stderr, "cannot build the tree under %s\n", root.c_str());
    return 1;
  }
  double scan = 1e9, find = 1e9, scanCpu = 1e9, findCpu = 1e9;
  int added = 0, found = 0, walked = 0;
  for (int r = 0; r < runs; ++r) {  // alternate, so both see the same cache state
    double before = CpuSeconds(RUSAGE_CHILDREN);
    find = std::min(find, FindSeconds(root, found));
    findCpu = std::min(findCpu, CpuSeconds(RUSAGE_CHILDREN) - before);
    before = CpuSeconds(RUSAGE_SELF);
    scan = std::min(scan, ScanSeconds(QFile::decodeName(root.c_str()), added, walked));
    scanCpu = std::min(scanCpu, CpuSeconds(RUSAGE_SELF) - before);
  }
  // Processor time as well, a steadier figure on a busy machine.
  std::fprintf(stderr, "processor time: scan %.3f s, find %.3f s, ratio %.2f\n", scanCpu, findCpu,
               scanCpu / findCpu);
  if (added != found) std::fprintf(stderr, "scan added %d files, find counted %d\n", added, found);
  std::printf("case=folder-scan files=%d folders=%d scan_s=%.3f find_s=%.3f ratio=%.2f\n", added,
              walked, scan, find, scan / find);
  return added == found ? 0 : 1;
}
