#include "batch/HostRunning.h"

#include "app/shell/Messages.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace tabulory {
namespace fs = std::filesystem;

namespace {

// The whole of a small /proc file, or nothing when it cannot be read.
std::string ReadSmallFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The part after the last slash or backslash (argv[0] may carry either).
std::string BaseName(std::string_view path) {
  const auto cut = path.find_last_of("/\\");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

// The value of a "Key:\tvalue" line of a status file, or empty.
std::string StatusField(const std::string& status, std::string_view key) {
  std::istringstream lines(status);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.size() > key.size() && line.compare(0, key.size(), key) == 0 &&
        line[key.size()] == ':') {
      const auto start = line.find_first_not_of(" \t", key.size() + 1);
      return start == std::string::npos ? std::string() : line.substr(start);
    }
  }
  return {};
}

// The real user id of a status file; false when it has none.
bool StatusUser(const std::string& status, uid_t& user) {
  const std::string field = StatusField(status, "Uid");
  if (field.empty() || field[0] < '0' || field[0] > '9') return false;
  try {
    user = static_cast<uid_t>(std::stoul(field));
  } catch (...) {
    return false;
  }
  return true;
}

std::vector<std::string> SplitArguments(const std::string& cmdline) {
  std::vector<std::string> args;
  std::string current;
  for (char ch : cmdline) {
    if (ch == '\0') {
      args.push_back(std::move(current));
      current.clear();
    } else {
      current.push_back(ch);
    }
  }
  if (!current.empty()) args.push_back(std::move(current));
  return args;
}

constexpr char kTabuloryWindow[] = "tabulory";

bool IsKnownProgram(const std::string& name, bool tabuloryWindows) {
  if (name.empty()) return false;
  if (tabuloryWindows && name == kTabuloryWindow) return true;
  const auto& known = KnownSpreadsheetPrograms();
  return std::find(known.begin(), known.end(), name) != known.end();
}

// The name users know a program by, for its executable's name.
QString ShownName(const std::string& executable) {
  if (executable == "soffice.bin") return QStringLiteral("LibreOffice");
  if (executable == "gnumeric") return QStringLiteral("Gnumeric");
  if (executable == "et") return QStringLiteral("WPS Office Spreadsheets");
  if (executable == "calligrasheets") return QStringLiteral("Calligra Sheets");
  if (executable == "DesktopEditors") return QStringLiteral("ONLYOFFICE Desktop Editors");
  if (executable == kTabuloryWindow) return QStringLiteral("Tabulory");
  return QString::fromStdString(executable);
}

// A spreadsheet program started without a window only converts or serves
// files for another program; it is no instance the user works in.
bool RunsWithoutWindow(const std::vector<std::string>& args) {
  static const char* const kFlags[] = {"--headless", "-headless", "--invisible", "-invisible"};
  for (std::size_t i = 1; i < args.size(); ++i)
    for (const char* flag : kFlags)
      if (args[i] == flag) return true;
  return false;
}

// The known program the process in this folder runs, when it is a
// spreadsheet program of the user with a window.
std::optional<std::string> UsersSpreadsheetProgram(const fs::path& dir, uid_t user, bool tabuloryWindows) {
  const std::string status = ReadSmallFile(dir / "status");
  uid_t owner = 0;
  if (!StatusUser(status, owner) || owner != user) return std::nullopt;
  if (StatusField(status, "State").starts_with('Z')) return std::nullopt;  // ended, not yet reaped

  std::vector<std::string> names;
  std::error_code ec;
  std::string exe = fs::read_symlink(dir / "exe", ec).string();
  if (!ec) {
    constexpr std::string_view kDeleted = " (deleted)";  // binary replaced by an update
    if (exe.ends_with(kDeleted)) exe.resize(exe.size() - kDeleted.size());
    names.push_back(BaseName(exe));
  }
  const std::vector<std::string> args = SplitArguments(ReadSmallFile(dir / "cmdline"));
  if (!args.empty()) names.push_back(BaseName(args[0]));
  std::string comm = ReadSmallFile(dir / "comm");
  while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\0')) comm.pop_back();
  names.push_back(comm);

  const auto known = std::find_if(names.begin(), names.end(),
                                  [&](const std::string& name) { return IsKnownProgram(name, tabuloryWindows); });
  if (known == names.end() || RunsWithoutWindow(args)) return std::nullopt;
  return *known;
}

bool IsProcessFolderName(const std::string& name) {
  return !name.empty() && std::all_of(name.begin(), name.end(),
                                      [](char ch) { return ch >= '0' && ch <= '9'; });
}

}  // namespace

uid_t ProcessTable::CurrentUser() { return getuid(); }
pid_t ProcessTable::CurrentProcess() { return getpid(); }

QString RunningProgramPhrase(const RunningProgram& program) {
  const QString pid = QStringLiteral(" (process id %1)").arg(program.process);
  if (program.tabulory) return QStringLiteral("another %1 instance").arg(program.name) + pid;
  return QStringLiteral("a %1 process").arg(program.name) + pid;
}

const std::vector<std::string>& KnownSpreadsheetPrograms() {
  static const std::vector<std::string> kPrograms = {
      "soffice.bin",     // the LibreOffice suite (Calc runs inside it)
      "gnumeric",        // Gnumeric
      "et",              // WPS Office spreadsheets
      "calligrasheets",  // Calligra Sheets
      "DesktopEditors",  // ONLYOFFICE desktop editors
  };
  return kPrograms;
}

std::optional<RunningProgram> FindRunningHost(const ProcessTable& table) {
  try {
    std::error_code ec;
    fs::directory_iterator it(table.root, ec);
    if (ec) return std::nullopt;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
      if (ec) return std::nullopt;
      // Processes come and go while the table is read; a vanished one simply
      // yields nothing.
      const std::string folder = it->path().filename().string();
      if (!IsProcessFolderName(folder) || folder.size() > 18) continue;
      const long long pid = std::stoll(folder);
      if (pid == table.self) continue;
      if (const auto program = UsersSpreadsheetProgram(it->path(), table.user, table.tabuloryWindows))
        return RunningProgram{ShownName(*program), pid, *program == kTabuloryWindow};
    }
  } catch (...) {
  }
  return std::nullopt;
}

bool IsHostRunning(const ProcessTable& table) { return FindRunningHost(table).has_value(); }

QString HostRunningQuestion() {
  return QStringLiteral(
      "Excel may be open. It is recommended that you close Excel first.\r"
      "Use Ctrl+Alt+Del > Task Manager > EXCEL.EXE if necessary.\r\n\r\n"
      "Would you like to proceed anyway?");
}

bool AskStopIfHostRunning(Messages& messages, const ProcessTable& table) {
  if (!IsHostRunning(table)) return false;
  return messages.Show(HostRunningQuestion(), QString(), MessageIcon::None,
                       MessageButtons::YesNo) == MessageAnswer::No;
}

}  // namespace tabulory
