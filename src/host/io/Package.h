#pragma once
// The zip package of a workbook: reading parts with caps against deflate
// bombs, and writing a new package in which unchanged entries are copied
// as compressed bytes, replaced atomically over the original file.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "host/core/FileReplacement.h"
#include "host/io/PartMemory.h"

struct zip;
struct zip_stat;
struct zip_file;

namespace host {

// Produces the bytes of a part written anew, piece by piece: each call returns
// the next piece (valid until the next call); an empty piece ends the part.
using PartProducer = std::function<std::string_view()>;

// libdeflate levels for the parts written anew, chosen per kind of part so
// that the entry is no larger than zlib's level 6 makes it (measured; see
// BENCHMARKS.md): worksheet XML, OpenDocument content, binary worksheet
// records (.xlsb; level 6 makes them larger than zlib's 6), and small parts,
// where the time does not matter.
constexpr int kSheetDeflateLevel = 5;
constexpr int kContentDeflateLevel = 7;
constexpr int kBinarySheetDeflateLevel = 7;
constexpr int kSmallPartDeflateLevel = 9;

// A part written anew: its producer, about the number of bytes it yields
// (it chooses how a large part is split for deflating; the entry records the
// bytes produced) and its deflate level. An empty producer drops the part.
struct NewPart {
  PartProducer produce;
  uint64_t size = 0;
  int level = kSmallPartDeflateLevel;
};

// A part written anew from bytes already made (a small part edited whole).
NewPart TextPart(std::string bytes, int level = kSmallPartDeflateLevel);

// The bytes of a part, read without first clearing the memory they go to.
struct PartBytes {
  PartMemory data;
  size_t size = 0;
  std::string_view View() const { return std::string_view(data.get(), size); }
};

class Package {
 public:
  // Largest uncompressed part accepted, and the largest compression ratio
  // accepted for parts above kRatioCheckFrom bytes.
  static constexpr uint64_t kMaxPartSize = uint64_t(2) << 30;
  static constexpr uint64_t kMaxTotalSize = uint64_t(8) << 30;
  static constexpr uint64_t kRatioCheckFrom = uint64_t(1) << 20;
  static constexpr uint64_t kMaxRatio = 300;

  // Opens the zip file at path for reading; HostError (naming the file) when
  // it is no zip package, damaged or truncated.
  explicit Package(const std::string& path);
  ~Package();
  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;

  // True when the package holds the part (names without a leading "/";
  // compared without regard to case, as part names are).
  bool Has(std::string_view name) const;
  // The part's bytes; HostError when missing, oversized or damaged.
  std::string Read(std::string_view name);
  // The same, into a buffer of its own (for large parts kept as read).
  PartBytes ReadBytes(std::string_view name);
  // The entry name as stored, for a part name in any case ("" when missing).
  std::string StoredName(std::string_view name) const;

  // Writes the package back to its file: parts in `changed` are written anew
  // (deflated by libdeflate, a large part on two threads), every other entry
  // is copied with its compressed bytes.
  // The new file replaces the old one by the host's save policy
  // (FileReplacement.h), which also refuses a file changed on disk since
  // the package was opened. HostError and the old file unchanged on
  // failure; what a part's producer
  // throws passes through (FailedEntry names that part).
  void Save(const std::map<std::string, NewPart>& changed);

  const std::string& Path() const { return path_; }
  // The entry a failed Save was writing when a part's producer failed ("" otherwise).
  const std::string& FailedEntry() const { return current_; }

 private:
  // Copies an entry's attributes, extra fields and comment to entry `to` of out.
  void CopyEntryHeaders(int64_t from, zip* out, int64_t to) const;
  [[noreturn]] void Fail(const std::string& what) const;
  int64_t Locate(std::string_view name) const;
  // Checks the part's sizes, asks allocate for room and reads the part into it.
  void ReadInto(std::string_view name, const std::function<char*(size_t)>& allocate);
  // Reads a deflated entry's compressed bytes and inflates them into data
  // (size bytes, as the directory says); false when the entry is stored in a
  // way only libzip reads (encrypted).
  bool InflateInto(int64_t index, const struct zip_stat& st, const std::string& part, char* data);
  // Reads up to size bytes of the open entry into data and returns how many
  // came; a read error closes the entry and fails the part as damaged.
  uint64_t ReadFully(zip_file* file, char* data, uint64_t size, const std::string& part);

  std::string path_;
  FileIdentity opened_;  // the file as read (or last saved)
  zip* archive_ = nullptr;
  uint64_t totalRead_ = 0;
  std::string current_;
};

}  // namespace host
