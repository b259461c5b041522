#include "platform/replace_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <iterator>
#include <linux/openat2.h>
#include <new>
#include <pthread.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/descriptor.h"

namespace zelvane::platform {

namespace {

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

// While a scratch name exists, SIGINT, SIGTERM and SIGHUP (where they would end the
// process) remove it first, then end the process as they would have.
struct ScratchOnSignal {
    static inline volatile std::sig_atomic_t named = 0;
    static inline int folder = -1;
    static inline char name[32] = {};
};

extern "C" void removeScratchAndDie(int signal) {
    if (ScratchOnSignal::named != 0) {
        ::unlinkat(ScratchOnSignal::folder, ScratchOnSignal::name, 0);
    }
    ::raise(signal); // the handler was reset: delivered with the default action on return
}

class ScratchRemovedOnSignal {
public:
    ScratchRemovedOnSignal() {
        for (std::size_t i = 0; i < std::size(kSignals); ++i) {
            struct sigaction remove {};
            remove.sa_handler = removeScratchAndDie;
            remove.sa_flags = SA_RESETHAND;
            sigemptyset(&remove.sa_mask);
            installed_[i] = ::sigaction(kSignals[i], nullptr, &previous_[i]) == 0 &&
                            previous_[i].sa_handler == SIG_DFL &&
                            (previous_[i].sa_flags & SA_SIGINFO) == 0 &&
                            ::sigaction(kSignals[i], &remove, nullptr) == 0;
        }
    }
    ~ScratchRemovedOnSignal() {
        for (std::size_t i = 0; i < std::size(kSignals); ++i) {
            if (installed_[i]) {
                ::sigaction(kSignals[i], &previous_[i], nullptr);
            }
        }
    }
    ScratchRemovedOnSignal(const ScratchRemovedOnSignal&) = delete;
    ScratchRemovedOnSignal& operator=(const ScratchRemovedOnSignal&) = delete;

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction previous_[3]{};
    bool installed_[3] = {};
};

// A short name for a temporary file: never derived from the target's name, so that a
// target whose name is as long as the file system allows can still be replaced.
std::string scratchName() {
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    // Random bytes where the system has them at hand, over a seed that at least differs from
    // another process's.
    unsigned char random[8] = {};
    const auto seed =
        static_cast<unsigned long>(::getpid()) ^ static_cast<unsigned long>(::time(nullptr));
    std::memcpy(random, &seed, std::min(sizeof random, sizeof seed));
    [[maybe_unused]] const ssize_t got = ::getrandom(random, sizeof random, GRND_NONBLOCK);
    std::string name = ".zelvane-";
    for (unsigned char r : random) {
        name += kDigits[r % 36];
    }
    return name;
}

// A named file in a folder that is removed when it goes out of scope, unless kept.
class ScratchName {
public:
    explicit ScratchName(int folder) : folder_(folder) {}
    ~ScratchName() {
        if (!name_.empty()) {
            ScratchOnSignal::named = 0;
            ::unlinkat(folder_, name_.c_str(), 0);
        }
    }
    ScratchName(const ScratchName&) = delete;
    ScratchName& operator=(const ScratchName&) = delete;
    // Makes a file of a new scratch name with create (false: errno tells why); SIGINT,
    // SIGTERM and SIGHUP wait meanwhile, so that none comes between the file and its name
    // being known here. The name is random, so one try is enough.
    bool make(const std::function<bool(const std::string& name)>& create) {
        sigset_t held, previous;
        sigemptyset(&held);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            sigaddset(&held, signal);
        }
        ::pthread_sigmask(SIG_BLOCK, &held, &previous);
        std::string candidate = scratchName();
        if (create(candidate)) {
            name_ = std::move(candidate);
            std::snprintf(ScratchOnSignal::name, sizeof ScratchOnSignal::name, "%s", name_.c_str());
            ScratchOnSignal::folder = folder_;
            ScratchOnSignal::named = 1;
        }
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr); // errno stays create's
        return !name_.empty();
    }
    const std::string& name() const { return name_; }
    void keep() {
        ScratchOnSignal::named = 0;
        name_.clear();
    }

private:
    int folder_;
    std::string name_;
};

struct Target {
    Descriptor folder; // the folder the target's name is in
    bool folderSyncable = false;
    std::string name; // the target's name in folder
    bool exists = false;
    bool created = false; // made empty by this write (through a dangling link): removed on failure
    struct stat st {};
};

