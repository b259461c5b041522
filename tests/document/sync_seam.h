// The test program defines fdatasync itself, so that the writer's sync (a call into the C
// library) comes here first: a test can count the syncs or make the next ones fail.
#pragma once

namespace zelvane::testing {

struct SyncSeam {
    static inline int calls = 0;
    static inline int failWith = 0; // errno for every sync while not 0
};

} // namespace zelvane::testing
