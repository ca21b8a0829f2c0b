#include "Fixtures.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xlsxwriter.h>
#include <zip.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "host/core/Worksheet.h"

namespace fixtures {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/tabulory-host-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!mkdtemp(name.data())) throw std::runtime_error("mkdtemp failed");
  path_ = name.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  // Read-only files made by the tests must not stop the clean-up.
  for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ec))
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

namespace {

std::map<std::string, std::string> ReadEntries(const std::string& path, zip_flags_t flags) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (!archive) throw std::runtime_error("cannot open zip " + path);
  std::map<std::string, std::string> out;
  zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    zip_stat_index(archive, i, 0, &st);
    zip_file_t* file = zip_fopen_index(archive, i, flags);
    std::string data;
    char buffer[65536];
    zip_int64_t n;
    while (file && (n = zip_fread(file, buffer, sizeof buffer)) > 0) data.append(buffer, n);
    if (file) zip_fclose(file);
    out[st.name] = data;
  }
  zip_discard(archive);
  return out;
}

}  // namespace

std::map<std::string, std::string> ReadZip(const std::string& path) { return ReadEntries(path, 0); }
std::map<std::string, std::string> ReadZipRaw(const std::string& path) { return ReadEntries(path, ZIP_FL_COMPRESSED); }

void WriteZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) throw std::runtime_error("cannot create zip " + path);
  for (const auto& [name, data] : entries) {
    void* copy = malloc(data.size() ? data.size() : 1);
    memcpy(copy, data.data(), data.size());
    zip_source_t* source = zip_source_buffer(archive, copy, data.size(), 1);
    zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8);
  }
  if (zip_close(archive) != 0) throw std::runtime_error("cannot write zip " + path);
}

std::string SheetXml(const std::string& sheetData, const std::string& afterSheetData) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
         "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
         "<sheetData>" + sheetData + "</sheetData>" + afterSheetData + "</worksheet>";
}

namespace {

uint32_t Crc32(const std::string& data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : data) {
    crc ^= byte;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Put64(std::string& out, uint64_t v) {
  Put32(out, static_cast<uint32_t>(v));
  Put32(out, static_cast<uint32_t>(v >> 32));
}

}  // namespace

void WriteStreamedZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries,
                      const std::string& archiveComment) {
  const std::string timeField = std::string("\x55\x54\x05\x00\x01\x80\x3B\x5E\x65", 9);  // 2023-11-22
  std::string out, directory;
  for (size_t i = 0; i < entries.size(); ++i) {
    const auto& [name, data] = entries[i];
    // The deflated bytes, as libzip makes them for a one-entry zip.
    std::string one = path + ".one";
    WriteZip(one, {{"x", data}});
    std::string deflated = ReadZipRaw(one)["x"];
    std::remove(one.c_str());
    const uint32_t crc = Crc32(data);
    const uint32_t offset = static_cast<uint32_t>(out.size());
    std::string localExtra;
    Put16(localExtra, 1);  // Zip64 placeholders: the sizes are not known yet
    Put16(localExtra, 16);
    Put64(localExtra, 0);
    Put64(localExtra, 0);
    localExtra += timeField;
    Put32(out, 0x04034b50);
    Put16(out, 45);
    Put16(out, 8);
    Put16(out, 8);
    Put32(out, 0x57765000);  // DOS time and date
    Put32(out, 0);
    Put32(out, 0xFFFFFFFFu);
    Put32(out, 0xFFFFFFFFu);
    Put16(out, static_cast<uint32_t>(name.size()));
    Put16(out, static_cast<uint32_t>(localExtra.size()));
    out += name + localExtra + deflated;
    Put32(out, 0x08074b50);
    Put32(out, crc);
    Put64(out, deflated.size());
    Put64(out, data.size());
    Put32(directory, 0x02014b50);
    Put16(directory, 0x0314);
    Put16(directory, 20);
    Put16(directory, 8);
    Put16(directory, 8);
    Put32(directory, 0x57765000);
    Put32(directory, crc);
    Put32(directory, static_cast<uint32_t>(deflated.size()));
    Put32(directory, static_cast<uint32_t>(data.size()));
    Put16(directory, static_cast<uint32_t>(name.size()));
    Put16(directory, static_cast<uint32_t>(timeField.size()));
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, 0);
    Put32(directory, 0100644u << 16);
    Put32(directory, offset);
    directory += name + timeField;
  }
  const uint32_t directoryOffset = static_cast<uint32_t>(out.size());
  out += directory;
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<uint32_t>(entries.size()));
  Put16(out, static_cast<uint32_t>(entries.size()));
  Put32(out, static_cast<uint32_t>(directory.size()));
  Put32(out, directoryOffset);
  Put16(out, static_cast<uint32_t>(archiveComment.size()));
  out += archiveComment;
  WriteFile(path, out);
}

