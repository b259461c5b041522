// Replacing a file with new contents so that a failure, a full disk or a power cut never
// leaves it half written.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/descriptor.h"

namespace zelvane::platform {

// Writes the new contents to fd, which is open for writing and empty; gives 0, or the errno
// of the first failure. It may be called more than once, each time on a new empty file.
using WriteContents = std::function<int(int fd)>;

// What becomes of a target that exists but is not a regular file.
enum class OtherTargets {
    Refuse,       // fails with EISDIR for a folder, EEXIST for a device, a pipe or a socket
    WriteInPlace, // opened for writing and written as it is (a folder fails with EISDIR)
};

struct ReplaceResult {
    bool opened = false; // a file could be made, or the target opened, for writing
    int error = 0;       // errno of the first failure, 0 when the new contents are in place
};

// Puts the contents that write gives in the file at path. The kernel follows a symbolic
// link as it opens the target, applying its own rules (fs.protected_symlinks refuses a link
// planted by another user in a sticky folder); the file it opened is then replaced under the
// name it has, and the link stays. Only a regular file that can be opened for writing is
// ever replaced; other targets are handled as others says.
//
// The contents go to a temporary file beside the target (an anonymous one where the file
// system allows, else one with a short fixed-length name), which takes the old file's
// owner, group and mode (a new file gets 0666 less the umask), is synced and then renamed
// over the target, after which the folder is synced too. A failure up to the rename removes
// the temporary file and leaves the old file as it was; so does memory running out
// (std::bad_alloc or std::length_error, from write too), which fails with ENOMEM, and so do
// SIGINT, SIGTERM and SIGHUP where they end the process.
//
// Three cases write the target in place instead (truncated, then written and synced, every
// step checked): a regular file reached through a descriptor's link (/dev/stdout, /dev/fd/N,
// /proc/self/fd/N), which is the file that descriptor writes; a target with more than one
// link, which must stay one file under all its names (the contents are first written whole
// to an anonymous file, so that only a failure while copying them can damage it); and a
// writable target in a folder where no file can be made for lack of permission.
//
// SIGXFSZ is ignored meanwhile, so that a file-size limit fails a write with EFBIG.
ReplaceResult replaceFile(const std::string& path, const WriteContents& write, OtherTargets others);

// What tells one version of a file from another: its device and inode, its size and its
// modification time to the nanosecond.
struct FileIdentity {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t seconds = 0, nanoseconds = 0;
    bool operator==(const FileIdentity&) const = default;
};
// The identity of the file that path leads to; nullopt when nothing is there.
std::optional<FileIdentity> fileIdentity(const std::string& path);

// Opens the file at path for reading and takes an exclusive advisory lock (flock) on it,
// waiting while another process holds one; the lock lasts until the descriptor is closed.
// When the name leads to another file once the lock is taken (the holder replaced it), the
// new file is locked instead. A target that is not a regular file, or on a file system
// without locks, is opened without one. Invalid, with error set, when it cannot be opened;
// a signal does not end the wait.
Descriptor lockForUpdate(const std::string& path, int& error);

// Writes all of bytes to fd, again after an interruption; 0 or the write's errno.
int writeAll(int fd, std::string_view bytes);

} // namespace zelvane::platform
