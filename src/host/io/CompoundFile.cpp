#include "host/io/CompoundFile.h"
#include "host/io/PartMemory.h"

#include <algorithm>
#include <utility>

#include "host/core/HostError.h"
#include "host/io/LittleEndian.h"
#include "host/io/Utf16.h"

namespace host::io {

namespace {

constexpr std::string_view kSignature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
constexpr size_t kHeaderDifatEntries = 109;
constexpr size_t kEntrySize = 128;
// Storages nested deeper than this are taken as damage (real files nest a few levels).
constexpr int kMaxDepth = 64;

char FoldCase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

uint64_t SectorsFor(uint64_t size, uint64_t sectorSize) { return (size + sectorSize - 1) / sectorSize; }

// Calls take(k, count) for every run of sectors of chain that follow each
// other in the file: chain[k] up to chain[k] + count - 1.
template <typename Take>
void ForEachRun(const std::vector<uint32_t>& chain, Take take) {
  for (size_t k = 0; k < chain.size();) {
    size_t run = 1;
    while (k + run < chain.size() && chain[k + run] == chain[k] + run) ++run;
    take(k, run);
    k += run;
  }
}

}  // namespace

uint32_t DirectoryEntry::StateBits() const { return U32(raw, 0x60); }
uint64_t DirectoryEntry::CreationTime() const { return U64(raw, 0x64); }
uint64_t DirectoryEntry::ModifiedTime() const { return U64(raw, 0x6C); }

bool CompoundFile::HasSignature(std::string_view bytes) { return bytes.substr(0, kSignature.size()) == kSignature; }

CompoundFile::CompoundFile(std::string bytes, std::string path) : bytes_(std::move(bytes)), path_(std::move(path)) {
  Read(bytes_.size());
}

CompoundFile::CompoundFile(std::string head, std::string path, std::ifstream file, uint64_t fileSize)
    : bytes_(std::move(head)), path_(std::move(path)), file_(std::move(file)), fromFile_(true) {
  Read(fileSize);
}

CompoundFile CompoundFile::FromFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
  std::string head(static_cast<size_t>(std::clamp<std::streamoff>(size, 0, 4096)), '\0');
  in.seekg(0);
  if (size < 0 || !in.read(head.data(), static_cast<std::streamsize>(head.size())))
    throw HostError("Cannot open \"" + path + "\": the file cannot be read.");
  return CompoundFile(std::move(head), path, std::move(in), static_cast<uint64_t>(size));
}

void CompoundFile::ReadSectors(uint32_t index, size_t count, char* to) const {
  const size_t bytes = count * sectorSize_;
  file_.clear();
  file_.seekg(static_cast<std::streamoff>(index + 1) * sectorSize_);
  file_.read(to, static_cast<std::streamsize>(bytes));
  const size_t got = file_ ? bytes : static_cast<size_t>(std::max<std::streamsize>(file_.gcount(), 0));
  std::fill(to + got, to + bytes, '\0');  // a last sector cut short reads as padded with zeros
}

void CompoundFile::Read(uint64_t fileSize) {
  if (!HasSignature(bytes_)) Damaged("the compound file signature is missing");
  if (fileSize < 512) Damaged("the header is cut short");
  majorVersion_ = U16(bytes_, 0x1A);
  uint16_t shift = U16(bytes_, 0x1E);
  if (U16(bytes_, 0x1C) != 0xFFFE) Damaged("the header's byte order mark is wrong");
  if (!((majorVersion_ == 3 && shift == 9) || (majorVersion_ == 4 && shift == 12)))
    Damaged("the header gives version " + std::to_string(majorVersion_) + " with sectors of 2^" +
            std::to_string(shift) + " bytes");
  if (U16(bytes_, 0x20) != 6 || U32(bytes_, 0x38) != kMiniCutoff) Damaged("the header's mini stream sizes are wrong");
  sectorSize_ = 1u << shift;
  if (fileSize < sectorSize_) Damaged("the header is cut short");
  // A last sector cut short is read as if padded with zeros.
  sectorCount_ = SectorsFor(fileSize - sectorSize_, sectorSize_);
  fileSize_ = fileSize;
  bytes_.resize(fromFile_ ? sectorSize_ : sectorSize_ * (sectorCount_ + 1), '\0');
  ReadFat();
  ReadDirectory();
  ReadTree();
  ReadMiniStream();
}

