#include "host/io/Package.h"
#include "host/core/Characters.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include "host/core/HostError.h"
#include "host/core/FileReplacement.h"
#include "host/io/PartDeflater.h"
#include "host/io/ZipFileSink.h"
#include "host/io/ZipDirectory.h"

namespace host {

namespace {

// What a libzip error code means, in the host's words (the library's own
// text and numbers mean nothing to the user).
std::string ZipProblem(int code, int systemCode = 0) {
  switch (code) {
    case ZIP_ER_CRC: return "its checksum does not match (the data is damaged)";
    case ZIP_ER_ZLIB:
    case ZIP_ER_INCONS:
    case ZIP_ER_EOF:
    case ZIP_ER_NOZIP: return "its data is damaged";
    case ZIP_ER_COMPNOTSUPP: return "it is compressed with a method this host cannot read";
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD: return "it is encrypted";
    case ZIP_ER_MEMORY: return "there is not enough memory";
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
    case ZIP_ER_OPEN:
    case ZIP_ER_WRITE:
    case ZIP_ER_CLOSE:
    case ZIP_ER_TMPOPEN:
    case ZIP_ER_RENAME:
    case ZIP_ER_REMOVE:
      return systemCode ? FileErrorReason(systemCode) : "the disk could not be used";
    default: return "the zip data could not be handled";
  }
}

std::string ZipProblem(zip_error_t* error) {
  return ZipProblem(zip_error_code_zip(error),
                    zip_error_system_type(error) == ZIP_ET_SYS ? zip_error_code_system(error) : 0);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    if (x != y) return false;
  }
  return true;
}

// Hands libzip a part deflated beforehand: the stat says the bytes are
// deflate data of the part's size and checksum, so libzip writes them as
// they are.
struct CompressedSource {
  std::unique_ptr<PartDeflater> part;
  size_t piece = 0;
  size_t offset = 0;
  time_t mtime = 0;
  zip_error_t error;
};

zip_int64_t CompressedCallback(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
  auto* s = static_cast<CompressedSource*>(state);
  switch (cmd) {
    case ZIP_SOURCE_OPEN:
      s->piece = 0;
      s->offset = 0;
      return 0;
    case ZIP_SOURCE_READ: {
      const std::vector<std::string_view>& pieces = s->part->Compressed();
      char* out = static_cast<char*>(data);
      zip_uint64_t n = 0;
      while (n < len && s->piece < pieces.size()) {
        std::string_view rest = pieces[s->piece].substr(s->offset);
        const size_t take = std::min<zip_uint64_t>(len - n, rest.size());
        std::memcpy(out + n, rest.data(), take);
        n += take;
        s->offset += take;
        if (s->offset == pieces[s->piece].size()) {
          ++s->piece;
          s->offset = 0;
        }
      }
      return static_cast<zip_int64_t>(n);
    }
    case ZIP_SOURCE_CLOSE:
      return 0;
    case ZIP_SOURCE_STAT: {
      auto* st = static_cast<zip_stat_t*>(data);
      zip_stat_init(st);
      st->mtime = s->mtime;
      st->size = s->part->Size();
      st->comp_size = s->part->CompressedSize();
      st->crc = s->part->Crc();
      st->comp_method = ZIP_CM_DEFLATE;
      st->encryption_method = ZIP_EM_NONE;
      st->valid |= ZIP_STAT_MTIME | ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD |
                   ZIP_STAT_ENCRYPTION_METHOD;
      return sizeof(*st);
    }
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&s->error, data, len);
    case ZIP_SOURCE_FREE:
      zip_error_fini(&s->error);
      delete s;
      return 0;
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                            ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
      zip_error_set(&s->error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

// One decompressor per thread, kept (it is small, but allocated each time it
// would show in small parts).
libdeflate_decompressor* Decompressor() {
  struct Holder {
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    ~Holder() { libdeflate_free_decompressor(d); }
  };
  thread_local Holder holder;
  return holder.d;
}

}  // namespace

Package::Package(const std::string& path) : path_(path), opened_(FileIdentity::Of(path)) {
  int code = 0;
  archive_ = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
  if (!archive_ && (code == ZIP_ER_INCONS || code == ZIP_ER_EXISTS)) {
    // Name the entry at fault; a package whose local headers disagree with
    // the directory only where streaming writers leave the sizes to a data
    // descriptor is sound, and opened without libzip's consistency check
    // (each part's checksum is still verified when it is read).
    std::vector<ZipEntryHeader> entries;
    if (ReadZipDirectory(path, entries)) {
      std::vector<std::string> names;
      for (const ZipEntryHeader& e : entries) names.push_back(e.name);
      std::string duplicate = FirstDuplicateName(names);
      if (!duplicate.empty()) Fail("the package holds two entries named " + duplicate);
      std::string inconsistent = FirstInconsistentEntry(path, entries);
      if (!inconsistent.empty()) Fail("the entry " + inconsistent + " of the zip package is damaged");
      archive_ = zip_open(path.c_str(), ZIP_RDONLY, &code);
    }
  }
  if (!archive_) {
    switch (code) {
      case ZIP_ER_NOENT: Fail("the file does not exist");
      case ZIP_ER_OPEN:
      case ZIP_ER_READ: Fail(errno == EACCES || errno == EPERM ? "permission to read it was denied" : "the file cannot be read");
      case ZIP_ER_NOZIP: {
        // A zip whose end is missing still starts like one.
        char head[4] = {};
        if (FILE* file = std::fopen(path.c_str(), "rb")) {
          size_t got = std::fread(head, 1, sizeof head, file);
          std::fclose(file);
          if (got == 4 && std::memcmp(head, "PK\x03\x04", 4) == 0) Fail("the zip package is truncated or damaged");
          // Password-protected workbooks and old binary ones are compound files.
          if (got == 4 && std::memcmp(head, "\xD0\xCF\x11\xE0", 4) == 0)
            Fail("the file is an encrypted or old binary workbook, not a zip package");
        }
        Fail("the file is not a zip package");
      }
      case ZIP_ER_EXISTS: Fail("the package holds two entries of the same name");
      case ZIP_ER_INCONS: Fail("the zip package is damaged or truncated");
      default: Fail("the zip package cannot be read (" + ZipProblem(code) + ")");
    }
  }
  // Part names are compared without regard to case: "a.xml" and "A.xml" are
  // one part twice, and which one the host read would be a guess.
  std::vector<std::string> names;
  zip_int64_t count = zip_get_num_entries(archive_, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(archive_, i, ZIP_FL_ENC_RAW);
    names.push_back(name ? name : "");
  }
  std::string duplicate = FirstDuplicateName(names);
  if (!duplicate.empty()) {
    zip_discard(archive_);
    archive_ = nullptr;
    Fail("the package holds two entries named " + duplicate);
  }
}

Package::~Package() {
  if (archive_) zip_discard(archive_);
}

void Package::Fail(const std::string& what) const {
  throw HostError("Cannot open " + Quoted(path_) + ": " + what + ".");
}

int64_t Package::Locate(std::string_view name) const {
  std::string n(name);
  zip_int64_t index = zip_name_locate(archive_, n.c_str(), ZIP_FL_ENC_RAW);
  if (index < 0) index = zip_name_locate(archive_, n.c_str(), ZIP_FL_NOCASE | ZIP_FL_ENC_RAW);
  if (index < 0) {
    // Some writers store part names with a leading slash.
    std::string slashed = "/" + n;
    index = zip_name_locate(archive_, slashed.c_str(), ZIP_FL_NOCASE | ZIP_FL_ENC_RAW);
  }
  return index;
}

bool Package::Has(std::string_view name) const { return Locate(name) >= 0; }

std::string Package::StoredName(std::string_view name) const {
  int64_t index = Locate(name);
  if (index < 0) return {};
  const char* stored = zip_get_name(archive_, index, ZIP_FL_ENC_RAW);
  return stored ? stored : "";
}

void Package::ReadInto(std::string_view name, const std::function<char*(size_t)>& allocate) {
  int64_t index = Locate(name);
  std::string part(name);
  if (index < 0) Fail("the part " + part + " is missing");
  zip_stat_t st;
  if (zip_stat_index(archive_, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
    Fail("the part " + part + " cannot be read");
  if (st.size > kMaxPartSize)
    Fail("the part " + part + " declares an absurd size (" + std::to_string(st.size) + " bytes)");
  if (st.size >= kRatioCheckFrom && (st.valid & ZIP_STAT_COMP_SIZE) &&
      st.size / std::max<uint64_t>(st.comp_size, 1) > kMaxRatio)
    Fail("the part " + part + " is compressed beyond any plausible ratio (a zip bomb?)");
  if (totalRead_ + st.size > kMaxTotalSize) Fail("the package is too large to open");
  char* data = allocate(st.size);
  if (!InflateInto(index, st, part, data)) {
    zip_file_t* file = zip_fopen_index(archive_, index, 0);
    if (!file) Fail("the part " + part + " cannot be read (" + ZipProblem(zip_get_error(archive_)) + ")");
    const uint64_t got = ReadFully(file, data, st.size, part);
    char extra;
    zip_int64_t more = got == st.size ? zip_fread(file, &extra, 1) : 0;
    int closed = zip_fclose(file);
    if (got != st.size) Fail("the part " + part + " is shorter than declared (damaged or truncated)");
    if (more > 0) Fail("the part " + part + " is longer than declared (damaged or a zip bomb)");
    if (more < 0 || closed != 0) Fail("the part " + part + " is damaged (checksum or data error)");
  }
  totalRead_ += st.size;
}

uint64_t Package::ReadFully(zip_file_t* file, char* data, uint64_t size, const std::string& part) {
  uint64_t got = 0;
  while (got < size) {
    const zip_int64_t n = zip_fread(file, data + got, size - got);
    if (n < 0) {
      std::string why = ZipProblem(zip_file_get_error(file));
      zip_fclose(file);
      Fail("the part " + part + " is damaged (" + why + ")");
    }
    if (n == 0) break;
    got += static_cast<uint64_t>(n);
  }
  return got;
}

bool Package::InflateInto(int64_t index, const zip_stat_t& st, const std::string& part, char* data) {
  const zip_uint64_t needed = ZIP_STAT_COMP_METHOD | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC;
  if ((st.valid & needed) != needed || st.comp_method != ZIP_CM_DEFLATE ||
      ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE))
    return false;
  libdeflate_decompressor* inflater = Decompressor();
  if (!inflater) Fail("the part " + part + " cannot be read (there is not enough memory)");
  // The compressed bytes go to a buffer kept for the next part.
  thread_local ScratchBuffer compressed;
  char* in = compressed.Reserve(st.comp_size);
  zip_file_t* file = zip_fopen_index(archive_, index, ZIP_FL_COMPRESSED);
  if (!file) Fail("the part " + part + " cannot be read (" + ZipProblem(zip_get_error(archive_)) + ")");
  const uint64_t got = ReadFully(file, in, st.comp_size, part);
  zip_fclose(file);
  if (got != st.comp_size) Fail("the part " + part + " is shorter than declared (damaged or truncated)");
  size_t consumed = 0, produced = 0;
  switch (libdeflate_deflate_decompress_ex(inflater, in, got, data, st.size, &consumed, &produced)) {
    case LIBDEFLATE_SUCCESS:
      if (produced != st.size) Fail("the part " + part + " is shorter than declared (damaged or truncated)");
      break;
    case LIBDEFLATE_INSUFFICIENT_SPACE:
      Fail("the part " + part + " is longer than declared (damaged or a zip bomb)");
    default:
      Fail("the part " + part + " is damaged (" + ZipProblem(ZIP_ER_ZLIB) + ")");
  }
  if (libdeflate_crc32(0, data, st.size) != st.crc)
    Fail("the part " + part + " is damaged (" + ZipProblem(ZIP_ER_CRC) + ")");
  return true;
}

NewPart TextPart(std::string bytes, int level) {
  auto shared = std::make_shared<std::string>(std::move(bytes));
  auto done = std::make_shared<bool>(false);
  const uint64_t size = shared->size();
  return NewPart{[shared, done]() -> std::string_view {
                   if (*done) return {};
                   *done = true;
                   return *shared;
                 },
                 size, level};
}

std::string Package::Read(std::string_view name) {
  std::string data;
  ReadInto(name, [&data](size_t size) {
    data.resize(size);
    return data.data();
  });
  return data;
}

PartBytes Package::ReadBytes(std::string_view name) {
  PartBytes bytes;
  // The buffer's pages are put in on another thread while the part is
  // inflated into it.
  std::unique_ptr<PagePrefault> prefault;
  ReadInto(name, [&bytes, &prefault](size_t size) {
    bytes.data = AllocatePartMemory(size);
    bytes.size = size;
    prefault = std::make_unique<PagePrefault>(bytes.data.get(), size);
    return bytes.data.get();
  });
  return bytes;
}

void Package::Save(const std::map<std::string, NewPart>& changed) {
  // The save policy of every format: links followed, the file still the one
  // read, a temporary beside it that libzip writes into through the sink.
  FileReplacement replacement(path_, &opened_);
  ZipFileSink sink(replacement.Descriptor());
  auto failSave = [&replacement](const std::string& what) { replacement.Fail(what); };

  zip_t* out = nullptr;
  current_.clear();
  try {
    zip_error_t openError;
    zip_error_init(&openError);
    out = sink.OpenArchive(&openError);
    if (!out) {
      const std::string why = ZipProblem(&openError);
      zip_error_fini(&openError);
      failSave("the new file cannot be written (" + why + ")");
    }
    zip_error_fini(&openError);
    zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
      const char* rawName = zip_get_name(archive_, i, ZIP_FL_ENC_RAW);
      if (!rawName) failSave("an entry of the package cannot be read");
      std::string name = rawName;
      zip_stat_t st;
      zip_stat_init(&st);
      zip_stat_index(archive_, i, 0, &st);
      const NewPart* producer = nullptr;
      for (const auto& [part, produce] : changed)
        if (EqualNoCase(part, name) || (name.size() == part.size() + 1 && name[0] == '/' &&
                                        EqualNoCase(part, std::string_view(name).substr(1))))
          producer = &produce;
      zip_source_t* source = nullptr;
      if (producer) {
        if (!producer->produce) continue;  // the part is dropped
        // A rewritten part keeps its entry's time, so that the saved file
        // depends only on its content (the same change gives the same bytes).
        const time_t entryTime = (st.valid & ZIP_STAT_MTIME) ? st.mtime : time(nullptr);
        // The part is produced and deflated here, in entry order; libzip
        // then writes the deflated bytes as they are.
        auto deflater = std::make_unique<PartDeflater>(producer->level, producer->size);
        current_ = name;
        for (std::string_view piece = producer->produce(); !piece.empty(); piece = producer->produce())
          deflater->Add(piece);
        current_.clear();
        if (!deflater->Finish()) failSave("the entry " + name + " cannot be written (there is not enough memory)");
        auto* state = new CompressedSource{std::move(deflater), 0, 0, entryTime, {}};
        zip_error_init(&state->error);
        source = zip_source_function(out, CompressedCallback, state);
        if (!source) {
          zip_error_fini(&state->error);
          delete state;
        }
      } else {
        // Whole entry: libzip copies the compressed bytes without inflating.
        source = zip_source_zip(out, archive_, i, 0, 0, -1);
      }
      if (!source) failSave("the entry " + name + " cannot be copied (" + ZipProblem(zip_get_error(out)) + ")");
      zip_int64_t index = zip_file_add(out, name.c_str(), source, ZIP_FL_ENC_RAW);
      if (index < 0) {
        zip_source_free(source);
        failSave("the entry " + name + " cannot be added (" + ZipProblem(zip_get_error(out)) + ")");
      }
      // A part written anew is deflate data already (libzip keeps it as it is).
      if (producer) zip_set_file_compression(out, index, ZIP_CM_DEFLATE, 0);
      // A stored entry (an OpenDocument mimetype, a picture) stays stored;
      // libzip would otherwise deflate it anew.
      if (!producer && (st.valid & ZIP_STAT_COMP_METHOD) && st.comp_method == ZIP_CM_STORE)
        zip_set_file_compression(out, index, ZIP_CM_STORE, 0);
      if (st.valid & ZIP_STAT_MTIME) zip_file_set_mtime(out, index, st.mtime, 0);
      CopyEntryHeaders(i, out, index);
    }
    int commentLength = 0;
    const char* comment = zip_get_archive_comment(archive_, &commentLength, ZIP_FL_ENC_RAW);
    if (comment && commentLength > 0) zip_set_archive_comment(out, comment, static_cast<zip_uint16_t>(commentLength));
    if (zip_close(out) != 0) {
      // The sink knows the system's reason for a failed write (a full disk).
      const std::string why = sink.SystemError() ? FileErrorReason(sink.SystemError()) : ZipProblem(zip_get_error(out));
      failSave("the new file cannot be written (" + why + ")");
    }
    out = nullptr;
  } catch (...) {
    if (out) zip_discard(out);
    throw;
  }
  opened_ = replacement.Commit();
}

void Package::CopyEntryHeaders(int64_t from, zip* out, int64_t to) const {
  zip_uint8_t opsys;
  zip_uint32_t attributes;
  if (zip_file_get_external_attributes(archive_, from, 0, &opsys, &attributes) == 0)
    zip_file_set_external_attributes(out, to, 0, opsys, attributes);
  // Extra fields (times, Unix owners, alignment padding ...) and the entry's
  // comment go with the entry, byte for byte; libzip leaves them behind.
  for (zip_flags_t where : {zip_flags_t(ZIP_FL_LOCAL), zip_flags_t(ZIP_FL_CENTRAL)}) {
    zip_int16_t fields = zip_file_extra_fields_count(archive_, from, where);
    for (zip_int16_t k = 0; k < fields; ++k) {
      zip_uint16_t id = 0, length = 0;
      const zip_uint8_t* data = zip_file_extra_field_get(archive_, from, k, &id, &length, where);
      if (data) zip_file_extra_field_set(out, to, id, ZIP_EXTRA_FIELD_NEW, data, length, where);
    }
  }
  zip_uint32_t commentLength = 0;
  const char* comment = zip_file_get_comment(archive_, from, &commentLength, ZIP_FL_ENC_RAW);
  if (comment && commentLength > 0) zip_file_set_comment(out, to, comment, static_cast<zip_uint16_t>(commentLength), 0);
}

}  // namespace host
