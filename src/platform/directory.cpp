#include "platform/directory.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace zelvane::platform {

namespace {

EntryType typeOfMode(mode_t mode) {
    if (S_ISDIR(mode)) {
        return EntryType::Directory;
    }
    if (S_ISREG(mode)) {
        return EntryType::File;
    }
    if (S_ISLNK(mode)) {
        return EntryType::Symlink;
    }
    return EntryType::Other;
}

// A name as a C string without allocating: entry names are at most NAME_MAX bytes.
class CName {
public:
    explicit CName(std::string_view name) {
        if (name.size() < sizeof(small_)) {
            name.copy(small_, name.size());
            small_[name.size()] = '\0';
            text_ = small_;
        } else {
            large_.assign(name);
            text_ = large_.c_str();
        }
    }
    const char* c_str() const { return text_; }

private:
    char small_[NAME_MAX + 1];
    std::string large_;
    const char* text_;
};

} // namespace

void DirectoryListing::add(std::string_view name, EntryType type, bool sizeKnown,
                           std::uint64_t size) {
    DirectoryEntry entry;
    entry.nameOffset = static_cast<std::uint32_t>(names_.size());
    entry.nameLength = static_cast<std::uint32_t>(name.size());
    entry.type = type;
    entry.sizeKnown = sizeKnown;
    entry.size = size;
    names_.append(name);
    entries_.push_back(entry);
}

Directory::Directory(Directory&& other) noexcept
    : dir_(std::exchange(other.dir_, nullptr)), error_(std::exchange(other.error_, 0)) {}

Directory& Directory::operator=(Directory&& other) noexcept {
    if (this != &other) {
        close();
        dir_ = std::exchange(other.dir_, nullptr);
        error_ = std::exchange(other.error_, 0);
    }
    return *this;
}

void Directory::close() {
    if (dir_ != nullptr) {
        closedir(dir_);
        dir_ = nullptr;
    }
}

void Directory::adopt(int fd) {
    if (fd < 0) {
        error_ = errno;
        return;
    }
    dir_ = fdopendir(fd);
    if (dir_ == nullptr) {
        error_ = errno;
        ::close(fd);
    }
}

Directory Directory::openPath(const std::string& path) {
    Directory result;
    result.adopt(::open(path.empty() ? "/" : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return result;
}

Directory Directory::openChild(std::string_view name) const {
    Directory result;
    if (dir_ == nullptr) {
        result.error_ = EBADF;
        return result;
    }
    const CName terminated(name);
    result.adopt(
        ::openat(dirfd(dir_), terminated.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return result;
}

bool Directory::readAll(DirectoryListing& out) {
    if (dir_ == nullptr) {
        return false;
    }
    const int fd = dirfd(dir_);
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir_);
        if (entry == nullptr) {
            return errno == 0;
        }
        const std::string_view name(entry->d_name);
        switch (entry->d_type) {
        case DT_DIR:
            out.add(name, EntryType::Directory, false, 0);
            break;
        case DT_REG:
            out.add(name, EntryType::File, false, 0);
            break;
        case DT_LNK:
            out.add(name, EntryType::Symlink, true, 0);
            break;
        case DT_UNKNOWN: {
            // Some file systems do not fill in the type: ask, without following a link.
            struct stat info;
            if (fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
                const EntryType type = typeOfMode(info.st_mode);
                out.add(name, type, true,
                        type == EntryType::File ? static_cast<std::uint64_t>(info.st_size) : 0);
            } else {
                out.add(name, EntryType::Other, true, 0);
            }
            break;
        }
        default:
            out.add(name, EntryType::Other, true, 0);
            break;
        }
    }
}

std::uint64_t Directory::device() const {
    return identity().device;
}

DirectoryIdentity Directory::identity() const {
    struct stat info {};
    if (dir_ == nullptr || ::fstat(dirfd(dir_), &info) != 0) {
        return {};
    }
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

int Directory::openFile(std::string_view name) const {
    if (dir_ == nullptr) {
        return -1;
    }
    const CName terminated(name);
    return ::openat(dirfd(dir_), terminated.c_str(),
                    O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

std::uint64_t Directory::fileSize(std::string_view name) const {
    if (dir_ == nullptr) {
        return 0;
    }
    const CName terminated(name);
    return fileSizeAt(dirfd(dir_), terminated.c_str());
}

int Directory::duplicate() const {
    if (dir_ == nullptr) {
        errno = EBADF;
        return -1;
    }
    return ::fcntl(dirfd(dir_), F_DUPFD_CLOEXEC, 0);
}

std::uint64_t fileSizeAt(int directory, const char* name) {
    struct stat info;
    if (fstatat(directory, name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) {
        return 0;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

bool isOutOfDescriptors(int error) {
    return error == EMFILE || error == ENFILE;
}

} // namespace zelvane::platform
