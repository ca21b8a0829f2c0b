#pragma once
// The compressed size of one entry of a saved workbook beside the size
// `zip -6` gives the same entry: every part the host deflates anew must come
// out no larger than the common zip tool makes it, and the benchmarks print
// both.

#include <zip.h>

#include <cstdint>
#include <cstdlib>
#include <string>

// The compressed size of entry in the zip package at path, in bytes (0 when
// the package or the entry is missing).
inline uint64_t EntryCompressedSize(const std::string& path, const std::string& entry) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (!archive) return 0;
  zip_stat_t st;
  const bool found = zip_stat(archive, entry.c_str(), 0, &st) == 0 && (st.valid & ZIP_STAT_COMP_SIZE);
  zip_discard(archive);
  return found ? st.comp_size : 0;
}

// The compressed size of the same entry once the package is unpacked into a
// folder beside it and packed again with `zip -X -6` (untimed; 0 on failure).
inline uint64_t ZipSixEntrySize(const std::string& path, const std::string& entry) {
  const std::string unpacked = path + ".unpacked", repacked = path + ".zip6.zip";
  const std::string command = "rm -rf '" + unpacked + "' '" + repacked + "' && unzip -q '" + path + "' -d '" + unpacked +
                              "' && cd '" + unpacked + "' && zip -q -X -6 -r '" + repacked + "' .";
  const uint64_t size = std::system(command.c_str()) == 0 ? EntryCompressedSize(repacked, entry) : 0;
  std::system(("rm -rf '" + unpacked + "' '" + repacked + "'").c_str());
  return size;
}
