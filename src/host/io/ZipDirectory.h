#pragma once
// A zip file's central directory, read on its own: what libzip refuses to
// open is looked at here, so that the host can name the entry at fault or
// accept what streaming writers produce.

#include <cstdint>
#include <string>
#include <vector>

namespace host {

struct ZipEntryHeader {
  std::string name;  // as stored
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t size = 0;
  uint64_t localOffset = 0;
};

// The entries of the central directory of the zip file at path; false when
// the file holds no readable central directory.
bool ReadZipDirectory(const std::string& path, std::vector<ZipEntryHeader>& entries);

// The first name that two entries share, compared without regard to case as
// part names are ("" when every name is unique).
std::string FirstDuplicateName(const std::vector<std::string>& names);

// The name of the first entry whose local header disagrees with the central
// directory, "" when all agree. Sizes and checksum written after the data
// (general-purpose bit 3, as streaming writers do) are not compared in the
// local header, which may hold zeros or Zip64 placeholders there.
std::string FirstInconsistentEntry(const std::string& path, const std::vector<ZipEntryHeader>& entries);

// The bytes the XML parts (.xml, .rels) of the zip file at path inflate to,
// by its central directory; 0 when it has none readable.
uint64_t InflatedXmlSize(const std::string& path);
// The same for the parts whose names end in one of endings.
uint64_t InflatedSizeOf(const std::string& path, const std::vector<std::string>& endings);

}  // namespace host
