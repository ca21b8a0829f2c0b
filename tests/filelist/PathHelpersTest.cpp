// Path text rules, wildcard matching, attributes, existence probes and the
// listing of one folder's files.
#include "FileListFixtures.h"
#include "filelist/CleanPath.h"
#include "filelist/FileAttributes.h"
#include "filelist/FolderWalk.h"
#include "filelist/ListFiles.h"
#include "filelist/Wildcard.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tabulory;
using tabulory::testing::TempTree;

TEST(CleanPath, PosixCollapsesPairsInOnePassFromTheStart) {
  EXPECT_EQ(CleanPathPosix("/home/ann/book.xlsx"), "/home/ann/book.xlsx");
  EXPECT_EQ(CleanPathPosix("/home//ann/book.xlsx"), "/home/ann/book.xlsx");
  EXPECT_EQ(CleanPathPosix("/a////b"), "/a//b");    // four become two
  EXPECT_EQ(CleanPathPosix("/a///b"), "/a//b");     // three become two
  EXPECT_EQ(CleanPathPosix("//book.xlsx"), "/book.xlsx");  // the root joined with a name
  EXPECT_EQ(CleanPathPosix("////srv/x"), "//srv/x");
  EXPECT_EQ(CleanPathPosix(""), "");
  EXPECT_EQ(CleanPathPosix("//"), "/");
}

TEST(CleanPath, WindowsKeepsTwoLeadingBackslashes) {
  EXPECT_EQ(CleanPathWindows("C:\\\\book.xlsx"), "C:\\book.xlsx");
  EXPECT_EQ(CleanPathWindows("C:\\a\\\\\\\\b"), "C:\\a\\\\b");  // four become two
  EXPECT_EQ(CleanPathWindows("C:\\a\\\\\\b"), "C:\\a\\\\b");    // three become two
  EXPECT_EQ(CleanPathWindows("C:\\a\\b"), "C:\\a\\b");
  EXPECT_EQ(CleanPathWindows("\\\\srv\\share\\\\f"), "\\\\srv\\share\\f");
  EXPECT_EQ(CleanPathWindows("\\\\\\srv\\f"), "\\\\srv\\f");
  EXPECT_EQ(CleanPathWindows("\\\\\\\\srv\\f"), "\\\\srv\\f");
  EXPECT_EQ(CleanPathWindows("\\srv\\f"), "\\\\srv\\f");  // a single one becomes two
  EXPECT_EQ(CleanPathWindows("\\\\\\\\\\"), "\\\\");      // only backslashes
  EXPECT_EQ(CleanPathWindows("a/b//c"), "a/b//c");        // slashes are not its business
}

TEST(Wildcard, CaseInsensitiveStarsQuestionMarksAndTheAllPattern) {
  EXPECT_TRUE(WildcardMatch("*.xl*", "Sales.XLSX"));
  EXPECT_TRUE(WildcardMatch("*.xl*", "old.xls"));
  EXPECT_TRUE(WildcardMatch("*.xl*", "macro.xlsm"));
  EXPECT_FALSE(WildcardMatch("*.xl*", "notes.txt"));
  EXPECT_FALSE(WildcardMatch("*.xl*", "xlsx"));
  EXPECT_TRUE(WildcardMatch("*.*", "README"));  // every name, also without a dot
  EXPECT_TRUE(WildcardMatch("*.*", ".hidden"));
  EXPECT_TRUE(WildcardMatch("*.txt", "a.b.TXT"));
  EXPECT_FALSE(WildcardMatch("*.txt", "a.txt.bak"));
  EXPECT_TRUE(WildcardMatch("b?ok.*", "BOOK.csv"));
  EXPECT_FALSE(WildcardMatch("b?ok.*", "bk.csv"));
  EXPECT_FALSE(WildcardMatch("*..xlsx", "book.xlsx"));  // a typed leading dot
  EXPECT_TRUE(WildcardMatch("*..xlsx", "odd..xlsx"));
  EXPECT_TRUE(WildcardMatch("*.ТАБ", "отчёт.таб"));  // case folding beyond ASCII
}

TEST(FileAttributes, ValuesFollowTheEntryKindNameAndWritePermission) {
  TempTree t;
  const QString plain = t.File("plain.xlsx");
  const QString hidden = t.File(".hidden.xlsx");
  const QString lockFile = t.File(".~lock.book.xlsx#");
  const QString readOnlyHidden = t.File(".ro.xlsx");
  ::chmod(QFile::encodeName(readOnlyHidden).constData(), 0444);
  t.Folder("sub");
  t.Folder(".hiddenFolder");
  ::symlink("plain.xlsx", QFile::encodeName(t.Path("link.xlsx")).constData());
  ::symlink("sub", QFile::encodeName(t.Path("linkdir")).constData());
  ::symlink("missing", QFile::encodeName(t.Path("broken.xlsx")).constData());

  EXPECT_EQ(FileAttributes(plain), 32);
  EXPECT_EQ(FileAttributes(hidden), 34);
  EXPECT_EQ(FileAttributes(lockFile), 34);
  EXPECT_EQ(FileAttributes(readOnlyHidden), 35);
  EXPECT_EQ(FileAttributes(t.Path("sub")), 16);
  EXPECT_EQ(FileAttributes(t.Path("sub/")), 16);
  EXPECT_EQ(FileAttributes(t.Path(".hiddenFolder")), 18);
  EXPECT_EQ(FileAttributes(t.Path("link.xlsx")), 1024);
  EXPECT_EQ(FileAttributes(t.Path("linkdir")), 1040);
  EXPECT_EQ(FileAttributes(t.Path("broken.xlsx")), 1024);
  EXPECT_FALSE(FileAttributes(t.Path("nothing")).has_value());
  EXPECT_FALSE(FileAttributes("").has_value());

  EXPECT_TRUE(IsFolderPath(t.Path("sub")));
  EXPECT_TRUE(IsFolderPath(t.Path("linkdir")));
  EXPECT_FALSE(IsFolderPath(plain));
  EXPECT_FALSE(IsFolderPath(t.Path("nothing")));
}