void CompoundFile::Damaged(const std::string& what) const {
  throw HostError("Cannot open \"" + path_ + "\": its compound file is damaged (" + what + ").");
}

std::string_view CompoundFile::Sector(uint32_t index) const {
  if (fromFile_) {
    sector_.resize(sectorSize_);
    ReadSectors(index, 1, sector_.data());
    return sector_;
  }
  return std::string_view(bytes_).substr(static_cast<size_t>(index + 1) * sectorSize_, sectorSize_);
}

std::vector<uint32_t> CompoundFile::Chain(uint32_t start, const std::vector<uint32_t>& table, uint64_t limit,
                                          uint64_t available, const std::string& what) const {
  std::vector<uint32_t> chain;
  std::vector<bool> seen(available, false);
  uint32_t next = start;
  while (chain.size() < limit && next != kEndOfChain) {
    if (next >= available || next >= table.size())
      Damaged("the sectors of " + what + " run to sector " + std::to_string(next) + ", which the file does not hold");
    if (seen[next]) Damaged("the sectors of " + what + " run in a loop");
    seen[next] = true;
    chain.push_back(next);
    next = table[next];
  }
  return chain;
}

void CompoundFile::ReadFat() {
  const uint32_t perSector = sectorSize_ / 4;
  uint32_t fatSectors = U32(bytes_, 0x2C);
  uint32_t difatSectors = U32(bytes_, 0x48);
  if (fatSectors > sectorCount_ || difatSectors > sectorCount_)
    Damaged("the header counts more FAT sectors than the file holds");
  std::vector<uint32_t> fatList;
  for (size_t i = 0; i < kHeaderDifatEntries && fatList.size() < fatSectors; ++i)
    fatList.push_back(U32(bytes_, 0x4C + 4 * i));
  std::vector<bool> seen(sectorCount_, false);
  uint32_t next = U32(bytes_, 0x44);
  for (uint32_t n = 0; n < difatSectors && fatList.size() < fatSectors; ++n) {
    if (next >= sectorCount_) Damaged("the DIFAT runs to sector " + std::to_string(next) + ", which the file does not hold");
    if (seen[next]) Damaged("the DIFAT runs in a loop");
    seen[next] = true;
    std::string_view sector = Sector(next);
    for (uint32_t i = 0; i + 1 < perSector && fatList.size() < fatSectors; ++i) fatList.push_back(U32(sector, 4 * i));
    next = U32(sector, sectorSize_ - 4);
  }
  if (fatList.size() < fatSectors) Damaged("the DIFAT lists fewer FAT sectors than the header counts");
  fat_.reserve(static_cast<size_t>(fatSectors) * perSector);
  for (uint32_t index : fatList) {
    if (index >= sectorCount_) Damaged("a FAT sector lies at " + std::to_string(index) + ", beyond the end of the file");
    std::string_view sector = Sector(index);
    for (uint32_t i = 0; i < perSector; ++i) fat_.push_back(U32(sector, 4 * i));
  }
}

void CompoundFile::ReadDirectory() {
  std::vector<uint32_t> chain = Chain(U32(bytes_, 0x30), fat_, sectorCount_ + 1, sectorCount_, "the directory");
  if (chain.empty()) Damaged("the directory is empty");
  entries_.reserve(chain.size() * (sectorSize_ / kEntrySize));
  for (uint32_t sectorIndex : chain) {
    std::string_view sector = Sector(sectorIndex);
    for (size_t at = 0; at < sectorSize_; at += kEntrySize) {
      DirectoryEntry entry;
      entry.raw = std::string(sector.substr(at, kEntrySize));
      entry.type = static_cast<EntryType>(U8(entry.raw, 0x42));
      entry.left = U32(entry.raw, 0x44);
      entry.right = U32(entry.raw, 0x48);
      entry.child = U32(entry.raw, 0x4C);
      entry.startSector = U32(entry.raw, 0x74);
      entry.size = majorVersion_ == 3 ? U32(entry.raw, 0x78) : U64(entry.raw, 0x78);
      uint16_t nameBytes = U16(entry.raw, 0x40);
      if (nameBytes >= 2 && nameBytes <= 64 && nameBytes % 2 == 0)
        entry.name = Utf16ToUtf8(std::string_view(entry.raw).substr(0, nameBytes - 2));
      else if (entry.type != EntryType::Unused)
        Damaged("directory entry " + std::to_string(entries_.size()) + " has a name of " + std::to_string(nameBytes) +
                " bytes");
      entries_.push_back(std::move(entry));
    }
  }
  if (entries_[0].type != EntryType::Root) Damaged("the directory does not begin with the root entry");
  entries_[0].reached = true;
}

