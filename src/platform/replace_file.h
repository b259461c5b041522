// Replacing a file with new contents so that a failure, a full disk or a power cut never
// leaves it half written.
#pragma once

#include <functional>
#include <string>
#include <string_view>

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

// Puts the contents that write gives in the file at path. A symbolic link is followed to
// the file it names, which is replaced while the link stays. Only a regular file that can
// be opened for writing is ever replaced; other targets are handled as others says.
//
// The contents go to a temporary file beside the target (an anonymous one where the file
// system allows, else a named one), which takes the old file's owner, group and mode (a new
// file gets 0666 less the umask), is synced and then renamed over the target, after which
// the folder is synced too. A failure up to the rename removes the temporary file and
// leaves the old file as it was; so does memory running out (std::bad_alloc or
// std::length_error, from write too), which fails with ENOMEM.
//
// Two cases write the target in place instead (truncated, then written and synced, every
// step checked), accepting that a failure half-way leaves it damaged: a target with more
// than one link, which must stay one file under all its names, and a writable target in a
// folder where no file can be made for lack of permission.
//
// SIGXFSZ is ignored meanwhile, so that a file-size limit fails a write with EFBIG.
ReplaceResult replaceFile(const std::string& path, const WriteContents& write, OtherTargets others);

// Writes all of bytes to fd, again after an interruption; 0 or the write's errno.
int writeAll(int fd, std::string_view bytes);

} // namespace zelvane::platform