// Whether the kernel reaches path through a descriptor's link (/dev/stdout, /dev/fd/N,
// /proc/self/fd/N): such a file is the one a descriptor already writes, and is written in
// place. Where the kernel cannot tell, the usual names of those links are looked for.
bool throughDescriptorLink(const std::string& path) {
    open_how how{};
    how.flags = O_PATH | O_CLOEXEC;
    how.resolve = RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
    if (fd >= 0) {
        ::close(static_cast<int>(fd));
        return false;
    }
    if (errno != ENOSYS && errno != EPERM) {
        return errno == ELOOP;
    }
    return path.starts_with("/dev/fd/") || path.starts_with("/dev/std") ||
           path.starts_with("/proc/");
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens the folder of path (its text up to the last slash) and keeps the last name.
int openFolder(const std::string& path, Target& target) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    target.name = slash == std::string::npos ? path : path.substr(slash + 1);
    target.folder.reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    target.folderSyncable = target.folder.valid();
    if (!target.folderSyncable) {
        // A folder the user may not read can still hold new files: it is only not synced.
        target.folder.reset(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    return target.folder.valid() ? 0 : errno;
}

// Finds the name the kernel opened fd under, as the system reports it, and checks that
// this name still leads to the same file: 0, -1 when it cannot be found (no /proc, or the
// file moved meanwhile), else the errno of why its folder cannot be opened.
int findOpenedName(int fd, Target& target) {
    char buffer[PATH_MAX + 1];
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(self.c_str(), buffer, sizeof buffer);
    if (n <= 1 || static_cast<std::size_t>(n) >= sizeof buffer || buffer[0] != '/') {
        return -1;
    }
    if (const int error = openFolder(std::string(buffer, static_cast<std::size_t>(n)), target)) {
        return error;
    }
    struct stat named {};
    const bool same =
        ::fstatat(target.folder.get(), target.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        sameFile(named, target.st);
    return same ? 0 : -1;
}

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

// Syncs the folder, so that a new name survives a power cut. A folder that cannot be
// opened for reading cannot be synced; file systems that do not sync folders say EINVAL.
void syncFolder(const Target& target, ReplaceResult& result) {
    if (target.folderSyncable && ::fsync(target.folder.get()) != 0 && errno != EINVAL) {
        result.error = errno;
    }
}

// Renames the finished temporary file over the target and syncs the folder. The
// temporary file is removed on failure.
void putInPlace(ScratchName& scratch, const Target& target, ReplaceResult& result) {
    if (::renameat(target.folder.get(), scratch.name().c_str(), target.folder.get(),
                   target.name.c_str()) != 0) {
        result.error = errno;
        return;
    }
    scratch.keep();
    syncFolder(target, result);
}

// An anonymous file in the target's folder, open for writing; invalid when the file system
// has none.
Descriptor anonymousFile(const Target& target) {
    return Descriptor(::openat(target.folder.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
}

// The anonymous temporary file: nothing is left behind when the process dies before it
// gets its name. False when the file system has no such files or it cannot be named.
bool writeAnonymous(const WriteContents& write, const Target& target, ReplaceResult& result) {
    Descriptor fd = anonymousFile(target);
    if (!fd.valid()) {
        return false;
    }
    result.opened = true;
    adoptAttributes(fd.get(), target, false);
    if ((result.error = writeSynced(write, fd.get())) != 0) {
        return true;
    }
    // Named through /proc, which needs no privilege, else directly, which needs some. A new
    // file takes its name at once; an old one is replaced from a scratch name.
    const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
    const auto name = [&](const std::string& as) {
        return ::linkat(AT_FDCWD, self.c_str(), target.folder.get(), as.c_str(),
                        AT_SYMLINK_FOLLOW) == 0 ||
               ::linkat(fd.get(), "", target.folder.get(), as.c_str(), AT_EMPTY_PATH) == 0;
    };
    if (!target.exists) {
        if (!name(target.name)) {
            if (errno == EEXIST) {
                result.error = EEXIST; // made by another in the meantime: left to them
                return true;
            }
            return false;
        }
        result.error = fd.close();
        syncFolder(target, result);
        return true;
    }
    ScratchName scratch(target.folder.get());
    if (!scratch.make(name)) {
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
    ScratchName scratch(target.folder.get());
    Descriptor fd;
    if (!scratch.make([&](const std::string& name) {
            fd.reset(::openat(target.folder.get(), name.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            return fd.valid();
        })) {
        return errno;
    }
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

// A file with more than one name stays one file: the new contents are first written whole
// to an anonymous file (so that a failing writer or a full disk leaves the target as it
// was), then copied over the target in place. Without such a file it is written in place.
void writeLinked(const WriteContents& write, Descriptor& fd, const Target& target,
                 ReplaceResult& result) {
    Descriptor copy = anonymousFile(target);
    if (!copy.valid()) {
        writeInPlace(write, fd, true, result);
        return;
    }
    result.opened = true;
    if ((result.error = writeSynced(write, copy.get())) != 0) {
        return;
    }
    writeInPlace(
        [&](int to) {
            for (loff_t from = 0;;) {
                const ssize_t n =
                    ::copy_file_range(copy.get(), &from, to, nullptr, std::size_t{1} << 30, 0);
                if (n <= 0) {
                    return n == 0 ? 0 : errno;
                }
            }
        },
        fd, true, result);
}

void writeRegular(const WriteContents& write, Descriptor& existing, Target& target,
                  ReplaceResult& result) {
    if (target.exists && target.st.st_nlink > 1) {
        writeLinked(write, existing, target, result);
        return;
    }
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
    writeInPlace(write, existing, true, result);
}

void replace(const std::string& path, const WriteContents& write, OtherTargets others,
             ReplaceResult& result) {
    // The kernel follows every link, so that it applies its own rules to them (a link
    // planted by another user in a sticky folder is refused); nothing is resolved here.
    Target target;
    Descriptor existing;
    if (path.empty()) {
        result.error = ENOENT; // as the system answers, before anything is written
        return;
    }
    if (::stat(path.c_str(), &target.st) == 0) {
        target.exists = true;
        if (S_ISDIR(target.st.st_mode)) {
            result.error = EISDIR;
            return;
        }
        if (!S_ISREG(target.st.st_mode)) {
            if (others == OtherTargets::Refuse) {
                result.error = EEXIST;
                return;
            }
            // A pipe, a terminal or a device, written as the shell's > would.
            existing.reset(::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC));
            if (!existing.valid()) {
                result.error = errno;
                return;
            }
            writeInPlace(write, existing, false, result);
            return;
        }
        // Opening it tells whether the user may write it, as a plain open for writing
        // would (permissions, a read-only mount, an immutable file). Nothing is changed.
        existing.reset(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    } else if (errno == ENOENT && ::lstat(path.c_str(), &target.st) == 0) {
        // A link to nothing yet: the kernel makes the file it names.
        existing.reset(
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
        target.exists = target.created = existing.valid();
    } else if (errno == ENOENT) {
        if (const int error = openFolder(path, target); error != 0) {
            result.error = error;
            return;
        }
        writeRegular(write, existing, target, result);
        return;
    } else {
        result.error = errno;
        return;
    }
    if (!existing.valid()) {
        result.error = errno;
        return;
    }
    if (::fstat(existing.get(), &target.st) != 0 || !S_ISREG(target.st.st_mode)) {
        result.error = EEXIST; // replaced by something else in the meantime
        return;
    }
    // Where the name cannot be found, the file the kernel opened is written as it is.
    const int found = throughDescriptorLink(path) ? -1 : findOpenedName(existing.get(), target);
    if (found > 0) {
        result.error = found;
        return;
    }
    if (found < 0) {
        writeInPlace(write, existing, true, result);
        return;
    }
    writeRegular(write, existing, target, result);
    if (target.created && result.error != 0) {
        struct stat st {};
        if (::fstatat(target.folder.get(), target.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            st.st_size == 0) {
            ::unlinkat(target.folder.get(), target.name.c_str(), 0);
        }
    }
}

} // namespace

ReplaceResult replaceFile(const std::string& path, const WriteContents& write,
                          OtherTargets others) {
    ReplaceResult result;
    const FileSizeSignalIgnored ignored;
    const ScratchRemovedOnSignal removed;
    try {
        replace(path, write, others, result);
    } catch (const std::bad_alloc&) {
        result.error = ENOMEM;
    } catch (const std::length_error&) {
        result.error = ENOMEM;
    }
    return result;
}

std::optional<FileIdentity> fileIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return FileIdentity{st.st_dev, st.st_ino, static_cast<std::uint64_t>(st.st_size),
                        st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

Descriptor lockForUpdate(const std::string& path, int& error) {
    error = 0;
    for (;;) {
        Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat locked {};
        struct stat now {};
        if (!fd.valid() || ::fstat(fd.get(), &locked) != 0) {
            error = errno;
            return Descriptor();
        }
        if (!S_ISREG(locked.st_mode)) {
            return fd; // a pipe or a device has no one else's changes to lose
        }
        // A signal while waiting is the caller's to look at; the wait goes on. A file system
        // without locks (ENOLCK, EOPNOTSUPP) gets none: the file is written as before.
        int status = 0;
        while ((status = ::flock(fd.get(), LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (status != 0) {
            return fd;
        }
        // The name may lead to a new file by now, replaced by the one who held the lock.
        if (::stat(path.c_str(), &now) != 0 || sameFile(now, locked)) {
            return fd;
        }
    }
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
