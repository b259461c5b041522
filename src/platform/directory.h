// Reading one directory of the file system: the entries with their names, their type and,
// for regular files, their size. Links are never followed: a symbolic link is an entry of
// its own type, whatever it points to.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <dirent.h>

namespace zelvane::platform {

enum class EntryType : std::uint8_t {
    Directory,
    File,    // a regular file
    Symlink, // a symbolic link, never followed
    Other,   // a device, a FIFO, a socket
};

struct DirectoryEntry {
    std::uint32_t nameOffset = 0;
    std::uint32_t nameLength = 0;
    EntryType type = EntryType::Other;
    bool sizeKnown = false; // the type had to be asked with a stat, which gave the size too
    std::uint64_t size = 0;
};

// Every entry of one directory, "." and ".." included, in the order the system gives them.
// Names are the bytes the system returned (not necessarily valid UTF-8).
class DirectoryListing {
public:
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    const DirectoryEntry& operator[](std::size_t i) const { return entries_[i]; }
    DirectoryEntry& operator[](std::size_t i) { return entries_[i]; }
    std::string_view name(std::size_t i) const {
        return {names_.data() + entries_[i].nameOffset, entries_[i].nameLength};
    }
    void clear() {
        entries_.clear();
        names_.clear();
    }
    void add(std::string_view name, EntryType type, bool sizeKnown, std::uint64_t size);

private:
    std::vector<DirectoryEntry> entries_;
    std::string names_;
};

// Which directory of which file system: st_dev and st_ino.
struct DirectoryIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    auto operator<=>(const DirectoryIdentity&) const = default;
};

// One open directory. Move-only; closes itself.
class Directory {
public:
    Directory() = default;
    ~Directory() { close(); }
    Directory(Directory&& other) noexcept;
    Directory& operator=(Directory&& other) noexcept;
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

    // Opens the directory at path as the user gave it (links within the path itself are
    // followed). An empty path opens "/".
    static Directory openPath(const std::string& path);
    // Opens the subdirectory name of this directory. A name that is a symbolic link, or
    // anything but a directory, does not open.
    Directory openChild(std::string_view name) const;

    bool isOpen() const { return dir_ != nullptr; }
    // errno of a failed open; 0 when open.
    int error() const { return error_; }
    void close();

    // Appends every entry of the directory to out. Returns false when reading stopped on
    // an error; the entries read until then stay in out. Reads the directory once.
    bool readAll(DirectoryListing& out);
    // The device the directory lies on (st_dev); 0 when it cannot be asked.
    std::uint64_t device() const;
    // Its device and inode; both 0 when they cannot be asked.
    DirectoryIdentity identity() const;
    // Size in bytes of the regular file name in this directory; 0 when it is not a regular
    // file any more or cannot be asked.
    std::uint64_t fileSize(std::string_view name) const;
    // Opens the regular file name of this directory for reading, never following a link
    // nor waiting on a device or a FIFO: its descriptor, or -1.
    int openFile(std::string_view name) const;
    // A descriptor of its own for this directory (close-on-exec), to be closed by the
    // caller; -1 with errno when none is left.
    int duplicate() const;

private:
    // Takes over an open directory descriptor (or the errno of a failed open).
    void adopt(int fd);

    DIR* dir_ = nullptr;
    int error_ = 0;
};

// Size in bytes of the regular file name in the directory of descriptor directory; 0 when
// it is not a regular file (a link is not followed) or cannot be asked.
std::uint64_t fileSizeAt(int directory, const char* name);

// True for the errors that mean "no file descriptor left" rather than "cannot open this".
bool isOutOfDescriptors(int error);

} // namespace zelvane::platform