void CompoundFile::ReadTree() {
  // Walks each storage's red-black tree in order, storage by storage, with
  // explicit stacks: a damaged tree can neither loop nor exhaust the call stack.
  std::vector<std::pair<int, int>> storages{{0, 0}};  // entry, depth
  while (!storages.empty()) {
    auto [storage, depth] = storages.back();
    storages.pop_back();
    if (depth > kMaxDepth) Damaged("its storages are nested more than " + std::to_string(kMaxDepth) + " deep");
    std::vector<uint32_t> pending;
    uint32_t node = entries_[storage].child;
    while (node != kNoStream || !pending.empty()) {
      while (node != kNoStream) {
        if (node >= entries_.size())
          Damaged("the directory points to entry " + std::to_string(node) + ", which does not exist");
        DirectoryEntry& entry = entries_[node];
        if (entry.reached) Damaged("directory entry " + std::to_string(node) + " is reached twice in the tree");
        if (entry.type != EntryType::Storage && entry.type != EntryType::Stream)
          Damaged("the tree reaches directory entry " + std::to_string(node) + ", which is neither a storage nor a stream");
        entry.reached = true;
        entry.parent = storage;
        pending.push_back(node);
        node = entry.left;
      }
      node = pending.back();
      pending.pop_back();
      if (entries_[node].type == EntryType::Storage) storages.push_back({static_cast<int>(node), depth + 1});
      node = entries_[node].right;
    }
  }
}

void CompoundFile::ReadMiniStream() {
  uint32_t miniFatSectors = U32(bytes_, 0x40);
  if (miniFatSectors > sectorCount_) Damaged("the header counts more mini FAT sectors than the file holds");
  if (miniFatSectors > 0) {
    std::vector<uint32_t> chain = Chain(U32(bytes_, 0x3C), fat_, miniFatSectors, sectorCount_, "the mini FAT");
    if (chain.size() < miniFatSectors) Damaged("the mini FAT is shorter than the header says");
    for (uint32_t index : chain) {
      std::string_view sector = Sector(index);
      for (uint32_t i = 0; i < sectorSize_ / 4; ++i) miniFat_.push_back(U32(sector, 4 * i));
    }
  }
  const DirectoryEntry& root = entries_[0];
  if (root.size == 0) return;
  if (root.size > sectorCount_ * sectorSize_) Damaged("the mini stream is larger than the file");
  uint64_t needed = SectorsFor(root.size, sectorSize_);
  std::vector<uint32_t> chain = Chain(root.startSector, fat_, needed, sectorCount_, "the mini stream");
  if (chain.size() < needed) Damaged("the mini stream is shorter than its size");
  miniStream_.reserve(chain.size() * sectorSize_);
  for (uint32_t index : chain) miniStream_.append(Sector(index));
  miniStream_.resize(root.size);
}

int CompoundFile::Find(std::string_view path) const {
  int current = 0;
  while (!path.empty()) {
    size_t cut = path.find('/');
    std::string_view name = path.substr(0, cut);
    path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
    int found = -1;
    for (int child : Children(current))
      if (SameName(entries_[child].name, name)) found = child;
    if (found < 0) return -1;
    current = found;
  }
  return current;
}

std::vector<int> CompoundFile::Children(int storage) const {
  std::vector<int> children;
  std::vector<uint32_t> pending;
  uint32_t node = entries_[storage].child;
  while (node != kNoStream || !pending.empty()) {
    while (node != kNoStream) {
      pending.push_back(node);
      node = entries_[node].left;
    }
    node = pending.back();
    pending.pop_back();
    children.push_back(static_cast<int>(node));
    node = entries_[node].right;
  }
  return children;
}

std::string CompoundFile::PathOf(int index) const {
  std::string path;
  for (int at = index; at > 0; at = entries_[at].parent) path = entries_[at].name + (path.empty() ? "" : "/") + path;
  return path;
}

