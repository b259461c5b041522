#include "sync_seam.h"

#include "support/test_common.h"
#include <sys/syscall.h>

using zelvane::testing::AllocSeam;
using zelvane::testing::SyncSeam;

namespace {
int failOr(int error, long call, int a, long b = 0, int c = 0, long d = 0, int e = 0) {
    errno = error;
    return error != 0 ? -1 : static_cast<int>(::syscall(call, a, b, c, d, e));
}
} // namespace

extern "C" int fdatasync(int fd) {
    const int error = ++SyncSeam::calls > SyncSeam::passing ? SyncSeam::failWith : 0;
    return SyncSeam::exitInside ? (::_exit(3), -1) : failOr(error, SYS_fdatasync, fd);
}
extern "C" int fsync(int fd) {
    ++SyncSeam::folderCalls;
    return failOr(SyncSeam::folderFailsWith, SYS_fsync, fd);
}
extern "C" int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    return failOr(SyncSeam::linkFailsWith, SYS_linkat, fromDir, reinterpret_cast<long>(from), toDir,
                  reinterpret_cast<long>(to), flags);
}

// Every form of new and delete meets in malloc and free (a sanitizer's own would not).
void* operator new(std::size_t size) {
    if (AllocSeam::allowed == 0 || size > AllocSeam::largest) {
        throw std::bad_alloc();
    }
    if (AllocSeam::allowed > 0) {
        --AllocSeam::allowed;
    }
    void* p = std::malloc(size == 0 ? 1 : size);
    return p != nullptr ? p : throw std::bad_alloc();
}
// clang-format off
void* operator new[](std::size_t n) { return ::operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    try { return ::operator new(n); } catch (const std::bad_alloc&) { return nullptr; }
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return ::operator new(n, t); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
// clang-format on
