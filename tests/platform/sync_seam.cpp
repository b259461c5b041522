#include "sync_seam.h"

#include <cerrno>
#include <cstdlib>
#include <new>
#include <sys/syscall.h>
#include <unistd.h>

using zelvane::testing::AllocSeam;
using zelvane::testing::SyncSeam;

extern "C" int fdatasync(int fd) {
    ++SyncSeam::calls;
    if (SyncSeam::exitInside) {
        ::_exit(3);
    }
    if (SyncSeam::failWith != 0 && SyncSeam::calls > SyncSeam::passing) {
        errno = SyncSeam::failWith;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_fdatasync, fd));
}

extern "C" int fsync(int fd) {
    ++SyncSeam::folderCalls;
    if (SyncSeam::folderFailsWith != 0) {
        errno = SyncSeam::folderFailsWith;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

extern "C" int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    if (SyncSeam::linkFailsWith != 0) {
        errno = SyncSeam::linkFailsWith;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_linkat, fromDir, from, toDir, to, flags));
}

// The other forms of new and delete are replaced too, so that all of them meet in malloc and
// free (a sanitizer's own would not take memory from these).
void* operator new(std::size_t size) {
    if (AllocSeam::allowed == 0 || size > AllocSeam::largest) {
        throw std::bad_alloc();
    }
    AllocSeam::allowed -= AllocSeam::allowed > 0 ? 1 : 0;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
// clang-format off
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try { return ::operator new(size); } catch (const std::bad_alloc&) { return nullptr; }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return ::operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
// clang-format on
