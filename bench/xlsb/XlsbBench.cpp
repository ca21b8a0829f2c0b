// tabulory-xlsb-bench: a binary workbook (.xlsb) of rows x 10 columns,
// written record by record (no program on this platform writes .xlsb),
// opened, sorted by its second column and saved by the host; and opened,
// filtered (one row in five hidden) and saved; each against unzip + zip -6
// of the same file, in the same run. Prints times, peak memory and the saved
// sheet's entry beside zip -6's entry for the same saved sheet.
//
//   tabulory-xlsb-bench [rows] [runs]      (defaults: 100000 rows, best of 3)

#include <zip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "ChildRun.h"
#include "EntrySizes.h"
#include "host/core/HostError.h"
#include "host/core/RowSort.h"
#include "host/core/SheetStore.h"
#include "host/core/WorkbookStore.h"
#include "host/formats/xlsb/XlsbFormat.h"

namespace {

void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
}

void Record(std::string& out, uint32_t type, const std::string& body) {
  auto varint = [&out](uint32_t v) {
    do {
      uint8_t b = v & 0x7F;
      v >>= 7;
      if (v) b |= 0x80;
      out.push_back(static_cast<char>(b));
    } while (v);
  };
  varint(type);
  varint(static_cast<uint32_t>(body.size()));
  out += body;
}

std::string Wide(const std::string& ascii) {
  std::string out;
  Put32(out, static_cast<uint32_t>(ascii.size()));
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

std::string Cell(uint32_t column) {
  std::string out;
  Put32(out, column);
  Put32(out, 0);
  return out;
}

std::string Real(uint32_t column, double value) {
  std::string out = Cell(column);
  char bytes[8];
  std::memcpy(bytes, &value, 8);
  return out.append(bytes, 8);
}

// Ten cells a row: an id, a random word (the sort key, a shared string), an
// amount, a date serial, a town (shared), a count, a code (inline text), a
// ratio, a flag and a formula of the row's amount times two.
void WriteWorkbook(const std::string& path, long rows) {
  std::mt19937_64 rng(12345);
  static const char* kTowns[] = {"Aberdeen", "Bergen", "Cork", "Dijon", "Essen", "Faro", "Graz", "Hull"};
  std::string strings, sheet;
  Record(sheet, 129, "");
  Record(sheet, 145, "");
  std::vector<std::string> sst(kTowns, kTowns + 8);
  for (long r = 0; r < rows; ++r) {
    char key[9];
    for (int i = 0; i < 8; ++i) key[i] = static_cast<char>('a' + rng() % 26);
    key[8] = 0;
    sst.emplace_back(key);
    std::string body;
    Put32(body, static_cast<uint32_t>(r));
    Put32(body, 0);
    body += std::string("\x2C\x01\0\0\0", 5);
    Put32(body, 0);
    Record(sheet, 0, body);
    Record(sheet, 5, Real(0, static_cast<double>(r + 1)));
    std::string isst = Cell(1);
    Put32(isst, static_cast<uint32_t>(sst.size() - 1));
    Record(sheet, 7, isst);
    Record(sheet, 5, Real(2, static_cast<double>(rng() % 10000000) / 100));
    Record(sheet, 5, Real(3, static_cast<double>(40000 + rng() % 10000)));
    std::string town = Cell(4);
    Put32(town, static_cast<uint32_t>(rng() % 8));
    Record(sheet, 7, town);
    Record(sheet, 5, Real(5, static_cast<double>(rng() % 1000)));
    Record(sheet, 6, Cell(6) + Wide("C" + std::to_string(rng() % 100000)));
    Record(sheet, 5, Real(7, static_cast<double>(rng() % 1000) / 1000));
    Record(sheet, 4, Cell(8) + std::string(1, static_cast<char>(rng() % 2)));
    // =C<r>*2: a relative reference to column C of the row, a number, a multiplication.
    std::string rgce = "\x44";
    Put32(rgce, static_cast<uint32_t>(r));
    rgce += std::string("\x02\xC0", 2);
    rgce += "\x1E";
    rgce += std::string("\x02\0", 2);
    rgce += "\x05";
    std::string formula = Real(9, 0) + std::string(2, '\0');
    Put32(formula, static_cast<uint32_t>(rgce.size()));
    formula += rgce;
    Put32(formula, 0);
    Record(sheet, 9, formula);
  }
  Record(sheet, 146, "");
  Record(sheet, 130, "");
  std::string counts;
  Put32(counts, static_cast<uint32_t>(sst.size()));
  Put32(counts, static_cast<uint32_t>(sst.size()));
  Record(strings, 159, counts);
  for (const std::string& s : sst) Record(strings, 19, std::string(1, '\0') + Wide(s));
  Record(strings, 160, "");
  std::string book;
  Record(book, 131, "");
  std::string bundle(8, '\0');
  Record(book, 156, bundle + Wide("rId1") + Wide("Data"));
  Record(book, 132, "");
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
  const std::pair<const char*, std::string> parts[] = {
      {"[Content_Types].xml",
       "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
       "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
       "<Override PartName=\"/xl/workbook.bin\" ContentType=\"application/vnd.ms-excel.sheet.binary.macroEnabled.main\"/>"
       "<Override PartName=\"/xl/worksheets/sheet1.bin\" ContentType=\"application/vnd.ms-excel.worksheet\"/>"
       "<Override PartName=\"/xl/sharedStrings.bin\" ContentType=\"application/vnd.ms-excel.sharedStrings\"/></Types>"},
      {"_rels/.rels", "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                      "<Relationship Id=\"rId1\" Type=\"" + rel + "officeDocument\" Target=\"xl/workbook.bin\"/></Relationships>"},
      {"xl/_rels/workbook.bin.rels",
       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
       "<Relationship Id=\"rId1\" Type=\"" + rel + "worksheet\" Target=\"worksheets/sheet1.bin\"/>"
       "<Relationship Id=\"rId2\" Type=\"" + rel + "sharedStrings\" Target=\"sharedStrings.bin\"/></Relationships>"},
      {"xl/workbook.bin", book},
      {"xl/sharedStrings.bin", strings},
      {"xl/worksheets/sheet1.bin", sheet},
  };
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) std::exit(1);
  for (const auto& [name, data] : parts) {
    zip_source_t* source = zip_source_buffer(archive, data.data(), data.size(), 0);
    const zip_int64_t index = zip_file_add(archive, name, source, 0);
    zip_set_file_compression(archive, index, ZIP_CM_DEFLATE, 6);
  }
  if (zip_close(archive) != 0) std::exit(1);
}

