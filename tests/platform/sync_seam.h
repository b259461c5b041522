// The test programs define fdatasync, fsync, linkat and the allocation functions
// themselves, so that the calls the code makes into the C and C++ libraries come here first:
// a test can count syncs, make them fail, stop the process inside one, refuse to name a
// file, or run out of memory.
#pragma once

#include <cstddef>

namespace zelvane::testing {

struct SyncSeam {
    static inline int calls = 0;           // fdatasync calls (one per file written)
    static inline int folderCalls = 0;     // fsync calls (folders are synced with it)
    static inline int failWith = 0;        // errno for every fdatasync while not 0...
    static inline int passing = 0;         // ...once calls is above this
    static inline bool exitInside = false; // the process ends inside the next fdatasync
    static inline int linkFailsWith = 0;   // errno for every linkat while not 0
    static inline int folderFailsWith = 0; // errno for every fsync while not 0
};

// Allocations with operator new that may still succeed; the next one throws bad_alloc, and
// so does every one after it until the count is set again. Negative: no limit. An
// allocation larger than largest throws too.
struct AllocSeam {
    static inline long long allowed = -1;
    static inline std::size_t largest = static_cast<std::size_t>(-1);
};

} // namespace zelvane::testing
