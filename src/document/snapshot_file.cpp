#include "document/snapshot_file.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <stdexcept>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zelvane {

namespace {

constexpr std::size_t kMaxNameUnits = 1023;

// ---------------------------------------------------------------------------------------
// Writing

void appendRecord(std::string& out, int kind, std::size_t level, std::u16string_view text,
                  WriteResult& result) {
    if (level > kMaxStoredDepth) {
        ++result.deepRecords;
        level = kMaxStoredDepth;
    }
    const std::size_t start = out.size();
    const std::size_t widest = 2 + 2 + text.size() * 2 + 2;
    if (out.capacity() < start + widest) {
        out.reserve(std::max(out.capacity() * 2, start + widest));
    }
    // Optimistically in the 8-bit form, noting on the way whether any unit is wider.
    out.resize(start + 2 + text.size() + 1);
    char* p = out.data() + start;
    *p++ = static_cast<char>(static_cast<unsigned>(kind) & 0xFF);
    *p++ = static_cast<char>(level);
    char16_t high = 0;
    for (char16_t u : text) {
        high |= u;
        *p++ = static_cast<char>(u);
    }
    *p = 0;
    // Two leading U+00FF would read back as the UTF-16 marker, so they need the wide form.
    const bool wide = high > 0xFF || (text.size() >= 2 && text[0] == 0xFF && text[1] == 0xFF);
    if (wide) {
        out.resize(start + widest);
        p = out.data() + start + 2;
        *p++ = '\xFF';
        *p++ = '\xFF';
        for (char16_t u : text) {
            *p++ = static_cast<char>(u & 0xFF);
            *p++ = static_cast<char>(u >> 8);
        }
        *p++ = 0;
        *p = 0;
    }
    ++result.records;
}

// A file descriptor closed when it goes out of scope, unless closed (and checked) before.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }
    // Closes and gives the close's errno, 0 when it succeeded.
    int close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int fd_;
};

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

int writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

// Writes every record to fd and syncs it; the errno of the first failure, or 0.
int writeRecords(const SnapshotTree& tree, int fd, WriteResult& result) {
    result.records = 0;
    result.deepRecords = 0;
    int error = 0;
    std::string buffer;
    constexpr std::size_t kFlushAt = std::size_t{1} << 20;
    buffer.reserve(kFlushAt + 4096);
    walkPreOrder(tree, [&](NodeId node, std::size_t level) {
        appendRecord(buffer, tree.kind(node), level, tree.text(node), result);
        if (buffer.size() >= kFlushAt) {
            if (error == 0) {
                error = writeAll(fd, buffer.data(), buffer.size());
            }
            buffer.clear();
        }
    });
    if (error == 0) {
        error = writeAll(fd, buffer.data(), buffer.size());
    }
    if (error == 0 && ::fdatasync(fd) != 0) {
        error = errno;
    }
    return error;
}

// The path the new file goes to: a link is followed, so that saving through a symbolic
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
// that a target whose name is as long as the file system allows can still be saved.
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

// What became of one way of writing the file.
enum class Attempt {
    Done,        // finished, well or not: result tells
    Unavailable, // no temporary file could be made this way; errno tells why
};

struct Target {
    std::string path;   // the file to replace or create
    std::string folder; // its folder with a trailing "/", or empty for the working folder
    bool exists = false;
    struct stat st {};
};

