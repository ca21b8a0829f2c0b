#include "host/io/ZipDirectory.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace host {

namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint16_t kDataDescriptorFlag = 8;
constexpr uint64_t kMaxDirectory = uint64_t(256) << 20;

uint16_t U16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const unsigned char* p) { return U16(p) | (static_cast<uint32_t>(U16(p + 2)) << 16); }
uint64_t U64(const unsigned char* p) { return U32(p) | (static_cast<uint64_t>(U32(p + 4)) << 32); }

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

bool ReadAt(FILE* file, uint64_t offset, void* buffer, size_t size) {
  if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
  return std::fread(buffer, 1, size, file) == size;
}

// The Zip64 values of an extra-field block, for the fields that hold the
// 0xFFFFFFFF placeholder, in the order the format gives them.
void ApplyZip64(const unsigned char* extra, size_t length, ZipEntryHeader& e, bool sizes, bool offset) {
  size_t at = 0;
  while (at + 4 <= length) {
    uint16_t id = U16(extra + at), size = U16(extra + at + 2);
    const unsigned char* data = extra + at + 4;
    if (at + 4 + size > length) return;
    if (id == 1) {
      size_t k = 0;
      auto take = [&](uint64_t& v, bool wanted) {
        if (wanted && v == 0xFFFFFFFFu && k + 8 <= size) {
          v = U64(data + k);
          k += 8;
        }
      };
      take(e.size, sizes);
      take(e.compressedSize, sizes);
      take(e.localOffset, offset);
      return;
    }
    at += 4 + size;
  }
}

// Flags, method, checksum and sizes, which local and central headers hold in
// the same order (at is the flags' offset).
void ReadSharedFields(const unsigned char* at, ZipEntryHeader& e) {
  e.flags = U16(at);
  e.method = U16(at + 2);
  e.crc = U32(at + 8);
  e.compressedSize = U32(at + 12);
  e.size = U32(at + 16);
}

}  // namespace

bool ReadZipDirectory(const std::string& path, std::vector<ZipEntryHeader>& entries) {
  entries.clear();
  File file(std::fopen(path.c_str(), "rb"));
  if (!file || fseeko(file.get(), 0, SEEK_END) != 0) return false;
  const uint64_t fileSize = static_cast<uint64_t>(ftello(file.get()));
  // The end record (22 bytes) stands within the last 64 KiB + 22 (its comment).
  const uint64_t tail = std::min<uint64_t>(fileSize, 65535 + 22);
  std::vector<unsigned char> end(tail);
  if (tail < 22 || !ReadAt(file.get(), fileSize - tail, end.data(), tail)) return false;
  size_t at = tail - 22 + 1;
  do {
    --at;
    if (U32(end.data() + at) == kEndSignature) break;
  } while (at > 0);
  if (U32(end.data() + at) != kEndSignature) return false;
  const uint64_t endOffset = fileSize - tail + at;
  uint64_t count = U16(end.data() + at + 10);
  uint64_t dirSize = U32(end.data() + at + 12);
  uint64_t dirOffset = U32(end.data() + at + 16);
  if (endOffset >= 20 && (count == 0xFFFF || dirSize == 0xFFFFFFFFu || dirOffset == 0xFFFFFFFFu)) {
    unsigned char locator[20];
    unsigned char record[56];
    if (ReadAt(file.get(), endOffset - 20, locator, sizeof locator) && U32(locator) == kZip64LocatorSignature &&
        ReadAt(file.get(), U64(locator + 8), record, sizeof record) && U32(record) == kZip64EndSignature) {
      count = U64(record + 32);
      dirSize = U64(record + 40);
      dirOffset = U64(record + 48);
    }
  }
  if (dirSize > kMaxDirectory || dirOffset > fileSize || dirSize > fileSize - dirOffset) return false;
  std::vector<unsigned char> dir(dirSize);
  if (dirSize && !ReadAt(file.get(), dirOffset, dir.data(), dirSize)) return false;
  size_t p = 0;
  for (uint64_t i = 0; i < count; ++i) {
    if (p + 46 > dir.size() || U32(dir.data() + p) != kCentralSignature) return false;
    const unsigned char* h = dir.data() + p;
    ZipEntryHeader e;
    ReadSharedFields(h + 8, e);
    const size_t nameLength = U16(h + 28), extraLength = U16(h + 30), commentLength = U16(h + 32);
    e.localOffset = U32(h + 42);
    if (p + 46 + nameLength + extraLength + commentLength > dir.size()) return false;
    e.name.assign(reinterpret_cast<const char*>(h + 46), nameLength);
    ApplyZip64(h + 46 + nameLength, extraLength, e, true, true);
    entries.push_back(std::move(e));
    p += 46 + nameLength + extraLength + commentLength;
  }
  return true;
}

std::string FirstDuplicateName(const std::vector<std::string>& names) {
  std::vector<std::pair<std::string, size_t>> folded;
  folded.reserve(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    std::string f = names[i];
    if (!f.empty() && f[0] == '/') f.erase(0, 1);
    for (char& c : f)
      if (c >= 'A' && c <= 'Z') c += 32;
    folded.emplace_back(std::move(f), i);
  }
  std::sort(folded.begin(), folded.end());
  std::string first;
  size_t firstIndex = names.size();
  for (size_t i = 1; i < folded.size(); ++i)
    if (folded[i].first == folded[i - 1].first && std::max(folded[i].second, folded[i - 1].second) < firstIndex) {
      firstIndex = std::max(folded[i].second, folded[i - 1].second);
      first = names[firstIndex];
    }
  return first;
}

std::string FirstInconsistentEntry(const std::string& path, const std::vector<ZipEntryHeader>& entries) {
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) return entries.empty() ? "" : entries.front().name;
  for (const ZipEntryHeader& e : entries) {
    unsigned char h[30];
    if (!ReadAt(file.get(), e.localOffset, h, sizeof h) || U32(h) != kLocalSignature) return e.name;
    const size_t nameLength = U16(h + 26), extraLength = U16(h + 28);
    std::vector<unsigned char> rest(nameLength + extraLength);
    if (!rest.empty() && !ReadAt(file.get(), e.localOffset + 30, rest.data(), rest.size())) return e.name;
    ZipEntryHeader local;
    ReadSharedFields(h + 6, local);
    ApplyZip64(rest.data() + nameLength, extraLength, local, true, false);
    if (local.method != e.method || std::string(rest.begin(), rest.begin() + nameLength) != e.name) return e.name;
    if (local.flags & kDataDescriptorFlag) continue;
    if (local.crc != e.crc || local.compressedSize != e.compressedSize || local.size != e.size) return e.name;
  }
  return "";
}

uint64_t InflatedSizeOf(const std::string& path, const std::vector<std::string>& endings) {
  std::vector<ZipEntryHeader> entries;
  if (!ReadZipDirectory(path, entries)) return 0;
  uint64_t total = 0;
  for (const ZipEntryHeader& entry : entries)
    for (const std::string& ending : endings)
      if (entry.name.size() >= ending.size() &&
          entry.name.compare(entry.name.size() - ending.size(), ending.size(), ending) == 0) {
        total += entry.size;
        break;
      }
  return total;
}

uint64_t InflatedXmlSize(const std::string& path) { return InflatedSizeOf(path, {".xml", ".rels"}); }

}  // namespace host
