#pragma once
// The command line of tabulory-batch: GNU-style long options (also written
// --name=value, and abbreviated while unambiguous), the operation word and the
// files, checked into one record.

#include "options/ProcessingOptions.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <stdexcept>

namespace tabulory::cli {

// The most worker threads --jobs accepts.
inline constexpr int kMaxJobs = 64;

// What one invocation asks for.
struct BatchCommand {
  ProcessingOptions options;  // operation, scope, column, criterion, value
  QString block;              // the --block reference; empty unless block scope
  bool yes = false;           // go on even when another spreadsheet program runs
  int jobs = 1;               // worker threads
  uint64_t maxMemory = 0;     // --max-memory in bytes, shared by the jobs; 0: the memory free
  QStringList files;          // in processing order (the list of --files-from follows)
  std::optional<QString> backupSuffix;  // --backup: keep each original as FILE+suffix
  bool dryRun = false;                  // report what would change, write nothing
  QStringList filesFrom;                // each --files-from: a list file, "-" for standard input
  bool nullSeparated = false;           // --null: the list is NUL-separated
};

enum class Request { Run, Help, Version };

struct ParsedCommandLine {
  Request request = Request::Run;
  BatchCommand command;
};

// A usage error; what() is its one-line reason.
class UsageError : public std::runtime_error {
 public:
  explicit UsageError(const QString& reason) : std::runtime_error(reason.toStdString()), reason_(reason) {}
  // What is wrong with the command line, in the command's own words.
  const QString& Reason() const { return reason_; }

 private:
  QString reason_;
};

// Parses the arguments after the program name. Throws UsageError.
ParsedCommandLine ParseCommandLine(const QStringList& arguments);

// The column given to --column as letters "A" to "IV": letters in any case,
// or a number, rounded halves to even, as the window's column box takes them.
// Throws UsageError with the box's own message when it names no column.
QString ColumnFromArgument(const QString& text);

// The criterion index of a --criterion word (equals, contains, not-blank,
// blank); throws UsageError for any other.
int CriterionFromArgument(const QString& word);

// The default suffix of --backup.
inline constexpr char kDefaultBackupSuffix[] = "~";

// The program's name in messages.
QString ProgramName();
// The formats the host opens, for the help, from the host's list of formats:
// ".xlsx, ..., .csv and .tsv".
QString FormatsText();
// The text of --help, and of --version.
QString HelpText();
QString VersionText();

}  // namespace tabulory::cli