// Takes over the old file's owner, group and mode, or gives a new file the usual mode.
void adoptAttributes(int fd, const Target& target, bool modeFromUmask) {
    if (target.exists) {
        // Only root may give a file away; a refusal leaves the file the saver's own.
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

// Renames the finished temporary file over the target and syncs the folder, so that the
// new name survives a power cut. The temporary file is removed on failure.
void putInPlace(ScratchName& scratch, const Target& target, WriteResult& result) {
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
        return;
    }
    result.ok = true;
}

// The anonymous temporary file: nothing is left behind when the process dies before it
// gets its name. Unavailable when the file system has no such files or it cannot be named.
Attempt writeAnonymous(const SnapshotTree& tree, const Target& target, WriteResult& result) {
    Descriptor fd(::open(target.folder.empty() ? "." : target.folder.c_str(),
                         O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (!fd.valid()) {
        return Attempt::Unavailable;
    }
    result.opened = true;
    adoptAttributes(fd.get(), target, false);
    if (const int error = writeRecords(tree, fd.get(), result)) {
        result.error = error;
        return Attempt::Done;
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
        return Attempt::Unavailable;
    }
    if (const int error = fd.close()) {
        result.error = error;
        return Attempt::Done;
    }
    putInPlace(scratch, target, result);
    return Attempt::Done;
}

Attempt writeNamed(const SnapshotTree& tree, const Target& target, WriteResult& result) {
    std::string name = target.folder + ".zelvane-XXXXXX";
    Descriptor fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd.valid()) {
        return Attempt::Unavailable;
    }
    ScratchName scratch;
    scratch.set(name);
    result.opened = true;
    adoptAttributes(fd.get(), target, true);
    if (const int error = writeRecords(tree, fd.get(), result)) {
        result.error = error;
        return Attempt::Done;
    }
    if (const int error = fd.close()) {
        result.error = error;
        return Attempt::Done;
    }
    putInPlace(scratch, target, result);
    return Attempt::Done;
}

// Truncates the open target and writes it again: the same file under every name it has.
void writeInPlace(const SnapshotTree& tree, Descriptor& fd, WriteResult& result) {
    result.opened = true;
    int error = ::ftruncate(fd.get(), 0) == 0 ? 0 : errno;
    if (error == 0) {
        error = writeRecords(tree, fd.get(), result);
    }
    const int closeError = fd.close();
    result.error = error != 0 ? error : closeError;
    result.ok = result.error == 0;
}

void writeFile(const SnapshotTree& tree, const std::string& path, WriteResult& result) {
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
        if (writeAnonymous(tree, target, result) == Attempt::Done) {
            return;
        }
        if (writeNamed(tree, target, result) == Attempt::Done) {
            return;
        }
        const int error = errno;
        // No file can be made in the folder: only a lack of permission lets the target be
        // written in place, never a full disk or a failing device.
        if (!target.exists || (error != EACCES && error != EPERM)) {
            result.error = error;
            return;
        }
    }
    writeInPlace(tree, existing, result);
}

// ---------------------------------------------------------------------------------------
// Reading

// Rebuilds the hierarchy from records handed to it piece by piece. Without a tree it only
// counts, keeping no more than the chain of open levels (at most 256 deep: a node's level
// never exceeds its depth byte).
class RecordReader {
public:
    explicit RecordReader(SnapshotTree* tree) : tree_(tree) { stats.opened = true; }

    // Takes the whole records at the start of data and returns the bytes they used. Unless
    // atEnd, a record that data cuts off is left for the next call, which starts with it.
    std::size_t take(const unsigned char* p, std::size_t size, bool atEnd);
    // The end of the records, or of the node handles, was reached.
    bool finished() const { return finished_; }

    LoadStats stats;

private:
    void place(unsigned kind, std::size_t depth, bool wide, const unsigned char* name,
               std::size_t bytes);

    SnapshotTree* tree_;
    std::vector<NodeId> chain_; // from a top-level node down to the last node
    std::size_t previousDepth_ = 0;
    std::u16string name_;
    bool finished_ = false;
};

std::size_t RecordReader::take(const unsigned char* p, std::size_t size, bool atEnd) {
    std::size_t pos = 0;
    while (!finished_) {
        const std::size_t start = pos;
        if (pos >= size) {
            finished_ = atEnd;
            return pos;
        }
        if (pos + 1 >= size) {
            if (!atEnd) {
                return start;
            }
            stats.truncatedRecord = true; // a kind byte and nothing after it
            finished_ = true;
            return size;
        }
        const unsigned kind = p[pos];
        const std::size_t depth = p[pos + 1];
        pos += 2;
        if (pos + 1 >= size && !atEnd) {
            return start; // the form is not known yet
        }
        const bool wide = pos + 1 < size && p[pos] == 0xFF && p[pos + 1] == 0xFF;
        std::size_t nameStart = pos;
        std::size_t nameEnd;
        bool cut;
        if (wide) {
            nameStart += 2;
            nameEnd = nameStart;
            while (nameEnd + 1 < size && (p[nameEnd] | p[nameEnd + 1]) != 0) {
                nameEnd += 2;
            }
            cut = nameEnd + 1 >= size; // an odd last byte is dropped
            pos = cut ? size : nameEnd + 2;
        } else {
            const void* zero = pos < size ? std::memchr(p + pos, 0, size - pos) : nullptr;
            cut = zero == nullptr;
            nameEnd =
                cut ? size : static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - p);
            pos = cut ? size : nameEnd + 1;
        }
        if (cut && !atEnd) {
            return start;
        }
        place(kind, depth, wide, p + nameStart, nameEnd - nameStart);
        if (cut) {
            stats.truncatedName = true;
            finished_ = true;
        }
    }
    return pos;
}

