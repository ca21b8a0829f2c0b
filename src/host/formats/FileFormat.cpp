#include "host/formats/FileFormat.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>

#include <algorithm>
#include <fstream>
#include <tuple>
#include <vector>

#include "host/core/HostError.h"
#include "host/formats/FormatRegistry.h"
#include "host/formats/biff/BiffRecords.h"
#include "host/formats/biff/XlsFormat.h"
#include "host/io/CompoundFile.h"

namespace host {

using biff::BiffVersion;
using biff::DetectBiffVersion;
using io::CompoundFile;
using io::EntryType;

namespace {

// The content of one entry of a zip held in memory, at most limit bytes;
// empty when it is missing.
// The buffer is sized by the entry's stated size, not by the limit: a probe
// asks for up to 1 MB of a content-types part that is usually a few hundred
// bytes, and every file of a batch is probed.
std::string ZipEntry(zip_t* archive, const char* name, size_t limit) {
  zip_stat_t stat;
  zip_stat_init(&stat);
  size_t want = limit;
  if (zip_stat(archive, name, 0, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE)) want = std::min<size_t>(limit, stat.size);
  zip_file_t* file = zip_fopen(archive, name, 0);
  if (!file) return {};
  std::string data(want, '\0');
  zip_int64_t got = want ? zip_fread(file, data.data(), want) : 0;
  zip_fclose(file);
  data.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return data;
}

FileFormat RecogniseArchive(zip_t* archive);

FileFormat RecogniseZip(std::string_view bytes) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
  zip_error_fini(&error);
  if (!archive) {
    if (source) zip_source_free(source);
    return FileFormat::DamagedZip;
  }
  const FileFormat format = RecogniseArchive(archive);
  zip_discard(archive);
  return format;
}

FileFormat RecogniseArchive(zip_t* archive) {
  ContentProbe probe;
  probe.container = Container::ZipPackage;
  // Several formats claim by the same entry (the content types): each is read
  // once per limit.
  std::vector<std::tuple<std::string, size_t, std::string>> read;
  probe.part = [archive, &read](const char* name, size_t limit) {
    for (const auto& [n, l, data] : read)
      if (n == name && l == limit) return data;
    read.emplace_back(name, limit, ZipEntry(archive, name, limit));
    return std::get<2>(read.back());
  };
  for (const WorkbookFormat& format : WorkbookFormats())
    if (format.container == Container::ZipPackage && format.claims(probe)) return format.kind;
  return FileFormat::OtherZip;
}

// What a compound file holds, told by its streams.
FileFormat RecogniseStreams(const CompoundFile& file) {
  ContentProbe probe;
  probe.container = Container::CompoundFile;
  probe.part = [&file](const char* name, size_t limit) -> std::string {
    const int entry = file.Find(name);
    if (entry < 0 || file.Entries()[entry].type != EntryType::Stream) return {};
    return file.ReadStream(entry, limit);
  };
  for (const WorkbookFormat& format : WorkbookFormats())
    if (format.container == Container::CompoundFile && format.claims(probe)) return format.kind;
  if (file.Find("Workbook") >= 0 || file.Find("Book") >= 0) return FileFormat::Biff5Workbook;
  // A workbook (or any Office file) saved with a password to open it.
  if (file.Find("EncryptionInfo") >= 0 || file.Find("EncryptedPackage") >= 0) return FileFormat::EncryptedPackage;
  return FileFormat::OtherCompoundFile;
}

// A damaged container with the signature is still taken as one; the
// reader's own message says what is wrong when it is opened.
FileFormat DamagedCompoundFile() {
  for (const WorkbookFormat& format : WorkbookFormats())
    if (format.container == Container::CompoundFile) return format.kind;
  return FileFormat::OtherCompoundFile;
}

FileFormat RecogniseCompoundFile(std::string_view bytes) {
  try {
    return RecogniseStreams(CompoundFile{std::string(bytes), ""});
  } catch (const HostError&) {
    return DamagedCompoundFile();
  }
}

std::string Lowered(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  return lower;
}

bool LooksLikeText(std::string_view head) {
  if (head.empty()) return false;
  if (head.substr(0, 2) == "\xFF\xFE" || head.substr(0, 2) == "\xFE\xFF") return true;  // UTF-16 with a mark
  size_t control = 0;
  for (unsigned char c : head) {
    if (c == 0) return false;
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') ++control;
  }
  return control * 100 <= head.size();
}

}  // namespace

