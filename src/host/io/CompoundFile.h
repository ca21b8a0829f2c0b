#pragma once
// Reader of OLE2 compound files (the container of .xls workbooks): header,
// FAT, DIFAT, mini FAT and mini stream, and the directory tree. Every fault
// in the container fails with a HostError that names the file and what in it
// is damaged.

#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace host::io {

enum class EntryType : uint8_t { Unused = 0, Storage = 1, Stream = 2, Root = 5 };

// One 128-byte directory entry, decoded, with its bytes as stored.
struct DirectoryEntry {
  std::string name;  // UTF-8
  EntryType type = EntryType::Unused;
  uint32_t left = 0, right = 0, child = 0;
  uint32_t startSector = 0;
  uint64_t size = 0;
  int parent = -1;        // the storage holding it; -1 for the root and unreached entries
  bool reached = false;   // reached from the root through the tree
  std::string raw;        // the 128 bytes: CLSID, state bits, times, colour as written

  std::string_view Clsid() const { return std::string_view(raw).substr(0x50, 16); }
  uint32_t StateBits() const;
  uint64_t CreationTime() const;
  uint64_t ModifiedTime() const;
};

class CompoundFile {
 public:
  // True when bytes begin with the compound file signature.
  static bool HasSignature(std::string_view bytes);

  // Reads the container held in bytes; path names the file in messages.
  // Throws HostError when the header, the sector tables or the directory are damaged.
  CompoundFile(std::string bytes, std::string path);
  // Reads the container in the file at path without holding the file: its
  // tables now, a stream's sectors when the stream is read. Throws HostError
  // like above, and when the file cannot be read.
  static CompoundFile FromFile(const std::string& path);

  // All directory entries, by their index in the directory (0 is the root).
  const std::vector<DirectoryEntry>& Entries() const { return entries_; }
  // The entry at a path of names below the root, such as "Workbook" or
  // "_VBA_PROJECT_CUR/VBA/dir" (names compared without case); -1 when none.
  int Find(std::string_view path) const;
  // The entries directly inside a storage (or the root), in tree order.
  std::vector<int> Children(int storage) const;
  // The full path of an entry, for messages.
  std::string PathOf(int index) const;
  // The bytes of a stream entry, or only its first limit bytes. Throws
  // HostError when its sectors are damaged.
  std::string ReadStream(int index, uint64_t limit = UINT64_MAX) const;
  // Where in the file the bytes of a stream entry stand: its sectors as
  // runs of sectors that follow each other (file offset, bytes), in stream
  // order, so that it can be read straight from the file. Empty when the
  // stream lives in the mini stream or runs past the end of the file (a last
  // sector cut short is read padded, from a copy). Throws HostError when its
  // sectors are damaged.
  std::vector<std::pair<uint64_t, uint64_t>> StreamRuns(int index) const;

  // Reads every stream but the one at index skip into memory and drops the
  // file's bytes: the container then serves the streams it kept (for a
  // writer that replaces skip) without holding the whole file. A damaged
  // stream throws its HostError when it is read.
  void KeepStreamsExcept(int skip);

  uint16_t MajorVersion() const { return majorVersion_; }
  uint32_t SectorSize() const { return sectorSize_; }
  // The header's first 512 bytes as stored.
  std::string_view Header() const { return std::string_view(bytes_).substr(0, 512); }
  const std::string& FilePath() const { return path_; }

  static constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
  static constexpr uint32_t kFree = 0xFFFFFFFF;
  static constexpr uint32_t kFatSector = 0xFFFFFFFD;
  static constexpr uint32_t kDifatSector = 0xFFFFFFFC;
  static constexpr uint32_t kNoStream = 0xFFFFFFFF;
  static constexpr uint32_t kMiniCutoff = 4096;
  static constexpr uint32_t kMiniSectorSize = 64;

 private:
  CompoundFile(std::string head, std::string path, std::ifstream file, uint64_t fileSize);
  void Read(uint64_t fileSize);
  // Reads count sectors from index on into to (zeros past the end of the file).
  void ReadSectors(uint32_t index, size_t count, char* to) const;
  [[noreturn]] void Damaged(const std::string& what) const;
  std::string_view Sector(uint32_t index) const;
  std::vector<uint32_t> Chain(uint32_t start, const std::vector<uint32_t>& table, uint64_t limit, uint64_t available,
                              const std::string& what) const;
  // The sectors that hold the first limit bytes of a stream kept in the
  // file's sectors; refused as damaged where the chain is cut short.
  std::vector<uint32_t> SectorChain(const DirectoryEntry& entry, uint64_t limit, const std::string& what) const;
  void ReadFat();
  void ReadDirectory();
  void ReadTree();
  void ReadMiniStream();

  std::string bytes_;           // the file, or only its header when read from the file
  std::string path_;
  mutable std::ifstream file_;  // the file, while sectors are read from it
  bool fromFile_ = false;
  mutable std::string sector_;  // the sector last read from the file
  uint16_t majorVersion_ = 0;
  uint32_t sectorSize_ = 0;
  uint64_t sectorCount_ = 0;  // sectors after the header that the file holds
  uint64_t fileSize_ = 0;
  std::vector<uint32_t> fat_;
  std::vector<uint32_t> miniFat_;
  std::string miniStream_;
  std::vector<DirectoryEntry> entries_;
  bool bytesDropped_ = false;
  std::map<int, std::string> kept_;   // the streams kept once the bytes are dropped
  std::map<int, std::string> unreadable_;  // streams whose sectors are damaged -> the message
};

}  // namespace host::io