void RecordReader::place(unsigned kind, std::size_t depth, bool wide, const unsigned char* name,
                         std::size_t bytes) {
    // Where the node goes: under the last node when deeper (whatever the jump), beside it
    // when as deep, and n levels up from the current parent when n levels higher.
    const bool first = stats.records == 0;
    if (first) {
        stats.firstRecordDeep = depth > 0;
    } else if (depth > previousDepth_) {
        if (depth > previousDepth_ + 1) {
            ++stats.depthJumps;
        }
    } else {
        chain_.pop_back(); // the last node: its parent is the current parent
        const std::size_t climb = std::min(previousDepth_ - depth, chain_.size());
        chain_.resize(chain_.size() - climb);
        if (depth < previousDepth_ && chain_.empty() && depth > 0) {
            ++stats.orphanRecords;
        }
    }
    const NodeId parent = chain_.empty() ? kTopLevel : chain_.back();
    // A first record deeper than 0 has nothing to go under, and is taken as a root.
    const bool root = depth == 0 || first;
    const bool folder = !root && kind == static_cast<unsigned>(kKindFolder);

    const std::size_t units = wide ? bytes / 2 : bytes;
    NodeId node = 0;
    if (tree_ != nullptr) {
        name_.resize(units);
        for (std::size_t i = 0; i < units; ++i) {
            name_[i] = wide ? static_cast<char16_t>(name[2 * i] | (name[2 * i + 1] << 8))
                            : static_cast<char16_t>(name[i]);
        }
        node = tree_->insertLast(parent, name_);
        if (node == kNoNode) {
            finished_ = true; // out of handles
            return;
        }
        tree_->setKind(node, static_cast<int>(kind));
        if (root || folder) {
            tree_->setTextAndBold(node, name_);
        }
    }
    if (root) {
        ++stats.roots;
    } else if (folder) {
        ++stats.folders;
    } else {
        ++stats.files;
    }
    stats.utf16Records += wide ? 1 : 0;
    stats.kindsAbove11 += kind >= static_cast<unsigned>(kKindCount) ? 1 : 0;
    stats.longNames += units > kMaxNameUnits ? 1 : 0;
    stats.deepestLevel = std::max(stats.deepestLevel, depth);
    ++stats.records;
    chain_.push_back(node);
    previousDepth_ = depth;
}

LoadStats decode(std::string_view data, SnapshotTree* tree) {
    RecordReader reader(tree);
    reader.take(reinterpret_cast<const unsigned char*>(data.data()), data.size(), true);
    return reader.stats;
}

LoadStats failed(int error) {
    LoadStats stats;
    stats.error = error;
    return stats;
}

