// Prints the formats the host opens, read from the host's own list of formats,
// for the texts the build makes from it: tabulory(1), the bash completion and
// the package description.
//   tabulory_format_list list   .xlsx, .xlsm, ..., .csv and .tsv
//   tabulory_format_list glob   xlsx|xlsm|...|tsv
#include "host/formats/FileFormat.h"
#include "host/formats/FormatRegistry.h"

#include <cstdio>
#include <string>
#include <string_view>

int main(int argc, char** argv) {
  const std::string_view form = argc == 2 ? argv[1] : "";
  std::string text;
  if (form == "list") {
    text = host::FormatsOpened();
  } else if (form == "glob") {
    for (const host::WorkbookFormat& format : host::WorkbookFormats())
      for (std::string_view extension : format.extensions) {
        if (!text.empty()) text += '|';
        text += extension.substr(extension.starts_with('.') ? 1 : 0);
      }
  } else {
    std::fprintf(stderr, "usage: tabulory_format_list list|glob\n");
    return 2;
  }
  std::printf("%s\n", text.c_str());
  return 0;
}
