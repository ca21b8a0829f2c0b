#include "XlsFixtures.h"

#include <unistd.h>
#include <xlsxwriter.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace xlsfixtures {

namespace {

uint32_t Get32(const std::string& bytes, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) | static_cast<uint8_t>(bytes[at + 1]) << 8 |
         static_cast<uint8_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
}

void Set32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// Offset of FAT entry sector, from the FAT sectors the header lists.
size_t FatOffset(const std::string& file, uint32_t sector) {
  uint32_t fatSector = Get32(file, 0x4C + 4 * (sector / 128));
  return (fatSector + 1) * 512 + 4 * (sector % 128);
}

std::string Run(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string out;
  if (!pipe) return out;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe.get())) > 0) out.append(buffer, got);
  return out;
}

}  // namespace

std::string Le(uint64_t value, int width) {
  std::string out;
  for (int i = 0; i < width; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
  return out;
}
std::string Double(double value) { return std::string(reinterpret_cast<const char*>(&value), 8); }
std::string Rec(uint16_t type, const std::string& body) { return Le(type, 2) + Le(body.size(), 2) + body; }
std::string Bof(uint16_t kind) { return Rec(0x0809, Le(0x0600, 2) + Le(kind, 2) + std::string(12, '\0')); }
std::string Eof() { return Rec(0x000A, ""); }
std::string Cell(uint16_t row, uint16_t column, uint16_t xf) { return Le(row, 2) + Le(column, 2) + Le(xf, 2); }

std::string LongString() {
  std::string text;
  for (int i = 0; text.size() < 30000; ++i) text += "Straße №" + std::to_string(i) + " ";
  return text;
}

std::string ManyString(int i) { return "item " + std::to_string(i * 7919 % 100003); }

std::string RichXlsx(const fixtures::TempDir& dir) {
  std::string path = dir.File("rich.xlsx");
  lxw_workbook* book = workbook_new(path.c_str());
  lxw_format* bold = workbook_add_format(book);
  format_set_bold(bold);
  lxw_format* fill = workbook_add_format(book);
  format_set_bg_color(fill, LXW_COLOR_YELLOW);

  lxw_worksheet* data = workbook_add_worksheet(book, "Data");
  worksheet_write_number(data, 0, 0, 1.5, nullptr);
  worksheet_write_string(data, 1, 0, "pear", nullptr);
  worksheet_write_string(data, 2, 0, "Ünïcödé ✓", nullptr);
  worksheet_write_number(data, 3, 0, 42, nullptr);
  worksheet_write_number(data, 4, 0, -0.25, nullptr);
  worksheet_write_number(data, 5, 0, 123456789.125, nullptr);
  worksheet_write_boolean(data, 0, 1, 1, nullptr);
  worksheet_write_formula_num(data, 1, 1, "=A1*2", nullptr, 3);
  worksheet_write_formula_str(data, 2, 1, "=\"x\"&A2", nullptr, "xpear");
  worksheet_write_formula(data, 3, 1, "=1/0", nullptr);
  worksheet_write_formula(data, 4, 1, "=A1>1", nullptr);
  worksheet_write_blank(data, 5, 1, fill);
  lxw_rich_string_tuple boldPart = {bold, const_cast<char*>("bold ")};
  lxw_rich_string_tuple plainPart = {nullptr, const_cast<char*>("plain")};
  lxw_rich_string_tuple* parts[] = {&boldPart, &plainPart, nullptr};
  worksheet_write_rich_string(data, 0, 2, parts, nullptr);
  lxw_row_col_options hidden = {1, 0, 0};
  worksheet_set_row_opt(data, 3, LXW_DEF_ROW_HEIGHT, nullptr, &hidden);

  lxw_worksheet* strings = workbook_add_worksheet(book, "Strings");
  for (int i = 0; i < kManyStrings; ++i) worksheet_write_string(strings, i, 0, ManyString(i).c_str(), nullptr);
  worksheet_write_string(strings, 0, 1, LongString().c_str(), nullptr);

  lxw_worksheet* second = workbook_add_worksheet(book, "Second");
  worksheet_write_number(second, 0, 0, 7, nullptr);
  workbook_close(book);
  return path;
}

std::string SofficeConvert(const std::string& source, const std::string& filter, const fixtures::TempDir& work) {
  if (!fixtures::HaveSoffice()) return {};
  std::string outdir = work.Path() + "/converted";
  std::string command = "cd '" + work.Path() + "' && timeout 180 soffice -env:UserInstallation=file://" +
                        work.Path() + "/profile --headless --convert-to '" + filter + "' --outdir '" + outdir + "' '" +
                        source + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return {};
  std::string base = source.substr(source.rfind('/') + 1);
  base = base.substr(0, base.rfind('.'));
  std::string path = outdir + "/" + base + "." + filter.substr(0, filter.find(':'));
  return std::ifstream(path).good() ? path : std::string();
}

std::string ConvertedCached(const std::function<std::string(const fixtures::TempDir&)>& make,
                            const std::string& filter) {
  // LibreOffice takes seconds to start, and each test runs in a process of
  // its own: the result is kept in the build folder, under the hash of the
  // workbook's parts (the package's own times change with every run).
  fixtures::TempDir dir;
  std::string xlsx = make(dir);
  std::string parts = filter;
  for (const auto& [name, data] : fixtures::ReadZip(xlsx))
    if (name.rfind("xl/", 0) == 0) parts += name + data;
  std::string cache = std::string(TABULORY_BIFF_FIXTURE_CACHE) + "/" + std::to_string(std::hash<std::string>{}(parts)) + ".xls";
  if (std::ifstream(cache).good()) return fixtures::ReadFile(cache);
  std::string xls = SofficeConvert(xlsx, filter, dir);
  if (xls.empty()) return std::string();
  std::string data = fixtures::ReadFile(xls);
  std::filesystem::create_directories(TABULORY_BIFF_FIXTURE_CACHE);
  fixtures::WriteFile(cache + ".part" + std::to_string(getpid()), data);
  std::filesystem::rename(cache + ".part" + std::to_string(getpid()), cache);
  return data;
}

const std::string& LibreOfficeXls() {
  static const std::string bytes = ConvertedCached(RichXlsx, "xls");
  return bytes;
}

std::string ArrayXlsx(const fixtures::TempDir& dir) {
  std::string path = dir.File("array.xlsx");
  lxw_workbook* book = workbook_new(path.c_str());
  lxw_worksheet* data = workbook_add_worksheet(book, "Data");
  const double keys[] = {3, 1, 4, 2};
  for (int r = 0; r < 4; ++r) {
    worksheet_write_number(data, r, 0, keys[r], nullptr);
    std::string formula = "{=A" + std::to_string(r + 1) + "*{10,20}}";
    worksheet_write_array_formula_num(data, r, 1, r, 2, formula.c_str(), nullptr, keys[r] * 10);
  }
  worksheet_write_array_formula_num(data, 0, 4, 1, 4, "{=A1:A2*2}", nullptr, 6);
  workbook_close(book);
  return path;
}

std::vector<double> SortQuantities() { return {5, 3, 8, 1, 7, 2, 6, 4}; }

std::string SortXlsx(const fixtures::TempDir& dir) {
  std::string path = dir.File("sort.xlsx");
  lxw_workbook* book = workbook_new(path.c_str());
  lxw_format* date = workbook_add_format(book);
  format_set_num_format(date, "yyyy-mm-dd");
  lxw_worksheet* data = workbook_add_worksheet(book, "Data");
  const char* headers[] = {"Name", "Qty", "When", "Double", "Sum", "Other", "Flag"};
  for (int c = 0; c < 7; ++c) worksheet_write_string(data, 0, c, headers[c], nullptr);
  const char* names[] = {"elder", "cherry", "honeydew", "apple", "grape", "banana", "fig", "date"};
  std::vector<double> qty = SortQuantities();
  for (int i = 0; i < 8; ++i) {
    int r = i + 1;
    std::string n = std::to_string(r + 1);
    worksheet_write_string(data, r, 0, names[i], nullptr);
    worksheet_write_number(data, r, 1, qty[i], nullptr);
    worksheet_write_number(data, r, 2, 45000 + i, date);
    worksheet_write_formula_num(data, r, 3, ("=B" + n + "*2").c_str(), nullptr, qty[i] * 2);
    worksheet_write_formula_num(data, r, 4, ("=$B$2+B" + n).c_str(), nullptr, qty[0] + qty[i]);
    worksheet_write_formula_num(data, r, 5, ("=Other!$A$1+B" + n).c_str(), nullptr, 100 + qty[i]);
    worksheet_write_boolean(data, r, 6, i % 2, nullptr);
  }
  lxw_row_col_options hidden = {1, 0, 0};
  worksheet_set_row_opt(data, 5, LXW_DEF_ROW_HEIGHT, nullptr, &hidden);
  worksheet_write_comment(data, 2, 0, "note on cherry");
  worksheet_write_url(data, 3, 0, "https://example.org/honeydew", nullptr);
  worksheet_write_string(data, 3, 0, "honeydew", nullptr);
  worksheet_merge_range(data, 11, 0, 11, 1, "merged", nullptr);
  lxw_worksheet* other = workbook_add_worksheet(book, "Other");
  worksheet_write_number(other, 0, 0, 100, nullptr);
  lxw_worksheet* locked = workbook_add_worksheet(book, "Locked");
  worksheet_write_number(locked, 0, 0, 1, nullptr);
  worksheet_protect(locked, nullptr, nullptr);
  lxw_worksheet* sortOk = workbook_add_worksheet(book, "SortOK");
  worksheet_write_number(sortOk, 0, 0, 1, nullptr);
  lxw_protection allow = {};
  allow.sort = 1;
  allow.format_rows = 1;
  worksheet_protect(sortOk, nullptr, &allow);
  workbook_close(book);
  return path;
}

void EditEntry(std::string& file, int index, const std::function<void(std::string&)>& edit) {
  uint32_t sector = Get32(file, 0x30);
  for (int skip = index / 4; skip > 0; --skip) sector = Get32(file, FatOffset(file, sector));
  size_t at = (sector + 1) * 512 + 128 * (index % 4);
  std::string raw = file.substr(at, 128);
  edit(raw);
  file.replace(at, 128, raw);
}

void SetFat(std::string& file, uint32_t sector, uint32_t value) { Set32(file, FatOffset(file, sector), value); }

bool HavePython(const std::string& module) {
  return std::system(("/usr/bin/python3 -c 'import " + module + "' >/dev/null 2>&1").c_str()) == 0;
}

std::map<std::string, OleEntry> OlefileEntries(const std::string& path, const fixtures::TempDir& work) {
  // Each entry on one line; each stream's bytes in a file of its own.
  std::string script = work.File("entries.py");
  fixtures::WriteFile(script,
                      "import olefile, sys\n"
                      "ole = olefile.OleFileIO(sys.argv[1])\n"
                      "paths = [[]] + ole.listdir(streams=True, storages=True)\n"
                      "for p in paths:\n"
                      "    n = ole._find(p) if p else 0\n"
                      "    e = ole.direntries[n]\n"
                      "    if e.entry_type == olefile.STGTY_STREAM:\n"
                      "        open(sys.argv[2] + '/' + str(n), 'wb').write(ole.openstream(p).read())\n"
                      "    print(n, e.entry_type, e.clsid or '-', e.dwUserFlags, e.createTime, e.modifyTime, e.size,\n"
                      "          '/'.join(p), sep='\\t')\n");
  std::string streams = work.Path() + "/streams";
  std::system(("rm -rf '" + streams + "' && mkdir -p '" + streams + "'").c_str());
  std::istringstream lines(Run("/usr/bin/python3 '" + script + "' '" + path + "' '" + streams + "' 2>/dev/null"));
  std::map<std::string, OleEntry> entries;
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    OleEntry entry;
    std::string number;
    std::getline(fields, number, '\t');
    fields >> entry.type >> entry.clsid >> entry.stateBits >> entry.created >> entry.modified >> entry.size;
    fields.get();
    std::getline(fields, entry.path);
    if (entry.type == 2) entry.data = fixtures::ReadFile(streams + "/" + number);
    entries[entry.path] = entry;
  }
  return entries;
}

std::vector<std::string> XlrdCells(const std::string& path, const fixtures::TempDir& work) {
  std::string script = work.File("cells.py");
  fixtures::WriteFile(script,
                      "import xlrd, sys\n"
                      "book = xlrd.open_workbook(sys.argv[1])\n"
                      "for n in range(book.nsheets):\n"
                      "    sheet = book.sheet_by_index(n)\n"
                      "    for r in range(sheet.nrows):\n"
                      "        for c, cell in enumerate(sheet.row(r)):\n"
                      "            if cell.ctype in (1, 2, 4, 5):\n"
                      "                v = repr(cell.value) if cell.ctype == 2 else str(int(cell.value)) if cell.ctype != 1 else cell.value\n"
                      "                sys.stdout.buffer.write(('%d %d %d %d %s\\n' % (n, r, c, cell.ctype, v)).encode('utf-8'))\n");
  return RunLines("/usr/bin/python3 '" + script + "' '" + path + "' 2>/dev/null");
}

std::vector<std::string> RunLines(const std::string& command) {
  std::istringstream lines(Run(command));
  std::vector<std::string> out;
  for (std::string line; std::getline(lines, line);) out.push_back(line);
  return out;
}

}  // namespace xlsfixtures
