#include "platform/replace_file.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <stdexcept>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/descriptor.h"

namespace zelvane::platform {

namespace {

// A named file that is removed when it goes out of scope, unless kept.
class ScratchName {
public:
    ScratchName() = default;
    ~ScratchName() {
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
    }
    ScratchName(const ScratchName&) = delete;
    ScratchName& operator=(const ScratchName&) = delete;
    void set(std::string path) { path_ = std::move(path); }
    const std::string& path() const { return path_; }
    void keep() { path_.clear(); }

private:
    std::string path_;
};

// A write past the file-size limit raises SIGXFSZ, whose default ends the process; while
// this lives the signal is ignored and the write fails with EFBIG instead.
class FileSizeSignalIgnored {
public:
    FileSizeSignalIgnored() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGXFSZ, &ignore, &previous_);
    }
    ~FileSizeSignalIgnored() { ::sigaction(SIGXFSZ, &previous_, nullptr); }
    FileSizeSignalIgnored(const FileSizeSignalIgnored&) = delete;
    FileSizeSignalIgnored& operator=(const FileSizeSignalIgnored&) = delete;

private:
    struct sigaction previous_ {};
};

// The path the new file goes to: a link is followed, so that writing through a symbolic
// link updates the file it points to instead of replacing the link.
std::string resolveTarget(const std::string& path) {
    std::string target = path;
    for (int hops = 0; hops < 32; ++hops) {
        struct stat st;
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return target;
        }
        std::vector<char> buffer(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = ::readlink(target.c_str(), buffer.data(), buffer.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) {
            return target;
        }
        std::string link(buffer.data(), static_cast<std::size_t>(n));
        if (!link.empty() && link[0] != '/') {
            const std::size_t slash = target.rfind('/');
            link =
                (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + link;
        }
        target = link;
    }
    return target;
}

// A short name for a temporary file in folder: never derived from the target's name, so
// that a target whose name is as long as the file system allows can still be replaced.
std::string scratchPath(const std::string& folder) {
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    unsigned char random[8] = {};
    if (::getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
        const auto seed =
            static_cast<unsigned long>(::getpid()) ^ static_cast<unsigned long>(::time(nullptr));
        std::memcpy(random, &seed, std::min(sizeof random, sizeof seed));
    }
    std::string path = folder + ".zelvane-";
    for (unsigned char r : random) {
        path += kDigits[r % 36];
    }
    return path;
}

struct Target {
    std::string path;   // the file to replace or create
    std::string folder; // its folder with a trailing "/", or empty for the working folder
    bool exists = false;
    struct stat st {};
};

// Takes over the old file's owner, group and mode, or gives a new file the usual mode.
void adoptAttributes(int fd, const Target& target, bool modeFromUmask) {
    if (target.exists) {
        // Only root may give a file away; a refusal leaves the file the writer's own.
        if (::fchown(fd, target.st.st_uid, target.st.st_gid) != 0) {
            // Ignored.
        }
        // After the owner: changing it clears the set-user-id and set-group-id bits.
        ::fchmod(fd, target.st.st_mode & 07777);
    } else if (modeFromUmask) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
}

// Writes the contents and syncs them; the errno of the first failure, or 0.
int writeSynced(const WriteContents& write, int fd) {
    if (const int error = write(fd)) {
        return error;
    }
    return ::fdatasync(fd) == 0 ? 0 : errno;
}

// Renames the finished temporary file over the target and syncs the folder, so that the
// new name survives a power cut. The temporary file is removed on failure.
void putInPlace(ScratchName& scratch, const Target& target, ReplaceResult& result) {
    if (::rename(scratch.path().c_str(), target.path.c_str()) != 0) {
        result.error = errno;
        return;
    }
    scratch.keep();
    const Descriptor folder(::open(target.folder.empty() ? "." : target.folder.c_str(),
                                   O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // A folder that cannot be opened for reading cannot be synced; file systems that do
    // not sync folders say EINVAL.
    if (folder.valid() && ::fsync(folder.get()) != 0 && errno != EINVAL) {
        result.error = errno;
    }
}

// The anonymous temporary file: nothing is left behind when the process dies before it
// gets its name. False when the file system has no such files or it cannot be named.
bool writeAnonymous(const WriteContents& write, const Target& target, ReplaceResult& result) {
    Descriptor fd(::open(target.folder.empty() ? "." : target.folder.c_str(),
                         O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (!fd.valid()) {
        return false;
    }
    result.opened = true;
    adoptAttributes(fd.get(), target, false);
    if ((result.error = writeSynced(write, fd.get())) != 0) {
        return true;
    }
    // Named through /proc, which needs no privilege, else directly, which needs some.
    const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
    ScratchName scratch;
    for (int tries = 0; tries < 8 && scratch.path().empty(); ++tries) {
        const std::string name = scratchPath(target.folder);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
            ::linkat(fd.get(), "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) {
            scratch.set(name);
        } else if (errno != EEXIST) {
            break;
        }
    }
    if (scratch.path().empty()) {
        return false;
    }
    if ((result.error = fd.close()) == 0) {
        putInPlace(scratch, target, result);
    }
    return true;
}

// A named temporary file: 0 when written (result tells how well), else the errno of why
// none could be made.
int writeNamed(const WriteContents& write, const Target& target, ReplaceResult& result) {
    std::string name = target.folder + ".zelvane-XXXXXX";
    Descriptor fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd.valid()) {
        return errno;
    }
    ScratchName scratch;
    scratch.set(name);
    result.opened = true;
    adoptAttributes(fd.get(), target, true);
    if ((result.error = writeSynced(write, fd.get())) == 0 && (result.error = fd.close()) == 0) {
        putInPlace(scratch, target, result);
    }
    return 0;
}

// Truncates the open target and writes it again: the same file under every name it has.
// A target that is not a regular file is not synced.
void writeInPlace(const WriteContents& write, Descriptor& fd, bool regular, ReplaceResult& result) {
    result.opened = true;
    int error = regular && ::ftruncate(fd.get(), 0) != 0 ? errno : 0;
    if (error == 0) {
        error = regular ? writeSynced(write, fd.get()) : write(fd.get());
    }
    const int closeError = fd.close();
    result.error = error != 0 ? error : closeError;
}

void replaceRegular(const std::string& path, const WriteContents& write, ReplaceResult& result) {
    Target target;
    target.path = resolveTarget(path);
    const std::size_t slash = target.path.rfind('/');
    if (slash != std::string::npos) {
        target.folder = target.path.substr(0, slash + 1);
    }

    Descriptor existing;
    if (::stat(target.path.c_str(), &target.st) == 0) {
        target.exists = true;
        if (S_ISDIR(target.st.st_mode)) {
            result.error = EISDIR;
            return;
        }
        if (!S_ISREG(target.st.st_mode)) {
            result.error = EEXIST;
            return;
        }
        // Opening it tells whether the user may write it, as a plain open for writing
        // would (permissions, a read-only mount, an immutable file). Nothing is changed.
        existing.reset(::open(target.path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (!existing.valid()) {
            result.error = errno;
            return;
        }
        if (::fstat(existing.get(), &target.st) != 0 || !S_ISREG(target.st.st_mode)) {
            result.error = EEXIST; // replaced by something else in the meantime
            return;
        }
    } else if (errno != ENOENT) {
        result.error = errno;
        return;
    }

    if (!target.exists || target.st.st_nlink <= 1) {
        if (writeAnonymous(write, target, result)) {
            return;
        }
        const int error = writeNamed(write, target, result);
        if (error == 0) {
            return;
        }
        // No file can be made in the folder: only a lack of permission lets the target be
        // written in place, never a full disk or a failing device.
        if (!target.exists || (error != EACCES && error != EPERM)) {
            result.error = error;
            return;
        }
    }
    writeInPlace(write, existing, true, result);
}

void replace(const std::string& path, const WriteContents& write, OtherTargets others,
             ReplaceResult& result) {
    // Asked of the path as the system follows it: a link such as /dev/stdout may lead to a
    // pipe that no name in its text stands for.
    struct stat st;
    if (others == OtherTargets::WriteInPlace && ::stat(path.c_str(), &st) == 0 &&
        !S_ISREG(st.st_mode)) {
        Descriptor fd(::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC));
        if (!fd.valid()) {
            result.error = errno;
            return;
        }
        writeInPlace(write, fd, false, result);
        return;
    }
    replaceRegular(path, write, result);
}

} // namespace

ReplaceResult replaceFile(const std::string& path, const WriteContents& write,
                          OtherTargets others) {
    ReplaceResult result;
    const FileSizeSignalIgnored ignored;
    try {
        replace(path, write, others, result);
    } catch (const std::bad_alloc&) {
        result.error = ENOMEM;
    } catch (const std::length_error&) {
        result.error = ENOMEM;
    }
    return result;
}

int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

} // namespace zelvane::platform