int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 100000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  if (Shell("command -v zip >/dev/null && command -v unzip >/dev/null") != 0) {
    std::fprintf(stderr, "the bench needs zip and unzip\n");
    return 1;
  }
  char pattern[] = "/tmp/tabulory-xlsb-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::string dir = pattern, source = dir + "/source.xlsb", ours = dir + "/ours.xlsb";
  WriteWorkbook(source, rows);
  const double fileMb = static_cast<double>(std::filesystem::file_size(source)) / (1024.0 * 1024.0);

  Figures repack{1e9, 1e9, 0};
  for (int run = 0; run < runs; ++run)
    repack = Best(repack, Measure([&] {
      return Shell("cd '" + dir + "' && rm -rf unpacked repacked.xlsb && unzip -q source.xlsb -d unpacked && cd unpacked && "
                   "zip -q -X -6 -r ../repacked.xlsb .");
    }));
  for (const std::string what : {"sort", "filter"}) {
    Figures best{1e9, 1e9, 0};
    for (int run = 0; run < runs; ++run) {
      std::filesystem::copy_file(source, ours, std::filesystem::copy_options::overwrite_existing);
      best = Best(best, Measure([&] {
        try {
          auto book = host::xlsb::OpenXlsb(ours);
          host::SheetStore* sheet = book->Sheet(0);
          host::CellArea used;
          if (!sheet->UsedArea(used)) return 1;
          if (what == "sort") {
            if (!host::SortRows(*sheet, used, 2, false)) return 1;
          } else {
            for (int r = 1; r <= used.lastRow; r += 5) sheet->SetRowHidden(r, true);
          }
          book->Save();
          return 0;
        } catch (const host::HostError& e) {
          std::fprintf(stderr, "%s\n", e.what());
          return 1;
        }
      }));
    }
    // The sorted file read back: column B in order, each row whole (its
    // formula still naming its own row's amount).
    bool checked = true;
    try {
      auto book = host::xlsb::OpenXlsb(ours);
      host::SheetStore* sheet = book->Sheet(0);
      std::string previous;
      for (long r = 1; r <= rows && checked; ++r) {
        const int row = static_cast<int>(r);
        if (what == "sort") {
          const std::string key = sheet->Value(row, 2).text;
          checked = previous <= key && sheet->Formula(row, 10) == "C" + std::to_string(r) + "*2";
          previous = key;
        } else {
          checked = sheet->RowHidden(row) == (r % 5 == 1);
        }
      }
    } catch (const host::HostError& e) {
      std::fprintf(stderr, "%s\n", e.what());
      checked = false;
    }
    // The saved sheet's entry against zip -6 of the same saved parts.
    const std::string sheetEntry = "xl/worksheets/sheet1.bin";
    const uint64_t entry = EntryCompressedSize(ours, sheetEntry);
    const uint64_t zip6Entry = ZipSixEntrySize(ours, sheetEntry);
    std::printf("case=xlsb-%s rows=%ld columns=10 file_mb=%.1f ours_s=%.3f ours_cpu_s=%.3f repack_s=%.3f "
                "repack_cpu_s=%.3f vs_repack=%.2f cpu_vs_repack=%.2f ours_peak_mb=%.1f sheet_entry_kb=%.0f "
                "zip6_sheet_entry_kb=%.0f checked=%s\n",
                what.c_str(), rows, fileMb, best.wall, best.processor, repack.wall, repack.processor,
                best.wall / repack.wall, best.processor / repack.processor, best.peakKb / 1024.0, entry / 1024.0,
                zip6Entry / 1024.0, checked && entry > 0 && entry <= zip6Entry ? "yes" : "no");
  }
  std::filesystem::remove_all(dir);
  return 0;
}
