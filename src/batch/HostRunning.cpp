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

bool IsKnownProgram(const std::string& name) {
  if (name.empty()) return false;
  const auto& known = KnownSpreadsheetPrograms();
  return std::find(known.begin(), known.end(), name) != known.end();
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

// True when the process in this folder is a spreadsheet program of the user.
bool IsUsersSpreadsheetProcess(const fs::path& dir, uid_t user) {
  const std::string status = ReadSmallFile(dir / "status");
  uid_t owner = 0;
  if (!StatusUser(status, owner) || owner != user) return false;
  if (StatusField(status, "State").starts_with('Z')) return false;  // ended, not yet reaped

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

  if (std::none_of(names.begin(), names.end(), IsKnownProgram)) return false;
  return !RunsWithoutWindow(args);
}

bool IsProcessFolderName(const std::string& name) {
  return !name.empty() && std::all_of(name.begin(), name.end(),
                                      [](char ch) { return ch >= '0' && ch <= '9'; });
}

}  // namespace

uid_t ProcessTable::CurrentUser() { return getuid(); }

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

bool IsHostRunning(const ProcessTable& table) {
  try {
    std::error_code ec;
    fs::directory_iterator it(table.root, ec);
    if (ec) return false;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
      if (ec) return false;
      // Processes come and go while the table is read; a vanished one simply
      // yields nothing.
      if (!IsProcessFolderName(it->path().filename().string())) continue;
      if (IsUsersSpreadsheetProcess(it->path(), table.user)) return true;
    }
  } catch (...) {
  }
  return false;
}

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
