#include "capture/temp_tree.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zelvane::test {

namespace {

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

std::string baseDirectory() {
    if (access("/dev/shm", W_OK) == 0) {
        return "/dev/shm";
    }
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

// Empties the directory open as fd and closes fd. Iterative over the levels, so a chain
// deeper than PATH_MAX or than the descriptor limit comes down too: each level is opened
// from its parent when it is needed again.
void removeContents(int rootFd) {
    struct Level {
        int fd;
        std::string name;
    };
    std::vector<Level> levels{{rootFd, {}}};
    while (!levels.empty()) {
        DIR* dir = fdopendir(dup(levels.back().fd));
        if (dir == nullptr) {
            fail("fdopendir");
        }
        rewinddir(dir); // the descriptor may have been read before
        std::string subdir;
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            struct stat info;
            if (fstatat(levels.back().fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISDIR(info.st_mode)) {
                if (unlinkat(levels.back().fd, name.c_str(), AT_REMOVEDIR) != 0) {
                    subdir = name; // not empty: go down into it
                    break;
                }
            } else {
                unlinkat(levels.back().fd, name.c_str(), 0);
            }
        }
        closedir(dir);
        if (!subdir.empty()) {
            const int fd = openat(levels.back().fd, subdir.c_str(),
                                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0) {
                fail("openat " + subdir);
            }
            // Keep only a few levels open: the parent of a closed level is found again by
            // going back up with "..".
            if (levels.size() > 8) {
                close(levels[levels.size() - 8].fd);
                levels[levels.size() - 8].fd = -1;
            }
            levels.push_back({fd, subdir});
            continue;
        }
        // This level is empty now: remove it from its parent.
        const Level done = levels.back();
        levels.pop_back();
        if (levels.empty()) {
            close(done.fd);
            return;
        }
        if (levels.back().fd < 0) {
            levels.back().fd = openat(done.fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        }
        close(done.fd);
        unlinkat(levels.back().fd, done.name.c_str(), AT_REMOVEDIR);
    }
}

} // namespace

TempTree::TempTree() {
    std::string pattern = baseDirectory() + "/zelvane-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        fail("mkdtemp");
    }
    path_ = pattern;
}

TempTree::~TempTree() {
    const int fd = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        removeContents(fd);
    }
    rmdir(path_.c_str());
}

void TempTree::dir(std::string_view relative) const {
    if (mkdir(at(relative).c_str(), 0755) != 0) {
        fail("mkdir " + at(relative));
    }
}

void TempTree::file(std::string_view relative, std::uint64_t size) const {
    const int fd = open(at(relative).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        fail("open " + at(relative));
    }
    // Sparse: a file of gigabytes takes no room.
    if (size > 0 && ftruncate(fd, static_cast<off_t>(size)) != 0) {
        fail("ftruncate");
    }
    close(fd);
}

void TempTree::symlink(std::string_view relative, std::string_view target) const {
    if (::symlink(std::string(target).c_str(), at(relative).c_str()) != 0) {
        fail("symlink " + at(relative));
    }
}

void TempTree::chain(std::string_view relative, std::size_t levels, std::string_view name,
                     std::string_view leaf) const {
    int fd = open(relative.empty() ? path_.c_str() : at(relative).c_str(),
                  O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::string level(name);
    for (std::size_t i = 0; i < levels; ++i) {
        if (fd < 0 || mkdirat(fd, level.c_str(), 0755) != 0) {
            fail("mkdirat");
        }
        const int next = openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = next;
    }
    const int leafFd = openat(fd, std::string(leaf).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (leafFd < 0) {
        fail("openat leaf");
    }
    close(leafFd);
    close(fd);
}

void TempTree::manyFiles(std::string_view relative, std::size_t count,
                         std::string_view prefix) const {
    const int dirFd = open(at(relative).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        fail("open " + at(relative));
    }
    std::string name;
    for (std::size_t i = 0; i < count; ++i) {
        name.assign(prefix);
        name += std::to_string(i);
        const int fd = openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            fail("openat " + name);
        }
        close(fd);
    }
    close(dirFd);
}

} // namespace zelvane::test
