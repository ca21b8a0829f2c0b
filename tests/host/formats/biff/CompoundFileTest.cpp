// The compound file reader and writer on files LibreOffice wrote, checked
// against python3-olefile as an independent reader.

#include <gtest/gtest.h>

#include <cstring>

#include "XlsFixtures.h"
#include "host/core/HostError.h"
#include "host/io/CompoundFile.h"
#include "host/io/CompoundFileWriter.h"

using fixtures::TempDir;
using host::io::CompoundFile;

namespace {

void Put32(std::string& raw, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) raw[at + i] = static_cast<char>(value >> (8 * i));
}
void Put64(std::string& raw, size_t at, uint64_t value) {
  Put32(raw, at, static_cast<uint32_t>(value));
  Put32(raw, at + 4, static_cast<uint32_t>(value >> 32));
}
void SetName(std::string& raw, const std::string& ascii) {
  std::fill(raw.begin(), raw.begin() + 64, '\0');
  for (size_t i = 0; i < ascii.size(); ++i) raw[2 * i] = ascii[i];
  raw[0x40] = static_cast<char>(2 * ascii.size() + 2);
  raw[0x41] = 0;
}

// LibreOffice's .xls with a storage "ObjS" (CLSID, state bits, times) added
// in the directory's free slots, holding a stream "Inner" that shares the
// bytes of "\1Ole", and a time on the root.
std::string WithStorage(const std::string& xls) {
  CompoundFile source(xls, "source.xls");
  int ole = source.Find("\x01Ole");
  const auto& entries = source.Entries();
  if (ole < 0 || entries.size() < 8 || entries[6].type != host::io::EntryType::Unused ||
      entries[7].type != host::io::EntryType::Unused || entries[ole].right != CompoundFile::kNoStream)
    return {};
  std::string file = xls;
  xlsfixtures::EditEntry(file, 6, [](std::string& raw) {
    SetName(raw, "ObjS");
    raw[0x42] = 1;
    raw[0x43] = 1;
    Put32(raw, 0x44, CompoundFile::kNoStream);
    Put32(raw, 0x48, CompoundFile::kNoStream);
    Put32(raw, 0x4C, 7);
    for (int i = 0; i < 16; ++i) raw[0x50 + i] = static_cast<char>(0x11 * (i + 1));
    Put32(raw, 0x60, 0x00C0FFEE);
    Put64(raw, 0x64, 0x01D7000000000001);
    Put64(raw, 0x6C, 0x01D7000000000002);
  });
  uint32_t oleStart = entries[ole].startSector;
  uint32_t oleSize = static_cast<uint32_t>(entries[ole].size);
  xlsfixtures::EditEntry(file, 7, [&](std::string& raw) {
    SetName(raw, "Inner");
    raw[0x42] = 2;
    raw[0x43] = 1;
    for (size_t at : {0x44, 0x48, 0x4C}) Put32(raw, at, CompoundFile::kNoStream);
    Put32(raw, 0x60, 5);
    Put64(raw, 0x64, 0x01D7000000000003);
    Put64(raw, 0x6C, 0x01D7000000000004);
    Put32(raw, 0x74, oleStart);
    Put64(raw, 0x78, oleSize);
  });
  xlsfixtures::EditEntry(file, ole, [](std::string& raw) { Put32(raw, 0x48, 6); });
  xlsfixtures::EditEntry(file, 0, [](std::string& raw) { Put64(raw, 0x6C, 0x01D7000000000005); });
  return file;
}

// The stream with the value 123456789.125 (cell Data!A6) changed to 987.5.
std::string WithNewNumber(std::string stream) {
  double from = 123456789.125, to = 987.5;
  std::string old(reinterpret_cast<const char*>(&from), 8);
  size_t at = stream.find(old);
  if (at != std::string::npos) stream.replace(at, 8, std::string(reinterpret_cast<const char*>(&to), 8));
  return stream;
}

