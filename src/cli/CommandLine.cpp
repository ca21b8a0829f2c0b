#include "cli/CommandLine.h"

#include "app/shell/Messages.h"
#include "options/ColumnReference.h"
#include "options/OptionsPanel.h"
#include "host/core/MemoryBudget.h"
#include "host/formats/FileFormat.h"

#include <QRegularExpression>
#include <optional>

#ifndef TABULORY_VERSION
#define TABULORY_VERSION "0.0.0"
#endif

namespace tabulory::cli {

namespace {

// Keeps the last message instead of showing it.
class KeptMessage : public Messages {
 public:
  MessageAnswer Show(const QString& text, const QString&, MessageIcon, MessageButtons) override {
    last = text;
    return MessageAnswer::Ok;
  }
  QString Prompt(const QString&, const QString&, const QString&) override { return {}; }
  QString last;
};

enum class Argument { None, Required, Optional };

struct LongOption {
  const char* name;
  Argument argument;
};

constexpr LongOption kOptions[] = {
    {"column", Argument::Required},     {"criterion", Argument::Required}, {"value", Argument::Required},
    {"scope", Argument::Required},      {"block", Argument::Required},     {"jobs", Argument::Required},
    {"yes", Argument::None},            {"help", Argument::None},          {"version", Argument::None},
    {"backup", Argument::Optional},     {"dry-run", Argument::None},       {"files-from", Argument::Required},
    {"null", Argument::None},           {"max-memory", Argument::Required},
};

QString Quoted(const QString& text) { return QLatin1Char('\'') + text + QLatin1Char('\''); }

// The full name of a long option given as `name` (exact, or a prefix of
// exactly one option).
const LongOption& FindOption(const QString& name) {
  std::optional<const LongOption*> found;
  int matches = 0;
  for (const LongOption& o : kOptions) {
    const QString full = QString::fromLatin1(o.name);
    if (full == name) return o;
    if (!name.isEmpty() && full.startsWith(name)) {
      found = &o;
      ++matches;
    }
  }
  if (matches == 1) return **found;
  if (matches > 1) throw UsageError(QStringLiteral("option '--%1' is ambiguous").arg(name));
  throw UsageError(QStringLiteral("unrecognized option '--%1'").arg(name));
}

// The values given, by option; absent when the option was not given.
struct GivenOptions {
  std::optional<QString> column, criterion, value, scope, block, jobs, backup, maxMemory;
  QStringList filesFrom;  // every --files-from, in order: the lists add up
  bool yes = false;
  bool help = false;
  bool version = false;
  bool dryRun = false;
  bool null = false;
};

void Store(GivenOptions& given, const QString& name, const QString& value) {
  if (name == "column") given.column = value;
  else if (name == "criterion") given.criterion = value;
  else if (name == "value") given.value = value;
  else if (name == "scope") given.scope = value;
  else if (name == "block") given.block = value;
  else if (name == "jobs") given.jobs = value;
  else if (name == "max-memory") given.maxMemory = value;
  else if (name == "backup") given.backup = value;
  else if (name == "files-from") given.filesFrom << value;
}

void StoreFlag(GivenOptions& given, const QString& name) {
  if (name == "yes") given.yes = true;
  else if (name == "help") given.help = true;
  else if (name == "version") given.version = true;
  else if (name == "dry-run") given.dryRun = true;
  else if (name == "null") given.null = true;
}

// A memory size: digits with an optional K, M, G or T (powers of 1024).
uint64_t MemoryFromArgument(const QString& text) {
  uint64_t bytes = 0;
  if (!host::ParseSize(text.toStdString(), bytes))
    throw UsageError(QStringLiteral("invalid --max-memory %1: a size such as 512M or 4G").arg(Quoted(text)));
  return bytes;
}

// A backup suffix must name another file in the same folder.
QString BackupSuffixFromArgument(const QString& suffix) {
  if (suffix.isEmpty() || suffix.contains(QLatin1Char('/')) || suffix.contains(QChar(0)))
    throw UsageError(QStringLiteral("invalid --backup suffix %1: it must be non-empty and hold no '/'")
                         .arg(Quoted(suffix)));
  return suffix;
}

Scope ScopeFromArgument(const QString& word) {
  if (word == "workbook") return Scope::EntireWorkbook;
  if (word == "active") return Scope::ActiveSheet;
  if (word == "block") return Scope::BlockOfCells;
  throw UsageError(QStringLiteral("invalid --scope %1: use workbook, active or block").arg(Quoted(word)));
}

int JobsFromArgument(const QString& text) {
  bool ok = false;
  const int jobs = text.toInt(&ok);
  if (!ok || jobs < 1 || jobs > kMaxJobs)
    throw UsageError(QStringLiteral("invalid --jobs %1: a whole number from 1 to %2")
                         .arg(Quoted(text))
                         .arg(kMaxJobs));
  return jobs;
}

// A block reference: A1 or A1:B2 (with optional $), optionally after a sheet
// name and "!" (quoted when it holds blanks or other signs).
bool LooksLikeBlock(const QString& text) {
  static const QRegularExpression kBlock(QStringLiteral(
      R"(^(?:(?:'(?:[^']|'')+'|[^'!:\s]+)!)?\$?[A-Za-z]{1,3}\$?[0-9]+(?::\$?[A-Za-z]{1,3}\$?[0-9]+)?$)"));
  return kBlock.match(text).hasMatch();
}

}  // namespace

QString ProgramName() { return QStringLiteral("tabulory-batch"); }

// A column on the command line is its letters (A to IV, any case) or its
// number 1 to 256 in plain digits: no sign, point, blank or rounding, so that
// a script's mistake ("0", "1.0", " 1") stops the run instead of choosing a
// column.
QString ColumnFromArgument(const QString& text) {
  static const QRegularExpression kDigits(QStringLiteral("^[0-9]{1,9}$")), kLetters(QStringLiteral("^[A-Za-z]{1,2}$"));
  const auto refuse = [&text] {
    return UsageError(QStringLiteral("invalid --column %1: use the column's letters A to IV or its number 1 to 256")
                          .arg(Quoted(text)));
  };
  if (kDigits.match(text).hasMatch()) {
    const int number = text.toInt();
    if (number < 1 || number > ColumnLimit) throw refuse();
    KeptMessage message;
    return ColumnLettersFromNumber(number, message);
  }
  if (!kLetters.match(text).hasMatch()) throw refuse();
  const QString letters = text.toUpper();
  if (ColumnNumberFromLetters(letters) > ColumnLimit) throw refuse();
  return letters;
}

int CriterionFromArgument(const QString& word) {
  if (word == "equals") return kEquals;
  if (word == "contains") return kContains;
  if (word == "not-blank") return kIsNotBlank;
  if (word == "blank") return kIsBlank;
  throw UsageError(QStringLiteral("invalid --criterion %1: use equals, contains, not-blank or blank")
                       .arg(Quoted(word)));
}

ParsedCommandLine ParseCommandLine(const QStringList& arguments) {
  GivenOptions given;
  QStringList words;  // the operation and the files
  bool optionsEnded = false;
  for (int i = 0; i < arguments.size(); ++i) {
    const QString& arg = arguments[i];
    if (optionsEnded || arg == "-" || !arg.startsWith('-')) {
      words << arg;
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h") {
      given.help = true;
      continue;
    }
    if (!arg.startsWith("--")) throw UsageError(QStringLiteral("invalid option %1").arg(Quoted(arg)));

    const qsizetype equals = arg.indexOf('=');
    const QString name = arg.mid(2, equals < 0 ? -1 : equals - 2);
    const LongOption& option = FindOption(name);
    const QString full = QString::fromLatin1(option.name);
    if (option.argument == Argument::None) {
      if (equals >= 0)
        throw UsageError(QStringLiteral("option '--%1' doesn't allow an argument").arg(full));
      StoreFlag(given, full);
      continue;
    }
    if (option.argument == Argument::Optional) {
      // Only --name=value gives it a value, so a file name after it stays a file.
      Store(given, full, equals >= 0 ? arg.mid(equals + 1) : QString::fromLatin1(kDefaultBackupSuffix));
      continue;
    }
    QString value;
    if (equals >= 0) {
      value = arg.mid(equals + 1);
    } else if (i + 1 < arguments.size()) {
      value = arguments[++i];
    } else {
      throw UsageError(QStringLiteral("option '--%1' requires an argument").arg(full));
    }
    Store(given, full, value);
  }

  ParsedCommandLine parsed;
  if (given.help) {
    parsed.request = Request::Help;
    return parsed;
  }
  if (given.version) {
    parsed.request = Request::Version;
    return parsed;
  }

  if (words.isEmpty()) throw UsageError(QStringLiteral("missing operation: sort or filter"));
  const QString operation = words.takeFirst();
  BatchCommand& c = parsed.command;
  if (operation == "sort") c.options.operation = Operation::Sort;
  else if (operation == "filter") c.options.operation = Operation::Filter;
  else throw UsageError(QStringLiteral("unknown operation %1: use sort or filter").arg(Quoted(operation)));
  const bool filter = c.options.operation == Operation::Filter;

  if (!given.column) throw UsageError(QStringLiteral("--column is required"));
  const QString letters = ColumnFromArgument(*given.column);
  c.options.filterColumn = letters;
  c.options.sortColumn = ColumnNumberFromLetters(letters);

  if (filter) {
    if (!given.criterion) throw UsageError(QStringLiteral("filter needs --criterion"));
    c.options.criterion = CriterionFromArgument(*given.criterion);
    c.options.value = given.value.value_or(QString());
  } else {
    if (given.criterion) throw UsageError(QStringLiteral("--criterion applies to filter only"));
    if (given.value) throw UsageError(QStringLiteral("--value applies to filter only"));
  }

  c.options.scope = given.scope ? ScopeFromArgument(*given.scope) : Scope::EntireWorkbook;
  if (c.options.scope == Scope::BlockOfCells) {
    if (!given.block) throw UsageError(QStringLiteral("--scope block needs --block"));
    if (!LooksLikeBlock(*given.block))
      throw UsageError(QStringLiteral("invalid --block %1: a reference like B2:D9 or 'Sheet 2'!B2:D9")
                           .arg(Quoted(*given.block)));
    c.block = *given.block;
  } else if (given.block) {
    throw UsageError(QStringLiteral("--block needs --scope block"));
  }

  c.yes = given.yes;
  if (given.jobs) c.jobs = JobsFromArgument(*given.jobs);
  if (given.maxMemory) c.maxMemory = MemoryFromArgument(*given.maxMemory);
  if (given.backup) c.backupSuffix = BackupSuffixFromArgument(*given.backup);
  c.dryRun = given.dryRun;
  c.filesFrom = given.filesFrom;
  for (const QString& list : c.filesFrom)
    if (list.isEmpty()) throw UsageError(QStringLiteral("--files-from needs a file name, or - for standard input"));
  if (c.filesFrom.count(QStringLiteral("-")) > 1)
    throw UsageError(QStringLiteral("--files-from - (standard input) can be given once"));
  if (given.null && c.filesFrom.isEmpty()) throw UsageError(QStringLiteral("--null applies to --files-from only"));
  c.nullSeparated = given.null;
  c.files = words;
  // A list file may well be empty (find found nothing); the command line alone may not.
  if (c.files.isEmpty() && c.filesFrom.isEmpty()) throw UsageError(QStringLiteral("no files given"));
  return parsed;
}

QString VersionText() {
  return ProgramName() + QStringLiteral(" ") + QStringLiteral(TABULORY_VERSION) + QLatin1Char('\n');
}

namespace {

// `text` broken into lines of at most `width` characters at blanks.
QString Wrapped(const QString& text, int width) {
  QString lines, line;
  for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
    if (!line.isEmpty() && line.size() + 1 + word.size() > width) {
      lines += line + QLatin1Char('\n');
      line.clear();
    }
    line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
  }
  return lines + line + QLatin1Char('\n');
}

// One option of the help: its spelling, then its description from column 21;
// a long spelling gets the description on the lines below. Every option is
// its own paragraph of the manual page help2man makes from this.
QString OptionHelp(const QString& spelling, const QString& description) {
  constexpr int kColumn = 20, kWidth = 79;
  QString lines;
  const QStringList body = Wrapped(description, kWidth - kColumn).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  const QString head = QStringLiteral("  ") + spelling;
  int first = 0;
  if (head.size() + 2 <= kColumn) {
    lines += head.leftJustified(kColumn) + body.value(0) + QLatin1Char('\n');
    first = 1;
  } else {
    lines += head + QLatin1Char('\n');
  }
  for (int i = first; i < body.size(); ++i) lines += QString(kColumn, QLatin1Char(' ')) + body[i] + QLatin1Char('\n');
  return lines;
}

}  // namespace

