// Real temporary folders and trees for the tests, and whole files read and written.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unistd.h>

namespace zelvane::testing {

// A fresh directory (in memory when /dev/shm is writable), removed with everything in it,
// links unfollowed, when the object goes. Paths are relative to it; parents must exist.
class TempTree {
public:
    TempTree() {
        namespace fs = std::filesystem;
        path_ = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : fs::temp_directory_path().string();
        path_ += "/zelvane-test-XXXXXX";
        if (mkdtemp(path_.data()) == nullptr) {
            throw std::runtime_error("mkdtemp " + path_);
        }
    }
    ~TempTree() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& path() const { return path_; }
    std::string at(std::string_view relative) const { return path_ + "/" + std::string(relative); }
    void dir(std::string_view relative) const { std::filesystem::create_directory(at(relative)); }
    void file(std::string_view relative, std::uint64_t size = 0) const { // sparse
        std::ofstream(at(relative)).close();
        std::filesystem::resize_file(at(relative), size);
    }
    void symlink(std::string_view relative, std::string_view target) const {
        std::filesystem::create_symlink(target, at(relative));
    }
    // levels directories name/name/... under relative, the innermost holding an empty leaf.
    void chain(std::string relative, std::size_t levels, std::string_view name,
               std::string_view leaf) const {
        for (std::size_t i = 0; i < levels; ++i) {
            dir(relative.append("/").append(name));
        }
        file(relative.append("/").append(leaf));
    }
    // count empty files "<prefix><number>" in relative ("" for the tree itself).
    void manyFiles(std::string_view relative, std::size_t count, std::string_view prefix) const {
        for (std::size_t i = 0; i < count; ++i) {
            file(std::string(relative) + "/" + std::string(prefix) + std::to_string(i));
        }
    }

private:
    std::string path_;
};

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

} // namespace zelvane::testing

namespace zelvane::test {
using testing::TempTree;
} // namespace zelvane::test
