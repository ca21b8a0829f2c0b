#include "host/io/CompoundFileWriter.h"

#include <vector>
#include <string_view>

#include "host/core/HostError.h"
#include "host/io/LittleEndian.h"

namespace host::io {

namespace {

constexpr size_t kHeaderDifatEntries = 109;
constexpr size_t kEntrySize = 128;

uint64_t SectorsFor(uint64_t size, uint64_t sectorSize) { return (size + sectorSize - 1) / sectorSize; }

// Hands out consecutive sectors and records their chains in the FAT.
class SectorPlan {
 public:
  explicit SectorPlan(uint32_t sectorSize) : sectorSize_(sectorSize) {}
  // The first sector of a run long enough for size bytes (end of chain when empty).
  uint32_t Place(uint64_t size, uint32_t mark = 0) {
    if (size == 0) return CompoundFile::kEndOfChain;
    uint64_t count = SectorsFor(size, sectorSize_);
    uint32_t first = static_cast<uint32_t>(fat_.size());
    for (uint64_t i = 0; i < count; ++i)
      fat_.push_back(mark ? mark : i + 1 < count ? static_cast<uint32_t>(fat_.size() + 1) : CompoundFile::kEndOfChain);
    return first;
  }
  uint32_t Used() const { return static_cast<uint32_t>(fat_.size()); }
  std::vector<uint32_t>& Fat() { return fat_; }

