// Opening a workbook file in the format its content shows, through the
// formats' registry: the one place that hands a path to a format folder.
// Each format first estimates the memory the file needs; the core's one
// rule decides whether it fits (see MemoryBudget.h).

#include <memory>
#include <string>

#include "host/core/HostError.h"
#include "host/core/MemoryBudget.h"
#include "host/core/WorkbookStore.h"
#include "host/formats/FileFormat.h"
#include "host/formats/FormatRegistry.h"

namespace host {

namespace {

std::string LowerExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return ext;
}

}  // namespace

std::unique_ptr<WorkbookStore> OpenWorkbookStore(const std::string& path) {
  CheckOpenable(path);
  const FileFormat kind = RecogniseFile(path);
  ContentProbe named;
  named.extension = LowerExtension(path);
  for (const WorkbookFormat& format : WorkbookFormats()) {
    if (format.kind != kind) continue;
    // Text is a workbook only where its name says it holds records.
    if (format.container == Container::Text && !format.claims(named)) break;
    RequireMemory(path, format.memoryNeed(path));
    return format.open(path);
  }
  // A zip package that holds no workbook goes to the first package format,
  // whose reader names what is missing or damaged.
  if (kind == FileFormat::OtherZip)
    for (const WorkbookFormat& format : WorkbookFormats())
      if (format.container == Container::ZipPackage) {
        RequireMemory(path, format.memoryNeed(path));
        return format.open(path);
      }
  throw HostError(RefusalMessage(kind, path));
}

}  // namespace host
