#pragma once
// Writes a new compound file from one that was read: every entry keeps its
// directory record (name, CLSID, state bits, times, colour and tree links)
// and every stream its bytes, except the streams given new contents.

#include <functional>
#include <map>
#include <string_view>
#include <string>

#include "host/io/CompoundFile.h"
#include "host/io/StreamPieces.h"

namespace host::io {

// The bytes of a compound file holding source's entries in the same directory
// order, with the streams in replacements (by entry index) holding the new
// bytes. The file has source's version and sector size. Entries the tree does
// not reach are written as unused. Throws HostError when a stream of source
// cannot be read.
std::string WriteCompoundFile(const CompoundFile& source, const std::map<int, std::string>& replacements);
// The same bytes handed to sink piece by piece, in order; the replaced
// streams are handed over as they are, never copied.
void WriteCompoundFile(const CompoundFile& source, const std::map<int, std::string>& replacements,
                       const std::function<void(std::string_view)>& sink);
// The same with each replaced stream given as pieces, handed to sink as they
// are emitted.
void WriteCompoundFile(const CompoundFile& source, const std::map<int, const StreamPieces*>& replacements,
                       const std::function<void(std::string_view)>& sink);

}  // namespace host::io
