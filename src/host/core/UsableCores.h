#pragma once
// How many processor cores this process may run on: the cores of its
// affinity mask (what `taskset`, a container's cpuset or a batch system
// leaves it, as `nproc` counts them), not every core of the machine. The
// host splits work over a second thread only where a second core is there
// to take it: on one core the split costs a copy to join the halves and the
// two threads' turns on the same caches.

#include <cstddef>

namespace host {

// At least 1. Asked anew at every call (a cheap system call): a process may
// be moved to other cores while it runs.
size_t UsableCores();

}  // namespace host