// Reads the file through a buffer of a megabyte (more while one record is longer), so
// that the file's bytes are never held whole beside the tree.
LoadStats readFile(const std::string& path, SnapshotTree* tree, const ReadLimits& limits) {
    // Without O_NONBLOCK a pipe that nobody writes to would block the open for ever; it
    // then reads as empty instead.
    const Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) {
        return failed(errno);
    }
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) {
        return failed(errno);
    }
    if (S_ISDIR(st.st_mode)) {
        return failed(EISDIR);
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    const bool regular = S_ISREG(st.st_mode);
    // A regular file is read to its end, also when it grows meanwhile up to the limit.
    const std::uint64_t limit =
        regular
            ? std::max<std::uint64_t>(static_cast<std::uint64_t>(st.st_size), limits.streamBytes)
            : limits.streamBytes;
    if (tree != nullptr && regular && st.st_size > 0) {
        tree->reserve(static_cast<std::size_t>(st.st_size) / 16, 0);
    }

    RecordReader reader(tree);
    std::vector<unsigned char> buffer(std::max<std::size_t>(limits.bufferBytes, 1));
    std::size_t held = 0;
    std::uint64_t total = 0;
    bool atEnd = false;
    while (true) {
        while (!atEnd && held < buffer.size()) {
            const ssize_t n = ::read(fd.get(), buffer.data() + held, buffer.size() - held);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return failed(errno);
            }
            atEnd = n == 0;
            held += static_cast<std::size_t>(n);
            total += static_cast<std::uint64_t>(n);
            if (total > limit) {
                return failed(EFBIG);
            }
        }
        const std::size_t used = reader.take(buffer.data(), held, atEnd);
        if (reader.finished()) {
            break;
        }
        held -= used;
        std::memmove(buffer.data(), buffer.data() + used, held);
        if (held > buffer.size() / 2) {
            buffer.resize(buffer.size() * 2); // one record fills most of it: room for more
        }
    }
    return reader.stats;
}

} // namespace

WriteResult encodeSnapshot(const SnapshotTree& tree, std::string& out) {
    WriteResult result;
    result.opened = true;
    walkPreOrder(tree, [&](NodeId node, std::size_t level) {
        appendRecord(out, tree.kind(node), level, tree.text(node), result);
    });
    result.ok = true;
    return result;
}

WriteResult writeSnapshotFile(const SnapshotTree& tree, const std::string& path) {
    WriteResult result;
    const FileSizeSignalIgnored ignored;
    try {
        writeFile(tree, path, result);
    } catch (const std::bad_alloc&) {
        result.error = ENOMEM;
    } catch (const std::length_error&) {
        result.error = ENOMEM;
    }
    result.ok = result.ok && result.error == 0;
    return result;
}

LoadStats decodeSnapshot(std::string_view data, SnapshotTree& tree) {
    SnapshotTree::BulkUpdate bulk(tree);
    return decode(data, &tree);
}

LoadStats countSnapshot(std::string_view data) {
    return decode(data, nullptr);
}

LoadStats readSnapshotFile(const std::string& path, SnapshotTree& tree, const ReadLimits& limits) {
    tree.removeAll();
    LoadStats stats;
    try {
        SnapshotTree::BulkUpdate bulk(tree);
        stats = readFile(path, &tree, limits);
    } catch (const std::bad_alloc&) {
        stats = failed(ENOMEM);
    } catch (const std::length_error&) {
        stats = failed(ENOMEM);
    }
    if (!stats.opened) {
        tree.removeAll(); // a failed load leaves nothing half read
    }
    return stats;
}

LoadStats countSnapshotFile(const std::string& path, const ReadLimits& limits) {
    try {
        return readFile(path, nullptr, limits);
    } catch (const std::bad_alloc&) {
        return failed(ENOMEM);
    } catch (const std::length_error&) {
        return failed(ENOMEM);
    }
}

} // namespace zelvane