TEST(CompoundFile, ReadsEveryStreamAsOlefileDoes) {
  if (xlsfixtures::LibreOfficeXls().empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; no .xls fixture";
  if (!xlsfixtures::HavePython("olefile")) GTEST_SKIP() << "python3-olefile is not installed; no independent reader";
  TempDir dir;
  std::string path = dir.File("storage.xls");
  std::string file = WithStorage(xlsfixtures::LibreOfficeXls());
  ASSERT_FALSE(file.empty()) << "LibreOffice's directory has changed shape";
  fixtures::WriteFile(path, file);
  auto expected = xlsfixtures::OlefileEntries(path, dir);
  ASSERT_GE(expected.size(), 6u);

  CompoundFile ours(file, path);
  size_t reached = 0;
  for (size_t i = 1; i < ours.Entries().size(); ++i) {
    if (!ours.Entries()[i].reached) continue;
    ++reached;
    std::string name = ours.PathOf(static_cast<int>(i));
    ASSERT_TRUE(expected.count(name)) << name;
    EXPECT_EQ(ours.ReadStream(static_cast<int>(i)), expected[name].data) << name;
  }
  EXPECT_EQ(reached + 1, expected.size());
  EXPECT_EQ(ours.ReadStream(ours.Find("Workbook"), 8), expected["Workbook"].data.substr(0, 8));
  EXPECT_EQ(ours.ReadStream(ours.Find("\x01Ole"), 5), expected["\x01Ole"].data.substr(0, 5));
  EXPECT_EQ(ours.Find("objs/INNER"), 7);
  EXPECT_EQ(ours.ReadStream(7), ours.ReadStream(ours.Find("\x01Ole")));
  EXPECT_EQ(ours.Find("Nothing"), -1);
}

TEST(CompoundFile, WriterKeepsEveryEntryButTheReplacedStream) {
  if (xlsfixtures::LibreOfficeXls().empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; no .xls fixture";
  if (!xlsfixtures::HavePython("olefile")) GTEST_SKIP() << "python3-olefile is not installed; no independent reader";
  TempDir dir;
  std::string before = dir.File("before.xls"), after = dir.File("after.xls");
  std::string file = WithStorage(xlsfixtures::LibreOfficeXls());
  ASSERT_FALSE(file.empty()) << "LibreOffice's directory has changed shape";
  fixtures::WriteFile(before, file);
  CompoundFile source(file, before);
  int workbook = source.Find("Workbook");
  std::string changed = WithNewNumber(source.ReadStream(workbook));
  ASSERT_NE(changed, source.ReadStream(workbook));
  fixtures::WriteFile(after, host::io::WriteCompoundFile(source, {{workbook, changed}}));

  auto old = xlsfixtures::OlefileEntries(before, dir);
  auto now = xlsfixtures::OlefileEntries(after, dir);
  ASSERT_EQ(now.size(), old.size()) << "olefile cannot read the written file";
  for (const auto& [name, was] : old) {
    ASSERT_TRUE(now.count(name)) << name;
    const auto& is = now[name];
    EXPECT_EQ(is.type, was.type) << name;
    EXPECT_EQ(is.clsid, was.clsid) << name;
    EXPECT_EQ(is.stateBits, was.stateBits) << name;
    EXPECT_EQ(is.created, was.created) << name;
    EXPECT_EQ(is.modified, was.modified) << name;
    EXPECT_EQ(is.data, name == "Workbook" ? changed : was.data) << name;
  }
  EXPECT_EQ(now["ObjS"].stateBits, 0x00C0FFEEu);  // the edits really reached olefile
  EXPECT_NE(now[""].modified, 0u);

  // Raw directory records: only the stream positions may differ.
  CompoundFile reread(fixtures::ReadFile(after), after);
  for (size_t i = 0; i < source.Entries().size(); ++i) {
    const std::string& a = source.Entries()[i].raw;
    const std::string& b = reread.Entries()[i].raw;
    EXPECT_EQ(a.substr(0, 0x74), b.substr(0, 0x74)) << "entry " << i;
  }

  std::vector<std::string> lines = fixtures::SofficeCsv(after, dir);
  ASSERT_GE(lines.size(), 6u) << "LibreOffice cannot read the written file";
  EXPECT_EQ(lines[5].substr(0, 6), "987.5,");
}

// Replacements of every size class: the mini stream, ordinary sectors, and a
// FAT too long for the header (DIFAT sectors).
TEST(CompoundFile, WriterPlacesStreamsOfEverySize) {
  if (xlsfixtures::LibreOfficeXls().empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; no .xls fixture";
  bool olefile = xlsfixtures::HavePython("olefile");
  TempDir dir;
  CompoundFile source(xlsfixtures::LibreOfficeXls(), "source.xls");
  int workbook = source.Find("Workbook");
  for (size_t size : {size_t{0}, size_t{100}, size_t{4096}, size_t{70000}, size_t{9000000}}) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 131 % 251);
    std::string written = host::io::WriteCompoundFile(source, {{workbook, data}});
    CompoundFile reread(written, "written.xls");
    EXPECT_EQ(reread.ReadStream(reread.Find("Workbook")), data) << size;
    EXPECT_EQ(reread.ReadStream(reread.Find("\x05SummaryInformation")),
              source.ReadStream(source.Find("\x05SummaryInformation")))
        << size;
    if (!olefile) continue;
    std::string path = dir.File("sized.xls");
    fixtures::WriteFile(path, written);
    EXPECT_EQ(xlsfixtures::OlefileEntries(path, dir)["Workbook"].data, data) << size;
  }
  if (!olefile) GTEST_SKIP() << "python3-olefile is not installed; checked by our reader only";
}

// A version 4 file (4096-byte sectors) made by hand: "Workbook" of 5000
// bytes in ordinary sectors, "Small" of 100 bytes in the mini stream.
std::string Version4File(const std::string& workbook, const std::string& small) {
  const size_t sector = 4096;
  std::string file(7 * sector, '\0');
  auto at = [&](size_t index) { return (index + 1) * sector; };
  file.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
  const std::pair<size_t, uint32_t> header[] = {{0x18, 0x3E},  {0x1A, 4 | 0xFFFE0000u}, {0x1E, 12 | 6u << 16},
                                                {0x28, 1},     {0x2C, 1},              {0x30, 1},
                                                {0x38, 4096},  {0x3C, 5},              {0x40, 1},
                                                {0x44, CompoundFile::kEndOfChain},     {0x4C, 0}};
  for (auto [offset, value] : header) Put32(file, offset, value);
  for (size_t i = 1; i < 109; ++i) Put32(file, 0x4C + 4 * i, CompoundFile::kFree);
  const uint32_t fat[] = {CompoundFile::kFatSector, CompoundFile::kEndOfChain, 3, CompoundFile::kEndOfChain,
                          CompoundFile::kEndOfChain, CompoundFile::kEndOfChain};
  for (size_t i = 0; i < sector / 4; ++i) Put32(file, at(0) + 4 * i, i < 6 ? fat[i] : CompoundFile::kFree);
  for (size_t i = 0; i < sector / 4; ++i) Put32(file, at(5) + 4 * i, i == 0 ? 1 : i == 1 ? CompoundFile::kEndOfChain : CompoundFile::kFree);
  auto entry = [&](int index, const std::string& name, int type, uint32_t left, uint32_t child, uint32_t start,
                   uint64_t size) {
    std::string raw(128, '\0');
    SetName(raw, name);
    raw[0x42] = static_cast<char>(type);
    raw[0x43] = 1;
    Put32(raw, 0x44, left);
    Put32(raw, 0x48, CompoundFile::kNoStream);
    Put32(raw, 0x4C, child);
    Put64(raw, 0x6C, type == 5 ? 0x01D9000000000007 : 0);
    Put32(raw, 0x74, start);
    Put64(raw, 0x78, size);
    file.replace(at(1) + 128 * index, 128, raw);
  };
  entry(0, "Root Entry", 5, CompoundFile::kNoStream, 1, 4, 128);
  entry(1, "Workbook", 2, 2, CompoundFile::kNoStream, 2, workbook.size());
  entry(2, "Small", 2, CompoundFile::kNoStream, CompoundFile::kNoStream, 0, small.size());
  for (int i = 3; i < 32; ++i) entry(i, "", 0, CompoundFile::kNoStream, CompoundFile::kNoStream, 0, 0);
  file.replace(at(2), workbook.size(), workbook);
  file.replace(at(4), small.size(), small);
  return file;
}

TEST(CompoundFile, ReadsAndWritesVersion4) {
  std::string workbook(5000, 'w'), small(100, 's');
  workbook[4999] = 'W';
  small[0] = 'S';
  TempDir dir;
  std::string path = dir.File("v4.xls");
  fixtures::WriteFile(path, Version4File(workbook, small));
  CompoundFile file(fixtures::ReadFile(path), path);
  EXPECT_EQ(file.MajorVersion(), 4);
  EXPECT_EQ(file.ReadStream(file.Find("Workbook")), workbook);
  EXPECT_EQ(file.ReadStream(file.Find("Small")), small);

  std::string written = host::io::WriteCompoundFile(file, {{file.Find("Small"), std::string(9000, 'n')}});
  CompoundFile reread(written, "written.xls");
  EXPECT_EQ(reread.SectorSize(), 4096u);
  EXPECT_EQ(reread.ReadStream(reread.Find("Small")), std::string(9000, 'n'));
  EXPECT_EQ(reread.ReadStream(reread.Find("Workbook")), workbook);
  if (!xlsfixtures::HavePython("olefile")) GTEST_SKIP() << "python3-olefile is not installed; checked by our reader only";
  EXPECT_EQ(xlsfixtures::OlefileEntries(path, dir)["Workbook"].data, workbook) << "the hand-made file is wrong";
  std::string out = dir.File("written.xls");
  fixtures::WriteFile(out, written);
  auto entries = xlsfixtures::OlefileEntries(out, dir);
  EXPECT_EQ(entries["Workbook"].data, workbook);
  EXPECT_EQ(entries["Small"].data, std::string(9000, 'n'));
  EXPECT_EQ(entries[""].modified, 0x01D9000000000007u);
}

// Damage, and the phrase the message must hold after
// "Cannot open "damaged.xls": its compound file is damaged (".
struct Damage {
  const char* name;
  std::function<void(std::string&, const CompoundFile&)> apply;
  const char* phrase;
};

TEST(CompoundFile, DamageIsNamed) {
  if (xlsfixtures::LibreOfficeXls().empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; no .xls fixture";
  const std::string& good = xlsfixtures::LibreOfficeXls();
  CompoundFile intact(good, "intact.xls");
  ASSERT_GE(intact.Entries()[intact.Find("Workbook")].size, CompoundFile::kMiniCutoff);
  auto workbookStart = [](const CompoundFile& f) { return f.Entries()[f.Find("Workbook")].startSector; };
  auto directoryStart = [](const std::string& b) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[0x30]) | static_cast<uint8_t>(b[0x31]) << 8);
  };
  const std::vector<Damage> damages = {
      {"cut header", [](std::string& b, const CompoundFile&) { b.resize(300); }, "the header is cut short"},
      {"byte order", [](std::string& b, const CompoundFile&) { b[0x1C] = 0; }, "byte order mark"},
      {"sector size", [](std::string& b, const CompoundFile&) { b[0x1E] = 10; }, "with sectors of 2^10 bytes"},
      {"FAT count", [](std::string& b, const CompoundFile&) { Put32(b, 0x2C, 0xFFFF); }, "more FAT sectors"},
      {"FAT sector", [](std::string& b, const CompoundFile&) { Put32(b, 0x4C, 0xFFFF0); }, "beyond the end"},
      {"directory loop",
       [&](std::string& b, const CompoundFile&) { xlsfixtures::SetFat(b, directoryStart(b), directoryStart(b)); },
       "the sectors of the directory run in a loop"},
      {"stream loop", [&](std::string& b, const CompoundFile& f) { xlsfixtures::SetFat(b, workbookStart(f), workbookStart(f)); },
       "the sectors of stream \"Workbook\" run in a loop"},
      {"stream out of range", [&](std::string& b, const CompoundFile& f) { xlsfixtures::SetFat(b, workbookStart(f), 99999); },
       "run to sector 99999"},
      {"stream too long",
       [&](std::string& b, const CompoundFile& f) {
         xlsfixtures::EditEntry(b, f.Find("Workbook"), [](std::string& raw) { Put32(raw, 0x78, 0x7FFFFFFF); });
       },
       "the stream \"Workbook\" is larger than the file"},
      {"tree cycle",
       [&](std::string& b, const CompoundFile& f) {
         int wb = f.Find("Workbook");
         xlsfixtures::EditEntry(b, wb, [&](std::string& raw) { Put32(raw, 0x44, wb); });
       },
       "is reached twice"},
      {"tree to nowhere",
       [&](std::string& b, const CompoundFile& f) {
         xlsfixtures::EditEntry(b, f.Find("Workbook"), [](std::string& raw) { Put32(raw, 0x48, 5000); });
       },
       "entry 5000, which does not exist"},
      {"name length",
       [&](std::string& b, const CompoundFile& f) {
         xlsfixtures::EditEntry(b, f.Find("Workbook"), [](std::string& raw) { raw[0x40] = 70; });
       },
       "has a name of 70 bytes"},
  };
  for (const Damage& damage : damages) {
    std::string bytes = good;
    damage.apply(bytes, intact);
    std::string message;
    try {
      CompoundFile file(bytes, "damaged.xls");
      for (size_t i = 0; i < file.Entries().size(); ++i) file.ReadStream(static_cast<int>(i));
    } catch (const host::HostError& error) {
      message = error.what();
    }
    EXPECT_EQ(message.rfind("Cannot open \"damaged.xls\": its compound file is damaged (", 0), 0u) << damage.name << ": " << message;
    EXPECT_NE(message.find(damage.phrase), std::string::npos) << damage.name << ": " << message;
  }
}

}  // namespace
