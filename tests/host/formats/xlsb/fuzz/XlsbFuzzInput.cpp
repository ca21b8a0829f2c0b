#include "XlsbFuzzInput.h"

#include <zip.h>

#include <utility>

#include "FuzzCase.h"

namespace xlsbfuzz {

namespace {

std::string DefaultWorkbook() {
  // BrtBeginBook, BrtBundleSh (state, tab id, "rId1", "S"), BrtEndBook.
  const std::string sheet = std::string(8, '\0') + std::string("\x04\0\0\0r\0I\0d\0" "1\0", 12) + std::string("\x01\0\0\0S\0", 6);
  return std::string("\x83\x01\x00", 3) + std::string("\x9C\x01", 2) + static_cast<char>(sheet.size()) + sheet +
         std::string("\x84\x01\x00", 3);
}

}  // namespace

bool WritePackage(const std::string& path, std::string_view input) {
  if (input.size() >= 2 && input[0] == 'P' && input[1] == 'K') return fuzzcase::WriteWorkbook(path, input);
  std::pair<const char*, std::string> parts[] = {
      {"xl/worksheets/sheet1.bin", std::string("\x81\x01\x00\x91\x01\x00\x92\x01\x00\x82\x01\x00", 12)},
      {"xl/sharedStrings.bin", ""},
      {"xl/styles.bin", ""},
      {"xl/workbook.bin", DefaultWorkbook()},
  };
  for (auto& part : parts) {
    if (input.empty()) break;
    const size_t cut = input.find("\n----\n");
    part.second = std::string(input.substr(0, cut));
    input = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 6);
  }
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
  const std::string types =
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "<Override PartName=\"/xl/workbook.bin\" ContentType=\"application/vnd.ms-excel.sheet.binary.macroEnabled.main\"/>"
      "</Types>";
  const std::string root = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                           "<Relationship Id=\"rId1\" Type=\"" + rel + "officeDocument\" Target=\"xl/workbook.bin\"/></Relationships>";
  const std::string book = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                           "<Relationship Id=\"rId1\" Type=\"" + rel + "worksheet\" Target=\"worksheets/sheet1.bin\"/>"
                           "<Relationship Id=\"rId2\" Type=\"" + rel + "sharedStrings\" Target=\"sharedStrings.bin\"/>"
                           "<Relationship Id=\"rId3\" Type=\"" + rel + "styles\" Target=\"styles.bin\"/></Relationships>";
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) return false;
  auto add = [archive](const char* name, const std::string& data) {
    zip_source_t* source = zip_source_buffer(archive, data.data(), data.size(), 0);
    if (zip_file_add(archive, name, source, 0) < 0) zip_source_free(source);
  };
  add("[Content_Types].xml", types);
  add("_rels/.rels", root);
  add("xl/_rels/workbook.bin.rels", book);
  for (const auto& [name, data] : parts) add(name, data);
  return zip_close(archive) == 0;
}

}  // namespace xlsbfuzz
