#include "sync_seam.h"

#include <cerrno>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" int fdatasync(int fd) {
    using zelvane::testing::SyncSeam;
    ++SyncSeam::calls;
    if (SyncSeam::failWith != 0) {
        errno = SyncSeam::failWith;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_fdatasync, fd));
}
