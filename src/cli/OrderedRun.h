#pragma once
// Files processed on several threads, each file in a host instance of its own,
// with the results handed back in list order.

#include "batch/BatchRun.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace tabulory::cli {

// What processing one file gave.
struct FileResult {
  int index = 0;        // 1-based place in the list
  QString path;
  FileOutcome outcome;
  QString reports;      // the messages of the file's run, as written lines
  QString details;      // lines for standard output before the file's line (dry run)
  QString refusal;      // why no block was found (block scope only)
  QStringList savedSheets;  // the sheets whose changes the save kept
  bool notStarted = false;  // left untouched because the run was ending
};

// Processes the file at `path` (list entry `index`). `state` carries from one
// file of a thread to its next, as from one file of a run to the next.
using ProcessOne = std::function<FileResult(int index, const QString& path, RunState& state)>;
// Receives each result on the calling thread, in list order.
using Deliver = std::function<void(const FileResult& result)>;
// Told on the calling thread whenever a file starts or ends: files finished so
// far, the total, and the file started last.
using ProgressTick = std::function<void(int done, int total, const QString& current)>;

// Runs `process` over `files` on `jobs` threads (at most one per file) and
// returns when all are delivered. Entries that name the same file (the same
// path after resolving links and relative parts) never run at the same time;
// a later one waits until the earlier one is finished.
void RunInListOrder(const QStringList& files, int jobs, const ProcessOne& process,
                    const Deliver& deliver, const ProgressTick& progress = {});

// The key under which two entries count as the same file.
QString SameFileKey(const QString& path);

}  // namespace tabulory::cli
