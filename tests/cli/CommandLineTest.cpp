// The command line of tabulory-batch: every option, its checks and the
// one-line reasons of usage errors.
#include "cli/CommandLine.h"

#include <gtest/gtest.h>

using namespace tabulory;
using namespace tabulory::cli;

namespace {

BatchCommand Parse(const QStringList& args) {
  const ParsedCommandLine parsed = ParseCommandLine(args);
  EXPECT_EQ(parsed.request, Request::Run);
  return parsed.command;
}

// The reason of the usage error the arguments give ("" when none).
std::string Refusal(const QStringList& args) {
  try {
    ParseCommandLine(args);
  } catch (const UsageError& e) {
    return e.what();
  }
  return "";
}

}  // namespace

TEST(CommandLine, SortWithDefaults) {
  const BatchCommand c = Parse({"sort", "--column", "C", "a.xlsx", "b.xlsx"});
  EXPECT_EQ(c.options.operation, Operation::Sort);
  EXPECT_EQ(c.options.sortColumn, 3);
  EXPECT_EQ(c.options.scope, Scope::EntireWorkbook);
  EXPECT_EQ(c.jobs, 1);
  EXPECT_FALSE(c.yes);
  EXPECT_EQ(c.files, (QStringList{"a.xlsx", "b.xlsx"}));
}

TEST(CommandLine, FilterWithEveryOptionInBothSpellings) {
  const BatchCommand c = Parse({"--scope=active", "filter", "x.xlsx", "--column=d", "--criterion",
                                "contains", "--value", "a b", "--yes", "--jobs=3", "y.xlsx"});
  EXPECT_EQ(c.options.operation, Operation::Filter);
  EXPECT_EQ(c.options.filterColumn, "D");
  EXPECT_EQ(c.options.criterion, kContains);
  EXPECT_EQ(c.options.value, "a b");
  EXPECT_EQ(c.options.scope, Scope::ActiveSheet);
  EXPECT_TRUE(c.yes);
  EXPECT_EQ(c.jobs, 3);
  EXPECT_EQ(c.files, (QStringList{"x.xlsx", "y.xlsx"}));
}

TEST(CommandLine, CriteriaWords) {
  const QStringList words{"equals", "contains", "not-blank", "blank"};
  for (int i = 0; i < words.size(); ++i)
    EXPECT_EQ(Parse({"filter", "--column", "A", "--criterion", words[i], "f"}).options.criterion, i);
  EXPECT_EQ(Parse({"filter", "--column", "A", "--criterion", "equals", "f"}).options.value, "");
  EXPECT_NE(Refusal({"filter", "--column", "A", "--criterion", "is blank", "f"}).find("invalid --criterion"),
            std::string::npos);
  EXPECT_EQ(Refusal({"filter", "--column", "A", "f"}), "filter needs --criterion");
}

// Letters A to IV in any case or plain digits 1 to 256; anything a script
// could mean otherwise is a usage error, never a guessed column.
TEST(CommandLine, ColumnAsLettersOrPlainNumber) {
  EXPECT_EQ(Parse({"sort", "--column", "ab", "f"}).options.sortColumn, 28);
  EXPECT_EQ(Parse({"sort", "--column", "28", "f"}).options.sortColumn, 28);
  EXPECT_EQ(Parse({"sort", "--column", "IV", "f"}).options.sortColumn, 256);
  EXPECT_EQ(Parse({"sort", "--column", "256", "f"}).options.sortColumn, 256);
  EXPECT_EQ(Parse({"filter", "--column", "27", "--criterion", "blank", "f"}).options.filterColumn, "AA");
  for (const char* bad : {"0", "1.0", "2.5", "+1", " 1", "1 ", "-3", "257", "300", "IW", "AAA", "", "A1", "99999999999"})
    EXPECT_EQ(Refusal({"sort", "--column", bad, "f"}),
              "invalid --column '" + std::string(bad) + "': use the column's letters A to IV or its number 1 to 256")
        << bad;
  EXPECT_EQ(Refusal({"sort", "f"}), "--column is required");
}

TEST(CommandLine, ScopeAndBlock) {
  const BatchCommand c = Parse({"sort", "--column", "A", "--scope", "block", "--block", "'Sheet 2'!$B$2:D9", "f"});
  EXPECT_EQ(c.options.scope, Scope::BlockOfCells);
  EXPECT_EQ(c.block, "'Sheet 2'!$B$2:D9");
  EXPECT_EQ(Parse({"sort", "--column", "A", "--scope", "block", "--block", "B5", "f"}).block, "B5");
  EXPECT_EQ(Refusal({"sort", "--column", "A", "--scope", "block", "f"}), "--scope block needs --block");
  EXPECT_EQ(Refusal({"sort", "--column", "A", "--block", "B2:D9", "f"}), "--block needs --scope block");
  EXPECT_NE(Refusal({"sort", "--column", "A", "--scope", "block", "--block", "B2:", "f"}).find("invalid --block"),
            std::string::npos);
  EXPECT_NE(Refusal({"sort", "--column", "A", "--scope", "sheet", "f"}).find("invalid --scope 'sheet'"),
            std::string::npos);
}

