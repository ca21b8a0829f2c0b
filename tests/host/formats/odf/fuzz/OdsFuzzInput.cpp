#include "OdsFuzzInput.h"

#include <zip.h>

#include "FuzzCase.h"

namespace odsfuzz {

bool WritePackage(const std::string& path, std::string_view input) {
  // A zip file is written as it is, as the workbook fuzz case writes one.
  if (input.size() >= 2 && input[0] == 'P' && input[1] == 'K') return fuzzcase::WriteWorkbook(path, input);
  std::pair<const char*, std::string> parts[] = {
      {"content.xml", ""},
      {"styles.xml", "<office:document-styles/>"},
      {"settings.xml", "<office:document-settings/>"},
      {"META-INF/manifest.xml", "<manifest:manifest/>"},
  };
  for (auto& part : parts) {
    if (input.empty()) break;
    size_t cut = input.find("\n----\n");
    part.second = std::string(input.substr(0, cut));
    input = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 6);
  }
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) return false;
  static const std::string mime = "application/vnd.oasis.opendocument.spreadsheet";
  auto add = [archive](const char* name, const std::string& data) {
    zip_source_t* source = zip_source_buffer(archive, data.data(), data.size(), 0);
    zip_int64_t index = zip_file_add(archive, name, source, 0);
    if (index >= 0) zip_set_file_compression(archive, index, ZIP_CM_STORE, 0);
  };
  add("mimetype", mime);
  for (const auto& [name, data] : parts) add(name, data);
  return zip_close(archive) == 0;
}

}  // namespace odsfuzz
