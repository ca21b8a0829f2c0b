#pragma once
// Where the text boxes of a sheet's notes are anchored: the sheet's drawing
// (the OfficeArt records its MSODRAWING records carry, in order) holds one
// client anchor per shape, and the OBJ records that follow the shapes give
// their object ids in the same order. A NOTE names its box by that id.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace host::biff {

class NoteAnchors {
 public:
  // A MSODRAWING record's body, written at position at of the output.
  void AddDrawing(std::string_view body, size_t at);
  // An OBJ record's body, in stream order.
  void AddObject(std::string_view body);
  // Moves the rows of the box of the note whose object id is id by delta
  // rows, in out where the drawing was written. Nothing when the drawing
  // cannot be read with certainty (a shape's anchor split between records,
  // shapes and objects that do not pair up).
  void MoveBox(std::string& out, uint16_t id, int delta);

 private:
  void Pair();

  struct Segment {
    size_t begin;  // in drawing_
    size_t at;     // in the output
  };
  std::string drawing_;            // the MSODRAWING bodies one after another
  std::vector<Segment> segments_;
  std::vector<uint16_t> objects_;  // OBJ ids in order
  bool paired_ = false;
  std::unordered_map<uint16_t, size_t> anchorOf_;  // object id -> output position of its anchor's data
};

}  // namespace host::biff
