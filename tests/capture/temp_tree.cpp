#include "capture/temp_tree.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

} // namespace

TempTree::TempTree() {
    std::string pattern = baseDirectory() + "/zelvane-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        fail("mkdtemp");
    }
    path_ = pattern;
}

TempTree::~TempTree() {
    // rm walks with openat, so it removes chains deeper than PATH_MAX too, and never
    // follows links.
    const char* argv[] = {"rm", "-rf", "--", path_.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "rm", nullptr, nullptr, const_cast<char* const*>(argv), environ) == 0) {
        waitpid(pid, nullptr, 0);
    }
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