void CompoundFile::KeepStreamsExcept(int skip) {
  if (bytesDropped_) return;
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (static_cast<int>(i) == skip || entries_[i].type != EntryType::Stream || !entries_[i].reached) continue;
    try {
      kept_.emplace(static_cast<int>(i), ReadStream(static_cast<int>(i)));
    } catch (const HostError& damaged) {
      unreadable_.emplace(static_cast<int>(i), damaged.Description());  // reported when the stream is read
    }
  }
  bytes_.resize(512);
  bytes_.shrink_to_fit();
  if (fromFile_) file_.close();
  std::string().swap(miniStream_);
  bytesDropped_ = true;
}

std::vector<uint32_t> CompoundFile::SectorChain(const DirectoryEntry& entry, uint64_t limit,
                                               const std::string& what) const {
  if (entry.size > sectorCount_ * sectorSize_) Damaged("the " + what + " is larger than the file");
  const uint64_t needed = SectorsFor(std::min(entry.size, limit), sectorSize_);
  std::vector<uint32_t> chain = Chain(entry.startSector, fat_, needed, sectorCount_, what);
  if (chain.size() < needed) Damaged("the " + what + " is shorter than its size");
  return chain;
}

std::vector<std::pair<uint64_t, uint64_t>> CompoundFile::StreamRuns(int index) const {
  const DirectoryEntry& entry = entries_.at(index);
  if (bytesDropped_ || entry.type != EntryType::Stream || !entry.reached || entry.size < kMiniCutoff) return {};
  const std::vector<uint32_t> chain = SectorChain(entry, entry.size, "stream \"" + PathOf(index) + "\"");
  std::vector<std::pair<uint64_t, uint64_t>> runs;
  uint64_t left = entry.size;
  bool inFile = true;
  ForEachRun(chain, [&](size_t k, size_t run) {
    const uint64_t at = (uint64_t{chain[k]} + 1) * sectorSize_, bytes = std::min<uint64_t>(left, run * sectorSize_);
    inFile = inFile && at + bytes <= fileSize_;
    runs.emplace_back(at, bytes);
    left -= bytes;
  });
  if (!inFile) return {};
  return runs;
}

std::string CompoundFile::ReadStream(int index, uint64_t limit) const {
  const DirectoryEntry& entry = entries_.at(index);
  std::string what = "stream \"" + PathOf(index) + "\"";
  if (entry.type != EntryType::Stream || !entry.reached || entry.size == 0) return {};
  if (bytesDropped_) {
    auto unreadable = unreadable_.find(index);
    if (unreadable != unreadable_.end()) throw HostError(unreadable->second);
    auto kept = kept_.find(index);
    if (kept == kept_.end()) Damaged("the " + what + " was not kept in memory");
    return kept->second.substr(0, std::min<uint64_t>(limit, kept->second.size()));
  }
  std::string data;
  if (entry.size < kMiniCutoff) {
    uint64_t needed = SectorsFor(std::min(entry.size, limit), kMiniSectorSize);
    uint64_t available = miniStream_.size() / kMiniSectorSize + (miniStream_.size() % kMiniSectorSize ? 1 : 0);
    std::vector<uint32_t> chain = Chain(entry.startSector, miniFat_, needed, available, what);
    if (chain.size() < needed) Damaged("the " + what + " is shorter than its size");
    data.reserve(needed * kMiniSectorSize);
    for (uint32_t mini : chain) data.append(std::string_view(miniStream_).substr(mini * kMiniSectorSize, kMiniSectorSize));
    if (data.size() < std::min(entry.size, limit)) Damaged("the " + what + " runs past the end of the mini stream");
  } else {
    const std::vector<uint32_t> chain = SectorChain(entry, limit, what);
    if (fromFile_) {
      // Runs of consecutive sectors in one read each, into huge pages (a
      // stream of megabytes would fault in every 4 KB page).
      data.reserve(chain.size() * sectorSize_);
      AdviseReserved(data);
      data.resize(chain.size() * sectorSize_);
      ForEachRun(chain, [&](size_t k, size_t run) { ReadSectors(chain[k], run, data.data() + k * sectorSize_); });
    } else {
      data.reserve(chain.size() * sectorSize_);
      for (uint32_t index : chain) data.append(Sector(index));
    }
  }
  data.resize(std::min(entry.size, limit));
  return data;
}

}  // namespace host::io