QString FormatsText() { return QString::fromStdString(host::FormatsOpened()); }

QString HelpText() {
  QString help = QStringLiteral(
      "Usage: tabulory-batch sort --column C [OPTION]... FILE...\n"
      "  or:  tabulory-batch filter --column D --criterion WORD [OPTION]... FILE...\n"
      "\n"
      "Sorts the used rows of each workbook ascending by one column, or hides every row\n"
      "whose cell in one column fails a criterion, and saves each workbook over itself.\n"
      "\n");
  help += OptionHelp(QStringLiteral("--column C"), QStringLiteral("the column, as letters A to IV or as its number 1 to 256"));
  help += OptionHelp(QStringLiteral("--criterion WORD"),
                     QStringLiteral("filter only: a row stays when its cell text equals the value exactly "
                                    "(equals), holds it (contains; both case-sensitive), is not empty (not-blank) "
                                    "or is empty (blank)"));
  help += OptionHelp(QStringLiteral("--value TEXT"),
                     QStringLiteral("filter only: the value for equals and contains (default empty)"));
  help += OptionHelp(QStringLiteral("--scope SCOPE"),
                     QStringLiteral("workbook: every worksheet (default); active: the active sheet; block: the "
                                    "cells of --block"));
  help += OptionHelp(QStringLiteral("--block REF"),
                     QStringLiteral("the block for --scope block in every file, e.g. B2:D9 or 'Sheet 2'!B2:D9 "
                                    "(without a sheet name: the active sheet)"));
  help += OptionHelp(QStringLiteral("--yes"),
                     QStringLiteral("go on when another spreadsheet program or Tabulory window is running"));
  help += OptionHelp(QStringLiteral("--jobs N"),
                     QStringLiteral("process N files at a time (default 1); the output keeps the list order"));
  help += OptionHelp(QStringLiteral("--max-memory SIZE"),
                     QStringLiteral("the memory the run may take (e.g. 512M, 4G; default: what the machine has "
                                    "free), shared by the --jobs; a file whose estimated need exceeds its share "
                                    "fails, saying how much"));
  help += OptionHelp(QStringLiteral("--backup[=SUFFIX]"),
                     QStringLiteral("keep the original of each file saved as FILE+SUFFIX (default \"~\"), made "
                                    "before the new file replaces it, with its owner, mode and attributes; it "
                                    "replaces the last backup of that name"));
  help += OptionHelp(QStringLiteral("--backup=numbered"),
                     QStringLiteral("keep every backup, as FILE.~1~, FILE.~2~, ... (as GNU cp does)"));
  help += OptionHelp(QStringLiteral("--dry-run"),
                     QStringLiteral("open each file and report, per sheet, the rows that would move (sort) or be "
                                    "hidden (filter); write nothing"));
  help += OptionHelp(QStringLiteral("--files-from LIST"),
                     QStringLiteral("also process the files LIST names, one per line (\"-\": read the list from "
                                    "standard input); given again, the lists add up; a binary file is refused"));
  help += OptionHelp(QStringLiteral("--null"),
                     QStringLiteral("the names in LIST end with NUL, not a new line, as find -print0 writes them"));
  help += OptionHelp(QStringLiteral("-h, --help"), QStringLiteral("show this help and exit"));
  help += OptionHelp(QStringLiteral("--version"), QStringLiteral("show the version and exit"));
  help += QLatin1Char('\n');
  help += Wrapped(QStringLiteral("Formats, told by each file's content: ") + FormatsText() +
                      QStringLiteral(". CSV and TSV files cannot keep hidden rows: a filter that would hide one "
                                     "fails for the file and leaves it as it was. Only what changes is written; "
                                     "the rest of each file stays byte for byte. A name that is no regular file "
                                     "(a pipe, device or socket) fails at once; names are taken as their bytes, "
                                     "UTF-8 or not."),
                  79);
  help += QLatin1Char('\n');
  help += Wrapped(QStringLiteral("Each file gets a line on standard output, \"ok FILE\" or \"failed FILE: reason\", "
                                 "and \"Done.\" follows the last one unless the block of the last block-scope file "
                                 "was not found. A dry run puts a line per worksheet before a file's line: "
                                 "'FILE: sheet \"NAME\": N rows would move' for a sort, '... would be hidden' for "
                                 "a filter. On a terminal a progress bar is drawn on standard error (not where "
                                 "TERM is dumb). Formulas whose inputs a change moved or hid get fresh results; where "
                                 "some cannot be computed here, the line says so: \"ok FILE (3 formulas will be "
                                 "recalculated when opened)\", or for an .ods file, which cannot ask for that, \"(3 formulas could "
                                 "not be recalculated and keep their earlier results)\"."),
                  79);
  help += QLatin1Char('\n');
  help += Wrapped(QStringLiteral("A workbook that another program has open (a lock file of LibreOffice or an owner "
                                 "file ~$NAME beside it) fails and stays untouched; while a workbook is being "
                                 "changed, a LibreOffice lock file beside it tells other programs so. Error "
                                 "reports go to standard error. When another spreadsheet program or Tabulory "
                                 "window is running, the command names it and asks whether to go on if it has a "
                                 "terminal; otherwise no file is processed and each gets its \"failed\" line. "
                                 "--yes answers the question."),
                  79);
  help += QLatin1Char('\n');
  help += Wrapped(QStringLiteral("Exit status: 0 when every file succeeded, 1 when any failed or the run was "
                                 "stopped, 2 on a usage error."),
                  79);
  return help;
}

}  // namespace tabulory::cli
