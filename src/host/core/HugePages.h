#pragma once
// Advice that a large buffer be given huge pages: a buffer of tens of
// megabytes written right after it is allocated costs a page fault (and on
// this kind of machine a trip through the hypervisor) every 4 KB otherwise.

#include <cstddef>

namespace host {

// Asks for huge pages over the whole 2 MB pages within data..data + size, a
// buffer allocated but not yet touched (a string or vector reserved before
// it is filled); advice only, nothing when the buffer is smaller.
void AdviseHugePages(void* data, size_t size);

// The same for the room a vector has reserved and not yet filled.
template <typename Vector>
void AdviseReserved(Vector& v) {
  AdviseHugePages(v.data(), v.capacity() * sizeof(*v.data()));
}

}  // namespace host
