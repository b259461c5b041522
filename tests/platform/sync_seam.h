// The test programs define fdatasync, fsync, linkat and operator new themselves, so that a
// test can count syncs, make them fail, stop the process inside one, or run out of memory.
#pragma once

#include <atomic>

#include "support/test_common.h"

namespace zelvane::testing {

struct SyncSeam {
    static inline int calls = 0, folderCalls = 0; // fdatasync (files) and fsync (folders) calls
    static inline int failWith = 0, passing = 0;  // errno for every fdatasync past passing calls
    static inline bool exitInside = false;        // the process ends inside the next fdatasync
    static inline int linkFailsWith = 0, folderFailsWith = 0; // errno for linkat, for fsync
};

// Allocations that may still succeed (negative: no limit) and the largest that may.
struct AllocSeam {
    // Read on every thread that allocates.
    static inline std::atomic<long long> allowed = -1;
    static inline std::atomic<std::size_t> largest = static_cast<std::size_t>(-1);
};

} // namespace zelvane::testing