TEST(CommandLine, Jobs) {
  EXPECT_EQ(Parse({"sort", "--column", "A", "--jobs", "64", "f"}).jobs, 64);
  for (const char* bad : {"0", "-1", "65", "two", "1.5", ""})
    EXPECT_EQ(Refusal({"sort", "--column", "A", "--jobs", bad, "f"}),
              "invalid --jobs '" + std::string(bad) + "': a whole number from 1 to 64")
        << bad;
}

// --max-memory takes a size with an optional K, M, G or T (powers of 1024).
TEST(CommandLine, MaxMemory) {
  EXPECT_EQ(Parse({"sort", "--column", "A", "f"}).maxMemory, 0u);
  const std::pair<const char*, uint64_t> sizes[] = {{"4096", 4096}, {"512M", uint64_t(512) << 20}, {"4G", uint64_t(4) << 30}};
  for (const auto& [text, bytes] : sizes) EXPECT_EQ(Parse({"sort", "--column", "A", "--max-memory", text, "f"}).maxMemory, bytes);
  for (const char* bad : {"0", "-1", "4X", "G", ""})
    EXPECT_EQ(Refusal({"sort", "--column", "A", "--max-memory", bad, "f"}),
              "invalid --max-memory '" + std::string(bad) + "': a size such as 512M or 4G")
        << bad;
}

TEST(CommandLine, GnuSpellings) {
  EXPECT_EQ(Parse({"sort", "--col", "B", "--j", "2", "f"}).jobs, 2);  // unambiguous prefixes
  EXPECT_EQ(Refusal({"sort", "--c", "B", "f"}), "option '--c' is ambiguous");
  EXPECT_EQ(Refusal({"sort", "--colour", "B", "f"}), "unrecognized option '--colour'");
  EXPECT_EQ(Refusal({"sort", "--yes=no", "--column", "B", "f"}), "option '--yes' doesn't allow an argument");
  EXPECT_EQ(Refusal({"sort", "f", "--column"}), "option '--column' requires an argument");
  EXPECT_EQ(Refusal({"sort", "-x", "--column", "B", "f"}), "invalid option '-x'");
  // After "--" everything is a file, even what looks like an option.
  EXPECT_EQ(Parse({"sort", "--column", "B", "--", "--jobs", "-f"}).files, (QStringList{"--jobs", "-f"}));
  // The last of a repeated option counts.
  EXPECT_EQ(Parse({"sort", "--column", "B", "--column", "C", "f"}).options.sortColumn, 3);
}

TEST(CommandLine, OperationAndFiles) {
  EXPECT_EQ(Refusal({}), "missing operation: sort or filter");
  EXPECT_EQ(Refusal({"--column", "A"}), "missing operation: sort or filter");
  EXPECT_EQ(Refusal({"hide", "--column", "A", "f"}), "unknown operation 'hide': use sort or filter");
  EXPECT_EQ(Refusal({"sort", "--column", "A"}), "no files given");
  EXPECT_EQ(Refusal({"sort", "--column", "A", "--value", "x", "f"}), "--value applies to filter only");
  EXPECT_EQ(Refusal({"sort", "--column", "A", "--criterion", "blank", "f"}),
            "--criterion applies to filter only");
}

TEST(CommandLine, HelpAndVersionWinOverEverythingElse) {
  EXPECT_EQ(ParseCommandLine({"--help"}).request, Request::Help);
  EXPECT_EQ(ParseCommandLine({"sort", "--jobs", "9", "-h"}).request, Request::Help);
  EXPECT_EQ(ParseCommandLine({"--version"}).request, Request::Version);
  EXPECT_TRUE(HelpText().startsWith("Usage: tabulory-batch sort"));
  EXPECT_TRUE(VersionText().startsWith("tabulory-batch "));
}

// Every --files-from counts, in order; standard input can be read once.
TEST(CommandLine, FileListsAddUp) {
  EXPECT_EQ(Parse({"sort", "--column", "A", "--files-from", "a.txt", "--files-from=-", "--files-from", "b.txt"}).filesFrom,
            (QStringList{"a.txt", "-", "b.txt"}));
  EXPECT_EQ(Refusal({"sort", "--column", "A", "--files-from", "-", "--files-from", "-"}),
            "--files-from - (standard input) can be given once");
}
