// tabulory-ods-repeat-bench: what repeated rows cost the host. Each case is
// an .ods whose tables end in (or hold) rows repeated up to the sheet's last
// row, measured against its same-run reference: the same tables without the
// repeated rows. Open + sort + save, and a hide of every row of a repeat one
// by one (a filter's work), each in a child of its own; prints times, peak
// memory and the ratio to the reference.
//
//   tabulory-ods-repeat-bench [sheets] [runs]   (defaults: 202 sheets, best of 3)

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "ChildRun.h"
#include "host/core/HostError.h"
#include "host/core/RowSort.h"
#include "host/core/SheetStore.h"
#include "host/core/WorkbookStore.h"
#include "host/formats/odf/OdsWorkbook.h"

namespace {

int Shell(const std::string& command) { return std::system(command.c_str()); }

std::string Text(const char* text) {
  return std::string("<table:table-cell office:value-type=\"string\"><text:p>") + text + "</text:p></table:table-cell>";
}
std::string Row(const std::string& cells, const std::string& attributes = "") {
  return "<table:table-row" + attributes + ">" + cells + "</table:table-row>";
}

// Writes an .ods of `sheets` tables, each holding rows, with the zip tool.
bool WriteOds(const std::string& dir, const std::string& name, int sheets, const std::string& rows) {
  const std::string work = dir + "/" + name + ".d";
  std::filesystem::create_directories(work + "/META-INF");
  std::string content =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content "
      "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
      "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
      "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.3\"><office:body>"
      "<office:spreadsheet>";
  for (int i = 0; i < sheets; ++i)
    content += "<table:table table:name=\"S" + std::to_string(i) + "\">" + rows + "</table:table>";
  content += "</office:spreadsheet></office:body></office:document-content>";
  auto write = [](const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
  };
  return write(work + "/mimetype", "application/vnd.oasis.opendocument.spreadsheet") &&
         write(work + "/content.xml", content) &&
         write(work + "/META-INF/manifest.xml",
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?><manifest:manifest "
               "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" manifest:version=\"1.3\">"
               "<manifest:file-entry manifest:full-path=\"/\" "
               "manifest:media-type=\"application/vnd.oasis.opendocument.spreadsheet\"/>"
               "<manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/>"
               "</manifest:manifest>") &&
         Shell("cd '" + work + "' && zip -q -X -0 '../" + name + "' mimetype && zip -q -X -6 -r '../" + name +
               "' content.xml META-INF") == 0;
}

// Opens the file, sorts every table's used area by column A and saves.
int SortAll(const std::string& path) {
  try {
    auto book = host::odf::OpenOds(path);
    for (size_t i = 0; i < book->Sheets().size(); ++i) {
      host::SheetStore* sheet = book->Sheet(i);
      host::CellArea used;
      if (sheet && sheet->UsedArea(used)) host::SortRows(*sheet, used, 1, false);
    }
    book->Save();
    return 0;
  } catch (const host::HostError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}

// Opens the file, hides rows 2..lastRow of its first table one by one and saves.
int HideRows(const std::string& path, int lastRow) {
  try {
    auto book = host::odf::OpenOds(path);
    host::SheetStore* sheet = book->Sheet(0);
    for (int r = 2; r <= lastRow; ++r) sheet->SetRowHidden(r, true);
    book->Save();
    return 0;
  } catch (const host::HostError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}

Figures BestOf(int runs, const std::string& dir, const std::string& file, const std::function<int(const std::string&)>& work) {
  Figures best{1e9, 1e9, 0};
  for (int run = 0; run < runs; ++run) {
    const std::string copy = dir + "/run-" + file;
    std::filesystem::copy_file(dir + "/" + file, copy, std::filesystem::copy_options::overwrite_existing);
    best = Best(best, Measure([&] { return work(copy); }));
  }
  return best;
}

void Print(const char* name, int sheets, const Figures& ours, const Figures& reference) {
  std::printf("case=%s sheets=%d ours_s=%.3f reference_s=%.3f ratio=%.2f ours_peak_mb=%.1f reference_peak_mb=%.1f\n",
              name, sheets, ours.wall, reference.wall, ours.wall / std::max(reference.wall, 1e-3),
              ours.peakKb / 1024.0, reference.peakKb / 1024.0);
  std::fprintf(stderr, "processor time %s: ours %.3f s, reference %.3f s\n", name, ours.processor, reference.processor);
}

}  // namespace

int main(int argc, char** argv) {
  const int sheets = argc > 1 ? std::atoi(argv[1]) : 202;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  if (Shell("command -v zip >/dev/null") != 0) {
    std::fprintf(stderr, "the bench needs zip\n");
    return 1;
  }
  char pattern[] = "/tmp/tabulory-ods-repeat-bench-XXXXXX";
  if (!mkdtemp(pattern)) {
    std::perror("temporary folder");
    return 1;
  }
  const std::string dir = pattern;
  const std::string keys = Row(Text("b")) + Row(Text("a")) + Row(Text("c"));
  const std::string toTheEnd = "<table:table-row table:number-rows-repeated=\"1048573\">"
                               "<table:table-cell table:number-columns-repeated=\"16384\"/></table:table-row>";
  const std::string between = Row(Text("b")) + "<table:table-row table:number-rows-repeated=\"1048574\"/>" + Row(Text("a"));
  const std::string together = Row(Text("b")) + Row(Text("a"));
  const std::string repeatedKey = Row(Text("a")) + Row(Text("b"), " table:number-rows-repeated=\"1048575\"");
  const std::string twoKeys = Row(Text("a")) + Row(Text("b"));
  if (!WriteOds(dir, "trailing.ods", sheets, keys + toTheEnd) || !WriteOds(dir, "keys.ods", sheets, keys) ||
      !WriteOds(dir, "between.ods", sheets, between) || !WriteOds(dir, "together.ods", sheets, together) ||
      !WriteOds(dir, "repeated-key.ods", 1, repeatedKey) || !WriteOds(dir, "two-keys.ods", 1, twoKeys)) {
    std::fprintf(stderr, "the files could not be written\n");
    return 1;
  }
  Print("sort-trailing-empty-repeat", sheets, BestOf(runs, dir, "trailing.ods", SortAll),
        BestOf(runs, dir, "keys.ods", SortAll));
  Print("sort-empty-repeat-between-keys", sheets, BestOf(runs, dir, "between.ods", SortAll),
        BestOf(runs, dir, "together.ods", SortAll));
  Print("hide-each-row-of-a-repeat", 1, BestOf(runs, dir, "repeated-key.ods", [](const std::string& p) {
          return HideRows(p, 1048576);
        }),
        BestOf(runs, dir, "two-keys.ods", [](const std::string& p) { return HideRows(p, 2); }));
  std::filesystem::remove_all(dir);
  return 0;
}
