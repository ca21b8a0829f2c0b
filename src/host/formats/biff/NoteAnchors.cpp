#include "host/formats/biff/NoteAnchors.h"

#include <algorithm>

#include "host/io/LittleEndian.h"

namespace host::biff {

using namespace host::io;  // the container and the byte helpers the records sit in

namespace {
constexpr uint16_t kClientAnchor = 0xF010;  // OfficeArtClientAnchorSheet
constexpr uint16_t kFtCmo = 0x0015;         // an OBJ record's first part: its kind and id
constexpr size_t kAnchorSize = 18;
}  // namespace

void NoteAnchors::AddDrawing(std::string_view body, size_t at) {
  segments_.push_back({drawing_.size(), at});
  drawing_.append(body);
}

void NoteAnchors::AddObject(std::string_view body) {
  if (body.size() >= 8 && U16(body, 0) == kFtCmo) objects_.push_back(U16(body, 6));
}

void NoteAnchors::Pair() {
  paired_ = true;
  // The OfficeArt records in order, containers entered (their children follow
  // their 8-byte header): each client anchor is the next shape's.
  std::vector<size_t> anchors;
  for (size_t at = 0; at + 8 <= drawing_.size();) {
    const uint16_t versionAndInstance = U16(drawing_, at), type = U16(drawing_, at + 2);
    const uint32_t length = U32(drawing_, at + 4);
    if ((versionAndInstance & 0x000F) == 0x000F) {
      at += 8;
      continue;
    }
    if (type == kClientAnchor && length >= kAnchorSize) anchors.push_back(at + 8);
    if (length > drawing_.size() - at - 8) break;
    at += 8 + length;
  }
  if (anchors.size() != objects_.size()) return;
  for (size_t k = 0; k < anchors.size(); ++k) {
    // The anchor's bytes must lie within one record to be found in the output.
    auto segment = std::upper_bound(segments_.begin(), segments_.end(), anchors[k],
                                    [](size_t v, const Segment& s) { return v < s.begin; });
    if (segment == segments_.begin()) continue;
    --segment;
    const size_t segmentEnd = segment + 1 != segments_.end() ? (segment + 1)->begin : drawing_.size();
    if (anchors[k] + kAnchorSize > segmentEnd) continue;
    anchorOf_.try_emplace(objects_[k], segment->at + (anchors[k] - segment->begin));
  }
}

void NoteAnchors::MoveBox(std::string& out, uint16_t id, int delta) {
  if (!paired_) Pair();
  auto found = anchorOf_.find(id);
  if (found == anchorOf_.end() || found->second + kAnchorSize > out.size()) return;
  for (size_t row : {found->second + 6, found->second + 14}) {
    int moved = std::clamp(int{U16(out, row)} + delta, 0, 0xFFFF);
    Put(out, row, static_cast<uint16_t>(moved), 2);
  }
}

}  // namespace host::biff
