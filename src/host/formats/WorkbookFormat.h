#pragma once
// What a file format folder tells the rest of the host about itself: the
// file names it goes by, how its files are told by their content, and how
// one opens. The formats' registry (FormatRegistry.h) lists one per folder;
// nothing else names a format.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/core/MemoryBudget.h"
#include "host/formats/FileFormat.h"

namespace host {

class WorkbookStore;

// The container a file's content shows before any format reads it.
enum class Container { ZipPackage, CompoundFile, Text };

// What recognition has read of a file, for a format to claim it by.
struct ContentProbe {
  Container container = Container::Text;
  // A zip package's entry or a compound file's stream by name, at most limit
  // bytes; empty when missing.
  std::function<std::string(const char* name, size_t limit)> part;
  // The file name's extension, lower case and without the dot ("" for bytes
  // without a name).
  std::string extension;
};

struct WorkbookFormat {
  FileFormat kind;
  Container container;
  // The extensions its files carry, in the order messages and help list them.
  std::vector<std::string_view> extensions;
  // True when the probe's content is this format's.
  bool (*claims)(const ContentProbe& probe);
  // Opens the file at path (HostError naming the file and what is wrong).
  std::unique_ptr<WorkbookStore> (*open)(const std::string& path);
  // What opening, changing and saving the file at path will take, estimated
  // before it is read (see MemoryBudget.h).
  MemoryNeed (*memoryNeed)(const std::string& path);
};

}  // namespace host
