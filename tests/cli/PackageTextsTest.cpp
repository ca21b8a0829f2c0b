// The texts that come with the package, as the build makes them: every one
// names every format the host opens, and the manual page of tabulory-batch
// gives each option a paragraph of its own.
#include "cli/CommandLine.h"
#include "host/formats/FormatRegistry.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace tabulory::cli;

namespace {

QString Read(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

// A compressed manual page's text, or nothing when it was not made.
QString ReadCompressed(const QString& path) {
  if (!QFile::exists(path)) return {};
  QProcess gzip;
  gzip.start(QStringLiteral("gzip"), {"-dc", path});
  if (!gzip.waitForFinished(30000)) return {};
  return QString::fromUtf8(gzip.readAllStandardOutput());
}

const QString kBuild = QStringLiteral(TABULORY_BINARY_DIR);

}  // namespace

TEST(PackageTexts, EachNamesEveryFormatTheHostOpens) {
  struct Text {
    const char* what;
    QString text;
    QString form;  // how an ending is written there: %1 is the ending
  } texts[] = {
      {"--help", HelpText(), ".%1"},
      {"tabulory(1)", Read(kBuild + "/packaging/man/tabulory.1"), ".%1"},
      {"the bash completion", Read(kBuild + "/packaging/tabulory-batch.bash"), "%1"},
      {"the package description", Read(kBuild + "/packaging/CPackFormats.cmake"), ".%1"},
  };
  for (const Text& t : texts) {
    ASSERT_FALSE(t.text.isEmpty()) << t.what;
    for (const host::WorkbookFormat& format : host::WorkbookFormats())
      for (std::string_view extension : format.extensions) {
        const QString ending = QString::fromUtf8(extension.data(), extension.size()).remove(0, extension.starts_with('.') ? 1 : 0);
        EXPECT_TRUE(t.text.contains(QRegularExpression("(?<!\\w)" + QRegularExpression::escape(t.form.arg(ending)) + "(?!\\w)")))
            << t.what << ": " << ending.toStdString();
      }
  }
}

TEST(PackageTexts, TheManualPageGivesEachOptionItsOwnParagraph) {
  const QString page = ReadCompressed(kBuild + "/packaging/man/tabulory-batch.1.gz");
  if (page.isEmpty()) GTEST_SKIP() << "help2man (Debian package help2man) is not installed: no page was made";
  // The tag line of each paragraph (.TP) of the options.
  QStringList tags;
  const QStringList lines = page.split('\n');
  for (int i = 0; i + 1 < lines.size(); ++i)
    if (lines[i] == ".TP") tags << lines[i + 1];
  const QStringList options{"column", "criterion", "value", "scope", "block", "yes", "jobs", "max\\-memory", "backup",
                            "backup", "dry\\-run", "files\\-from", "null", "help", "version"};
  ASSERT_EQ(tags.size(), options.size()) << tags.join('\n').toStdString();
  for (int i = 0; i < options.size(); ++i) {
    EXPECT_TRUE(tags[i].contains("\\-\\-" + options[i])) << tags[i].toStdString();
    EXPECT_EQ(tags[i].count("\\-\\-"), 1) << "two options in one paragraph: " << tags[i].toStdString();
  }
}