TEST(FileAttributes, ExistenceProbesNeverFailAndTellFilesFromFolders) {
  TempTree t;
  const QString file = t.File("a.xlsx");
  ::chmod(QFile::encodeName(file).constData(), 0);  // no access needed
  t.Folder("dir");
  ::symlink("missing", QFile::encodeName(t.Path("broken")).constData());
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(FileExists(t.Path("dir")));
  EXPECT_FALSE(FileExists(t.Path("broken")));
  EXPECT_FALSE(FileExists(t.Path("gone.xlsx")));
  EXPECT_FALSE(FileExists(""));
  EXPECT_FALSE(FileExists(file + "/"));
  EXPECT_TRUE(PathExists(file));
  EXPECT_TRUE(PathExists(t.Path("dir")));
  EXPECT_FALSE(PathExists(t.Path("gone.xlsx")));
  const FileProbe probe = ProbeFile(file);
  EXPECT_TRUE(probe.exists);
  EXPECT_EQ(probe.attributes, 33);  // owner may not write: read-only
}

TEST(FileAttributes, DriveRootIsTheRootOrAMountPoint) {
  EXPECT_TRUE(IsDriveRoot("/"));
  EXPECT_TRUE(IsDriveRoot("/proc"));  // a file system of its own
  TempTree t;
  t.Folder("x");
  EXPECT_FALSE(IsDriveRoot(t.Path("x")));
  EXPECT_FALSE(IsDriveRoot(t.Path("missing")));
}

TEST(ListFiles, NoFilesGivesUpperBoundZero) {
  TempTree t;
  t.Folder("only/folders/here");
  EXPECT_EQ(ListFiles(t.Path("only"), "*.*").UpperBound(), 0);
  EXPECT_EQ(ListFiles(t.Path("missing"), "*.*").UpperBound(), 0);
  t.File("only/notes.txt");
  EXPECT_EQ(ListFiles(t.Path("only"), "*.xl*").UpperBound(), 0);
}

TEST(ListFiles, MatchingFilesHiddenIncludedFoldersAndBrokenLinksLeftOut) {
  TempTree t;
  t.File("b.xlsx");
  t.File("A.XLS");
  t.File(".hidden.xlsm");
  t.File("~$lock.xlsx");
  t.File("notes.txt");
  t.Folder("folder.xlsx");
  ::symlink("b.xlsx", QFile::encodeName(t.Path("c-link.xlsx")).constData());
  ::symlink("gone", QFile::encodeName(t.Path("d-broken.xlsx")).constData());
  const FileNameArray names = ListFiles(t.Root() + "/", "*.xl*");  // trailing separator is fine
  ASSERT_EQ(names.UpperBound(), 5);
  EXPECT_EQ(names.Names(),
            QStringList({".hidden.xlsm", "A.XLS", "b.xlsx", "c-link.xlsx", "~$lock.xlsx"}));
  EXPECT_EQ(names.At(1), ".hidden.xlsm");
  EXPECT_EQ(ListFiles(t.Root(), "*.*").UpperBound(), 6);
}

TEST(ListFiles, NameWithInvalidBytesIsLeftOut) {
  TempTree t;
  t.File("good.xlsx");
  const QByteArray bad = QFile::encodeName(t.Root()) + "/bad\xff\xfe.xlsx";
  FILE* f = std::fopen(bad.constData(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_EQ(ListFiles(t.Root(), "*.*").Names(), QStringList({"good.xlsx"}));
}

TEST(HasOddChars, ControlCharactersQuestionMarkAndUndecodableBytes) {
  EXPECT_FALSE(HasOddChars(QString("Reports 2021")));
  EXPECT_FALSE(HasOddChars(QString("Отчёты")));  // Cyrillic
  EXPECT_FALSE(HasOddChars(QString("Σχέδια")));  // Greek
  EXPECT_FALSE(HasOddChars(QString("報告")));     // CJK
  EXPECT_FALSE(HasOddChars(QString("café é ÿ")));
  EXPECT_TRUE(HasOddChars(QString("a\tb")));
  EXPECT_TRUE(HasOddChars(QString("a") + QChar(127)));
  EXPECT_TRUE(HasOddChars(QString("a") + QChar(0x85)));
  EXPECT_FALSE(HasOddChars(QString("a") + QChar(0xA0)));
  EXPECT_TRUE(HasOddChars(QString("why?")));
  EXPECT_TRUE(HasOddChars(QByteArray("bad\xff")));
  EXPECT_FALSE(HasOddChars(QByteArray("\xd0\x9e\xd1\x82")));  // valid UTF-8
}