FileFormat RecogniseFormat(std::string_view bytes) {
  if (bytes.substr(0, 4) == std::string_view("PK\x03\x04", 4) || bytes.substr(0, 4) == std::string_view("PK\x05\x06", 4))
    return RecogniseZip(bytes);
  if (CompoundFile::HasSignature(bytes)) return RecogniseCompoundFile(bytes);
  BiffVersion bare = DetectBiffVersion(bytes.substr(0, 8));
  if (bare == BiffVersion::Biff2 || bare == BiffVersion::Biff3 || bare == BiffVersion::Biff4)
    return FileFormat::Biff4OrOlder;
  std::string_view head = bytes.substr(0, 4096);
  if (!LooksLikeText(head)) return FileFormat::Unknown;
  std::string lower = Lowered(head);
  // A web page saved with an .xls name, as spreadsheet programs write them.
  if (lower.find("<html") != std::string::npos || lower.find("<!doctype html") != std::string::npos)
    return FileFormat::HtmlPage;
  if (lower.find("progid=\"excel.sheet\"") != std::string::npos ||
      lower.find("urn:schemas-microsoft-com:office:spreadsheet") != std::string::npos)
    return FileFormat::XmlSpreadsheet2003;
  if (lower.find("application/vnd.oasis.opendocument.spreadsheet") != std::string::npos &&
      lower.find("office:document") != std::string::npos)
    return FileFormat::FlatOpenDocument;
  return FileFormat::Text;
}

FileFormat RecogniseFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return FileFormat::Unknown;
  const auto size = static_cast<size_t>(in.tellg());
  in.seekg(0);
  // A zip package is told by its directory and a compound file by its
  // streams; everything else by its first bytes.
  std::string head(std::min<size_t>(size, 4096), '\0');
  if (!in.read(head.data(), static_cast<std::streamsize>(head.size()))) return FileFormat::Unknown;
  const bool zip = head.substr(0, 4) == std::string_view("PK\x03\x04", 4) ||
                   head.substr(0, 4) == std::string_view("PK\x05\x06", 4);
  if (zip) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!archive) return error == ZIP_ER_OPEN || error == ZIP_ER_READ ? FileFormat::Unknown : FileFormat::DamagedZip;
    const FileFormat format = RecogniseArchive(archive);
    zip_discard(archive);
    return format;
  }
  if (!CompoundFile::HasSignature(head) || size <= head.size()) return RecogniseFormat(head);
  // The streams are told from the container's tables and the first bytes of
  // a stream or two, read from the file: never the whole file into memory.
  try {
    return RecogniseStreams(CompoundFile::FromFile(path));
  } catch (const HostError&) {
    return DamagedCompoundFile();
  }
}

std::string FormatsOpened() {
  std::vector<std::string_view> all;
  for (const WorkbookFormat& format : WorkbookFormats()) all.insert(all.end(), format.extensions.begin(), format.extensions.end());
  std::string list;
  for (size_t i = 0; i < all.size(); ++i) {
    if (i > 0) list += i + 1 == all.size() ? " and " : ", ";
    list += all[i];
  }
  return list;
}

std::string RefusalMessage(FileFormat format, const std::string& path) {
  auto cannot = [&path](const std::string& why) { return CannotOpen(path, why).Description(); };
  switch (format) {
    case FileFormat::Biff5Workbook: return biff::Excel95Refusal(path);
    case FileFormat::Biff4OrOlder: return biff::Excel4Refusal(path);
    case FileFormat::OtherZip: return cannot("it is a zip package that holds no workbook");
    case FileFormat::DamagedZip: return cannot("it is a zip package that is truncated or damaged (its directory cannot be read)");
    case FileFormat::EncryptedPackage:
      return cannot("it is protected with a password; remove the password in a spreadsheet program first");
    case FileFormat::OtherCompoundFile: return cannot("it is an Office document that holds no workbook");
    case FileFormat::HtmlPage: return cannot("it is a web page (HTML), not a workbook; save it as .xlsx first");
    case FileFormat::FlatOpenDocument:
      return cannot("it is a flat XML OpenDocument spreadsheet (.fods); save it as .ods first");
    case FileFormat::XmlSpreadsheet2003:
      return cannot("it is an XML Spreadsheet 2003 file, not a workbook this host opens; save it as .xlsx first");
    case FileFormat::Text: return cannot("it is a text file, not a workbook");
    case FileFormat::Unknown:
      return cannot("it is a binary file in no format this host opens (it opens " + FormatsOpened() + " files)");
    default: return {};  // a format the host opens
  }
}

}  // namespace host
