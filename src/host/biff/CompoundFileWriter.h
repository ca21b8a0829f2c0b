#pragma once
// Writes a new compound file from one that was read: every entry keeps its
// directory record (name, CLSID, state bits, times, colour and tree links)
// and every stream its bytes, except the streams given new contents.

#include <map>
#include <string>

#include "host/biff/CompoundFile.h"

namespace host::biff {

// The bytes of a compound file holding source's entries in the same directory
// order, with the streams in replacements (by entry index) holding the new
// bytes. The file has source's version and sector size. Entries the tree does
// not reach are written as unused. Throws HostError when a stream of source
// cannot be read.
std::string WriteCompoundFile(const CompoundFile& source, const std::map<int, std::string>& replacements);

}  // namespace host::biff