 private:
  uint32_t sectorSize_;
  std::vector<uint32_t> fat_;
};

void AppendPadded(std::string& out, std::string_view data, uint32_t sectorSize) {
  out.append(data);
  if (data.size() % sectorSize) out.append(sectorSize - data.size() % sectorSize, '\0');
}

void AppendTable(std::string& out, const std::vector<uint32_t>& table, uint32_t sectorSize) {
  for (uint32_t value : table) Append(out, value, 4);
  size_t bytes = table.size() * 4;
  for (; bytes % sectorSize; bytes += 4) Append(out, CompoundFile::kFree, 4);
}

std::string UnusedEntry() {
  std::string entry(kEntrySize, '\0');
  for (size_t at : {0x44, 0x48, 0x4C}) Put(entry, at, CompoundFile::kNoStream, 4);
  return entry;
}

}  // namespace

std::string WriteCompoundFile(const CompoundFile& source, const std::map<int, std::string>& replacements) {
  std::string all;
  WriteCompoundFile(source, replacements, [&all](std::string_view piece) { all.append(piece); });
  return all;
}

void WriteCompoundFile(const CompoundFile& source, const std::map<int, std::string>& replacements,
                       const std::function<void(std::string_view)>& sink) {
  std::map<int, StreamPieces> pieces;
  std::map<int, const StreamPieces*> views;
  for (const auto& [index, bytes] : replacements) {
    pieces[index].View(bytes);
    views[index] = &pieces[index];
  }
  WriteCompoundFile(source, views, sink);
}

void WriteCompoundFile(const CompoundFile& source, const std::map<int, const StreamPieces*>& replacements,
                       const std::function<void(std::string_view)>& sink) {
  const uint32_t sectorSize = source.SectorSize();
  const uint32_t perSector = sectorSize / 4;
  const std::vector<DirectoryEntry>& entries = source.Entries();
  const size_t count = entries.size();
  auto isStream = [&](size_t i) { return entries[i].reached && entries[i].type == EntryType::Stream; };
  // Only a stream of the file can be given new bytes.
  for (const auto& [index, bytes] : replacements)
    if (index < 0 || static_cast<size_t>(index) >= count || !isStream(static_cast<size_t>(index)))
      throw HostError("The compound file has no stream " + std::to_string(index) + " to replace.");

  // Sizes first; the bytes of an unchanged stream are read only when they
  // are written, so that no more than one of them is held at a time.
  std::vector<uint64_t> sizes(count, 0);
  for (size_t i = 0; i < count; ++i) {
    if (!isStream(i)) continue;
    auto replaced = replacements.find(static_cast<int>(i));
    if (replaced == replacements.end()) {
      sizes[i] = entries[i].size;
      continue;
    }
    sizes[i] = replaced->second->Size();
  }
  auto appendStream = [&](std::string& target, size_t i, uint32_t unit) {
    auto replaced = replacements.find(static_cast<int>(i));
    if (replaced != replacements.end()) {
      replaced->second->Emit([&target](std::string_view piece) { target.append(piece); });
      if (sizes[i] % unit) target.append(unit - sizes[i] % unit, '\0');
    } else {
      AppendPadded(target, source.ReadStream(static_cast<int>(i)), unit);
    }
  };
  auto isLarge = [&](size_t i) { return isStream(i) && sizes[i] >= CompoundFile::kMiniCutoff; };

  // Small streams go to the mini stream, in 64-byte mini sectors.
  std::vector<uint32_t> start(count, CompoundFile::kEndOfChain);
  std::string mini;
  std::vector<uint32_t> miniFat;
  for (size_t i = 0; i < count; ++i) {
    if (!isStream(i) || sizes[i] == 0 || isLarge(i)) continue;
    uint64_t sectors = SectorsFor(sizes[i], CompoundFile::kMiniSectorSize);
    start[i] = static_cast<uint32_t>(miniFat.size());
    for (uint64_t s = 0; s < sectors; ++s)
      miniFat.push_back(s + 1 < sectors ? static_cast<uint32_t>(miniFat.size() + 1) : CompoundFile::kEndOfChain);
    appendStream(mini, i, CompoundFile::kMiniSectorSize);
  }

  // Sector order: large streams, mini stream, mini FAT, directory, FAT, DIFAT.
  SectorPlan plan(sectorSize);
  for (size_t i = 0; i < count; ++i)
    if (isLarge(i)) start[i] = plan.Place(sizes[i]);
  uint32_t miniStreamStart = plan.Place(mini.size());
  uint32_t miniFatStart = plan.Place(miniFat.size() * 4);
  uint32_t directoryStart = plan.Place(count * kEntrySize);
  uint64_t fatSectors = 0, difatSectors = 0;
  for (;;) {
    uint64_t fat = SectorsFor(plan.Used() + fatSectors + difatSectors, perSector);
    uint64_t difat = fat > kHeaderDifatEntries ? SectorsFor(fat - kHeaderDifatEntries, perSector - 1) : 0;
    if (fat == fatSectors && difat == difatSectors) break;
    fatSectors = fat;
    difatSectors = difat;
  }
  uint32_t fatStart = plan.Used();
  plan.Place(fatSectors * sectorSize, CompoundFile::kFatSector);
  uint32_t difatStart = difatSectors ? plan.Place(difatSectors * sectorSize, CompoundFile::kDifatSector)
                                     : CompoundFile::kEndOfChain;

  std::string out(source.Header());
  out.resize(sectorSize, '\0');
  uint32_t directorySectors = static_cast<uint32_t>(SectorsFor(count * kEntrySize, sectorSize));
  Put(out, 0x28, source.MajorVersion() == 3 ? 0 : directorySectors, 4);
  Put(out, 0x2C, fatSectors, 4);
  Put(out, 0x30, directoryStart, 4);
  Put(out, 0x3C, miniFatStart, 4);
  Put(out, 0x40, SectorsFor(miniFat.size() * 4, sectorSize), 4);
  Put(out, 0x44, difatStart, 4);
  Put(out, 0x48, difatSectors, 4);
  for (size_t i = 0; i < kHeaderDifatEntries; ++i)
    Put(out, 0x4C + 4 * i, i < fatSectors ? fatStart + i : CompoundFile::kFree, 4);

  // Large streams go to the sink as they are: none is copied again.
  for (size_t i = 0; i < count; ++i) {
    if (!isLarge(i)) continue;
    sink(out);
    out.clear();
    auto replaced = replacements.find(static_cast<int>(i));
    if (replaced != replacements.end()) {
      replaced->second->Emit(sink);
    } else {
      std::string data = source.ReadStream(static_cast<int>(i));
      sink(data);
    }
    if (sizes[i] % sectorSize) out.append(sectorSize - sizes[i] % sectorSize, '\0');
  }
  AppendPadded(out, mini, sectorSize);
  AppendTable(out, miniFat, sectorSize);

  std::string directory;
  for (size_t i = 0; i < count; ++i) {
    const DirectoryEntry& entry = entries[i];
    if (!entry.reached) {
      directory += UnusedEntry();
      continue;
    }
    std::string raw = entry.raw;
    uint64_t size = 0;
    uint32_t first = 0;
    if (entry.type == EntryType::Root) {
      size = mini.size();
      first = miniStreamStart;
    } else if (entry.type == EntryType::Stream) {
      size = sizes[i];
      first = start[i];
      Put(raw, 0x4C, CompoundFile::kNoStream, 4);  // a stream has no children
    }
    if (entry.type != EntryType::Storage) {
      Put(raw, 0x74, first, 4);
      // Version 3 keeps only 32 bits of size; its upper half stays as written
      // unless the stream has new contents.
      bool keepHigh = source.MajorVersion() == 3 && !replacements.count(static_cast<int>(i));
      Put(raw, 0x78, size, keepHigh ? 4 : 8);
    }
    directory += raw;
  }
  AppendPadded(out, directory, sectorSize);

  std::vector<uint32_t>& fat = plan.Fat();
  fat.resize(fatSectors * perSector, CompoundFile::kFree);
  AppendTable(out, fat, sectorSize);
  for (uint64_t d = 0; d < difatSectors; ++d) {
    std::vector<uint32_t> sector;
    for (uint64_t i = 0; i + 1 < perSector; ++i) {
      uint64_t fatIndex = kHeaderDifatEntries + d * (perSector - 1) + i;
      sector.push_back(fatIndex < fatSectors ? static_cast<uint32_t>(fatStart + fatIndex) : CompoundFile::kFree);
    }
    sector.push_back(d + 1 < difatSectors ? static_cast<uint32_t>(difatStart + d + 1) : CompoundFile::kEndOfChain);
    AppendTable(out, sector, sectorSize);
  }
  sink(out);
}

}  // namespace host::io
