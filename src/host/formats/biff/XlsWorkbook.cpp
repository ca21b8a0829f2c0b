#include <sys/stat.h>

#include "host/formats/biff/XlsWorkbook.h"
#include "host/core/Characters.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <functional>
#include <map>

#include "host/core/HostError.h"
#include "host/core/SaveTarget.h"
#include "host/formats/biff/BiffRecords.h"
#include "host/formats/biff/FormulaTokens.h"
#include "host/io/CompoundFile.h"
#include "host/io/CompoundFileWriter.h"
#include "host/formats/biff/XlsFormat.h"
#include "host/io/LittleEndian.h"

namespace host::biff {

using namespace host::io;  // the container and the byte helpers the records sit in

namespace {

// The compound file at path and the index of its "Workbook" stream; HostError
// for anything that is not a BIFF8 workbook.
CompoundFile OpenContainer(const std::string& path, const std::string& doing, int& workbook) {
  std::string signature(8, '\0');
  {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw HostError("Cannot " + doing + " " + Quoted(path) + ": the file cannot be read.");
    in.read(signature.data(), 8);
    signature.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  }
  if (!CompoundFile::HasSignature(signature))
    throw HostError("Cannot " + doing + " " + Quoted(path) + ": it is not an Excel 97–2003 workbook.");
  // The container's tables are read now, its streams' sectors when read:
  // the file is never held whole.
  CompoundFile file = CompoundFile::FromFile(path);
  workbook = file.Find("Workbook");
  if (workbook < 0 || file.Entries()[workbook].type != EntryType::Stream) {
    if (file.Find("Book") >= 0) throw HostError(Excel95Refusal(path));
    throw HostError("Cannot " + doing + " " + Quoted(path) + ": it holds no Excel 97–2003 workbook stream.");
  }
  return file;
}

// Views the workbook stream in the file at path (still the file opened)
// straight from the file's pages where they line up (see MappedFile::MapRuns);
// false (book untouched) where it cannot be viewed so. Only a file a save
// can only rename over is viewed: the mapped bytes must not change under the store.
bool MapStream(XlsBook& book, const CompoundFile& container, int entry, const FileIdentity& opened) {
  std::vector<MappedFile::Run> runs;
  for (const auto& [at, bytes] : container.StreamRuns(entry)) runs.push_back({at, static_cast<size_t>(bytes)});
  if (runs.empty()) return false;
  const int fd = ::open(book.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  MappedFile mapped;
  if (::fstat(fd, &st) == 0 && FileReplacement::OnlyRenames(st) && st.st_dev == opened.device && st.st_ino == opened.inode &&
      st.st_size == opened.size)
    mapped = MappedFile::MapRuns(fd, runs);
  ::close(fd);
  if (!mapped) return false;
  book.mapped = std::move(mapped);
  book.stream = book.mapped.Bytes();
  return true;
}

}  // namespace

XlsWorkbook::XlsWorkbook(const std::string& path) : book_(std::make_shared<XlsBook>()) {
  book_->path = path;
  opened_ = FileIdentity::Of(path);
  container_ = std::make_unique<CompoundFile>(OpenContainer(path, "open", workbookEntry_));
  if (!MapStream(*book_, *container_, workbookEntry_, opened_)) {
    book_->owned = container_->ReadStream(workbookEntry_);
    book_->stream = book_->owned;
  }
  // The other streams stay for the save; the file's bytes are dropped.
  container_->KeepStreamsExcept(workbookEntry_);
  ReadSheets();
  // Read in order once: what is read again later is read again from the file.
  book_->Release(0, book_->stream.size());
}

std::unique_ptr<XlsWorkbook> XlsWorkbook::FromStream(std::string stream, const std::string& path) {
  std::unique_ptr<XlsWorkbook> book(new XlsWorkbook());
  book->book_ = std::make_shared<XlsBook>();
  book->book_->path = path;
  book->book_->owned = std::move(stream);
  book->book_->stream = book->book_->owned;
  book->ReadSheets();
  return book;
}

void XlsWorkbook::ReadSheets() {
  book_->globals = ReadGlobals(book_->stream, "Workbook", book_->path);
  for (size_t i = 0; i < book_->globals.sheets.size(); ++i) {
    const SheetInfo& info = book_->globals.sheets[i];
    entries_.push_back({info.name, info.kind == 0});
    sheets_.push_back(info.kind == 0 ? std::make_unique<XlsSheet>(book_, i) : nullptr);
    if (sheets_.back()) substreamEnds_[sheets_.back()->Begin()] = sheets_.back()->End();
  }
}

std::optional<std::vector<WorkbookStore::DefinedName>> XlsWorkbook::DefinedNames() const {
  const WorkbookGlobals& globals = book_->globals;
  const FormulaContext context = globals.NamesContext();
  return NamesFromTokens(globals.definedNames, globals.nameDefinitions,
                         [&context](const auto& rgce) { return FormulaText(rgce, 0, 0, context); });
}

SheetStore* XlsWorkbook::Sheet(size_t index) { return index < sheets_.size() ? sheets_[index].get() : nullptr; }

size_t XlsWorkbook::ActiveTab() const {
  size_t active = book_->globals.activeSheet;
  return active < entries_.size() ? active : 0;
}

std::string XlsWorkbook::NewWorkbookStream(const std::vector<const XlsSheet*>& changed) const {
  StreamPieces pieces;
  NewWorkbookStream(changed, pieces);
  return pieces.Joined();
}

void XlsWorkbook::NewWorkbookStream(const std::vector<const XlsSheet*>& changed, StreamPieces& pieces) const {
  const std::string_view stream = book_->stream;
  const WorkbookGlobals& globals = book_->globals;
  // The globals: the recalculation request, the sheets' new positions (set
  // once the sheets are placed).
  std::string globalsNow;
  globalsNow.reserve(globals.end + 12);
  globalsNow.append(stream.substr(0, globals.eofOffset));
  if (recalculate_) {
    if (globals.recalcIdOffset != std::string_view::npos) {
      Put(globalsNow, globals.recalcIdOffset + 4 + 4, 0, 4);
    } else {
      // Placed last, so that nothing before it moves (SST and EXTSST offsets hold).
      std::string body;
      Append(body, rt::kRecalcId, 2);
      Append(body, 0, 2);
      Append(body, 0, 4);
      Append(globalsNow, rt::kRecalcId, 2);
      Append(globalsNow, body.size(), 2);
      globalsNow += body;
    }
  }
  globalsNow.append(stream.substr(globals.eofOffset, globals.end - globals.eofOffset));
  std::string& head = pieces.Own(std::move(globalsNow));
  std::multimap<size_t, size_t> sheetAt;  // old position -> BOUNDSHEET8 index
  for (size_t i = 0; i < globals.sheets.size(); ++i) sheetAt.emplace(globals.sheets[i].position, i);
  std::vector<uint32_t> newPosition(globals.sheets.size());
  std::vector<bool> placed(globals.sheets.size(), false);
  size_t at = globals.end;
  while (at < stream.size()) {
    if (stream.size() - at < 4 || U16(stream, at) != rt::kBof) {
      book_->View(pieces, at, stream.size() - at);  // whatever follows the last substream, as it was
      break;
    }
    auto known = substreamEnds_.find(at);
    size_t end = known != substreamEnds_.end() ? known->second : SubstreamEnd(stream, at, "Workbook", book_->path);
    const XlsSheet* store = nullptr;
    for (auto [sheet, last] = sheetAt.equal_range(at); sheet != last; ++sheet) {
      newPosition[sheet->second] = static_cast<uint32_t>(pieces.Size());
      placed[sheet->second] = true;
      for (const XlsSheet* s : changed)
        if (s->Index() == sheet->second) store = s;
    }
    if (store)
      store->WriteSubstream(pieces);
    else if (pieces.Size() == at)
      book_->View(pieces, at, end - at);
    else  // as it was, but where it stands now
      CopySubstreamAs(*book_, at, end, IndexRecordOf(stream, at, book_->path), {}, pieces);
    at = end;
  }
  if (pieces.Size() > UINT32_MAX)
    throw HostError("Cannot save " + Quoted(book_->path) + ": the workbook would grow beyond the 4 GB an .xls file can hold.");
  for (size_t i = 0; i < globals.sheets.size(); ++i) {
    if (!placed[i])
      throw HostError("Cannot save " + Quoted(book_->path) + ": its stream \"Workbook\" is damaged (sheet \"" +
                      globals.sheets[i].name + "\" does not begin where its BOUNDSHEET8 record at offset " +
                      std::to_string(globals.sheets[i].recordOffset) + " says).");
    Put(head, globals.sheets[i].recordOffset + 4, newPosition[i], 4);
  }
}

void XlsWorkbook::Save() {
  std::vector<const XlsSheet*> changed;
  for (const auto& s : sheets_)
    if (s && s->Changed()) changed.push_back(s.get());
  if (changed.empty()) return;  // nothing to write: the file stays as it is
  const std::string& path = book_->path;
  try {
    struct stat st {};
    if (book_->mapped && (::stat(path.c_str(), &st) != 0 || !FileReplacement::OnlyRenames(st))) {
      // The save could write into the mapped file itself now (a link was
      // added, its owner changed): what it reads is copied first.
      if (!book_->mapped.Intact())
        throw HostError("Cannot save " + Quoted(path) + ": the file changed on disk since it was opened; the file was not changed.");
      book_->owned.assign(book_->stream);
      book_->stream = book_->owned;
      book_->mapped = MappedFile();
    }
    StreamPieces stream;
    NewWorkbookStream(changed, stream);
    // The file must still be the workbook that was read (the save checks):
    // the save replaces it with the streams read at the open.
    std::unique_ptr<CompoundFile> read;  // a workbook made from a stream alone: the file's other streams
    int workbook = workbookEntry_;
    if (!container_) read = std::make_unique<CompoundFile>(OpenContainer(path, "save", workbook));
    std::map<int, const StreamPieces*> replacements{{workbook, &stream}};
    ReplaceFile(path, container_ ? &opened_ : nullptr, [&](const std::function<void(std::string_view)>& sink) {
      WriteCompoundFile(container_ ? *container_ : *read, replacements, sink);
    }, [this] { return book_->mapped.Intact(); });
  } catch (...) {
    RethrowAsHostError("Cannot save " + Quoted(path));
  }
}

std::unique_ptr<WorkbookStore> OpenXls(const std::string& path) {
  try {
    return std::make_unique<XlsWorkbook>(path);
  } catch (...) {
    RethrowAsHostError("Cannot open " + Quoted(path));
  }
}


MemoryNeed XlsMemoryNeed(const std::string& path) {
  struct stat st {};
  const uint64_t size = ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
  return {3 * size, "the file holds " + SizeText(size) + " of streams, read whole and written anew"};
}
}  // namespace host::biff