std::vector<std::pair<std::string, std::string>> MinimalWorkbook(const std::string& sheetData,
                                                                 const std::string& sharedStrings,
                                                                 const std::string& styles) {
  std::string types =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Override PartName=\"/xl/workbook.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
      "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";
  if (!sharedStrings.empty())
    types += "<Override PartName=\"/xl/sharedStrings.xml\" "
             "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>";
  if (!styles.empty())
    types += "<Override PartName=\"/xl/styles.xml\" "
             "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>";
  types += "</Types>";
  std::string rootRels =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" "
      "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
      "Target=\"xl/workbook.xml\"/></Relationships>";
  std::string workbook =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
      "<sheets><sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
  std::string rels =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" "
      "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
      "Target=\"worksheets/sheet1.xml\"/>";
  if (!sharedStrings.empty())
    rels += "<Relationship Id=\"rId2\" "
            "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" "
            "Target=\"sharedStrings.xml\"/>";
  if (!styles.empty())
    rels += "<Relationship Id=\"rId3\" "
            "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
            "Target=\"styles.xml\"/>";
  rels += "</Relationships>";
  std::vector<std::pair<std::string, std::string>> parts = {
      {"[Content_Types].xml", types},
      {"_rels/.rels", rootRels},
      {"xl/workbook.xml", workbook},
      {"xl/_rels/workbook.xml.rels", rels},
      {"xl/worksheets/sheet1.xml", SheetXml(sheetData)},
  };
  if (!sharedStrings.empty()) parts.emplace_back("xl/sharedStrings.xml", sharedStrings);
  if (!styles.empty()) parts.emplace_back("xl/styles.xml", styles);
  return parts;
}

void AddWorksheet(std::vector<std::pair<std::string, std::string>>& parts, const std::string& name,
                  const std::string& sheetData) {
  size_t sheets = 0;
  for (const auto& part : parts) sheets += part.first.rfind("xl/worksheets/", 0) == 0;
  const std::string number = std::to_string(sheets + 1);
  const std::string id = "rIdSheet" + number;
  for (auto& [part, xml] : parts) {
    if (part == "[Content_Types].xml")
      xml.insert(xml.find("</Types>"), "<Override PartName=\"/xl/worksheets/sheet" + number +
                                            ".xml\" ContentType=\"application/"
                                            "vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>");
    if (part == "xl/_rels/workbook.xml.rels")
      xml.insert(xml.find("</Relationships>"),
                 "<Relationship Id=\"" + id +
                     "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
                     "Target=\"worksheets/sheet" + number + ".xml\"/>");
    if (part == "xl/workbook.xml")
      xml.insert(xml.find("</sheets>"),
                 "<sheet name=\"" + name + "\" sheetId=\"" + number + "\" r:id=\"" + id + "\"/>");
  }
  parts.emplace_back("xl/worksheets/sheet" + number + ".xml", SheetXml(sheetData));
}

void AddWorkbookPart(std::vector<std::pair<std::string, std::string>>& parts, const std::string& name,
                     const std::string& contentType, const std::string& type, const std::string& xml) {
  for (auto& [part, text] : parts) {
    if (part == "[Content_Types].xml")
      text.insert(text.find("</Types>"), "<Override PartName=\"/xl/" + name + "\" ContentType=\"" + contentType + "\"/>");
    if (part == "xl/_rels/workbook.xml.rels")
      text.insert(text.find("</Relationships>"),
                  "<Relationship Id=\"rIdPart" + std::to_string(parts.size()) +
                      "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/" + type +
                      "\" Target=\"" + name + "\"/>");
  }
  parts.emplace_back("xl/" + name, xml);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
}

std::string TinyPng() {
  static const unsigned char png[] = {
      0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52,
      0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1F, 0x15, 0xC4,
      0x89, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0xF0,
      0x1F, 0x00, 0x05, 0x00, 0x01, 0xFF, 0x89, 0x99, 0x3D, 0x1D, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45,
      0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
  return std::string(reinterpret_cast<const char*>(png), sizeof png);
}

std::string WriteMixedWorkbook(const TempDir& dir, const std::string& name) {
  std::string path = dir.File(name);
  lxw_workbook* wb = workbook_new(path.c_str());
  lxw_worksheet* data = workbook_add_worksheet(wb, "Data");
  lxw_format* twoPlaces = workbook_add_format(wb);
  format_set_num_format(twoPlaces, "#,##0.00");
  lxw_format* date = workbook_add_format(wb);
  format_set_num_format(date, "yyyy-mm-dd");
  lxw_format* percent = workbook_add_format(wb);
  format_set_num_format_index(percent, 10);  // 0.00%
  lxw_format* bold = workbook_add_format(wb);
  format_set_bold(bold);

  worksheet_write_string(data, 0, 0, "Name", bold);
  worksheet_write_string(data, 0, 1, "Amount", bold);
  worksheet_write_string(data, 0, 2, "Date", bold);
  worksheet_write_string(data, 0, 3, "Share", bold);
  const char* names[] = {"pear", "Apple", "fig", "banana", "apple"};
  double amounts[] = {1234.5, 7, 0.125, 100000, -3};
  for (int i = 0; i < 5; ++i) {
    worksheet_write_string(data, i + 1, 0, names[i], nullptr);
    worksheet_write_number(data, i + 1, 1, amounts[i], twoPlaces);
    lxw_datetime when = {2024, 1 + i, 10 + i, 0, 0, 0};
    worksheet_write_datetime(data, i + 1, 2, &when, date);
    worksheet_write_number(data, i + 1, 3, 0.1 * (i + 1), percent);
  }
  worksheet_write_formula_num(data, 6, 1, "=SUM(B2:B6)", twoPlaces, 101238.625);
  worksheet_write_boolean(data, 6, 0, 1, nullptr);
  worksheet_write_blank(data, 8, 5, bold);  // style only: F9
  lxw_chartsheet* chartSheet = workbook_add_chartsheet(wb, "Chart");
  lxw_chart* chart = workbook_add_chart(wb, LXW_CHART_COLUMN);
  chart_add_series(chart, nullptr, "=Data!$B$2:$B$6");
  chartsheet_set_chart(chartSheet, chart);
  lxw_worksheet* second = workbook_add_worksheet(wb, "Second");
  for (int i = 0; i < 3; ++i) worksheet_write_number(second, i, 0, 3 - i, nullptr);
  worksheet_activate(data);
  if (workbook_close(wb) != LXW_NO_ERROR) throw std::runtime_error("libxlsxwriter failed");
  return path;
}

std::string WriteKeyColumn(const TempDir& dir, const std::string& name, const std::vector<std::string>& keys) {
  std::string path = dir.File(name);
  lxw_workbook* wb = workbook_new(path.c_str());
  lxw_worksheet* ws = workbook_add_worksheet(wb, "Keys");
  for (size_t i = 0; i < keys.size(); ++i) {
    const std::string& key = keys[i];
    lxw_row_t row = static_cast<lxw_row_t>(i);
    char* end = nullptr;
    double number = std::strtod(key.c_str(), &end);
    if (key.empty()) {
    } else if (key == "TRUE" || key == "FALSE") {
      worksheet_write_boolean(ws, row, 0, key == "TRUE", nullptr);
    } else if (end && *end == '\0') {
      worksheet_write_number(ws, row, 0, number, nullptr);
    } else {
      worksheet_write_string(ws, row, 0, key.c_str(), nullptr);
    }
    worksheet_write_number(ws, row, 1, static_cast<double>(i + 1), nullptr);
  }
  if (workbook_close(wb) != LXW_NO_ERROR) throw std::runtime_error("libxlsxwriter failed");
  return path;
}

std::vector<std::string> ColumnTexts(host::Worksheet& sheet, int column, int first, int last) {
  std::vector<std::string> out;
  for (int r = first; r <= last; ++r) out.push_back(sheet.Cells(r, column).Text());
  return out;
}

bool HaveSoffice() { return std::system("command -v soffice >/dev/null 2>&1") == 0; }

std::vector<std::string> SofficeCsv(const std::string& workbook, const TempDir& work) {
  std::string profile = "file://" + work.Path() + "/profile";
  std::string command = "cd '" + work.Path() + "' && timeout 180 soffice -env:UserInstallation=" + profile +
                        " --headless --convert-to csv --outdir '" + work.Path() + "/csv' '" + workbook +
                        "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return {};
  std::string base = workbook.substr(workbook.rfind('/') + 1);
  base = base.substr(0, base.rfind('.'));
  std::ifstream in(work.Path() + "/csv/" + base + ".csv");
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

namespace {

// The fields of a CSV line as LibreOffice writes them ("" inside quotes for a quote).
std::vector<std::string> CsvFields(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      fields.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

}  // namespace

std::map<std::string, std::vector<std::vector<std::string>>> SofficeShownSheets(const std::string& workbook,
                                                                                const TempDir& work, bool recalculate) {
  // LibreOffice's load settings: 0 recalculates every formula, 1 never does.
  const std::string mode = recalculate ? "0" : "1";
  const std::string profile = work.Path() + (recalculate ? "/profile-recalculating" : "/profile-stored");
  std::filesystem::create_directories(profile + "/user");
  std::ofstream(profile + "/user/registrymodifications.xcu")
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
         "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
      << "<item oor:path=\"/org.openoffice.Office.Calc/Formula/Load\"><prop oor:name=\"ODFRecalcMode\" "
         "oor:op=\"fuse\"><value>" << mode << "</value></prop></item>\n"
      << "<item oor:path=\"/org.openoffice.Office.Calc/Formula/Load\"><prop oor:name=\"OOXMLRecalcMode\" "
         "oor:op=\"fuse\"><value>" << mode << "</value></prop></item>\n</oor:items>\n";
  const std::string out = profile + "-csv";
  // Every sheet (-1), UTF-8, cells as shown.
  const std::string command = "cd '" + work.Path() + "' && timeout 180 soffice -env:UserInstallation=file://" + profile +
                              " --headless --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true,"
                              "false,false,-1' --outdir '" + out + "' '" + workbook + "' >/dev/null 2>&1";
  std::map<std::string, std::vector<std::vector<std::string>>> sheets;
  if (std::system(command.c_str()) != 0) return sheets;
  std::string base = workbook.substr(workbook.rfind('/') + 1);
  base = base.substr(0, base.rfind('.')) + "-";
  for (const auto& entry : std::filesystem::directory_iterator(out)) {
    const std::string name = entry.path().stem();
    if (name.compare(0, base.size(), base) != 0) continue;
    std::ifstream in(entry.path());
    auto& rows = sheets[name.substr(base.size())];
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      rows.push_back(CsvFields(line));
    }
  }
  return sheets;
}

}  // namespace fixtures
