// Real temporary directory trees for the scanner and platform tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zelvane::test {

// A fresh directory made with mkdtemp, removed with everything in it when the object goes
// (links are removed, never followed). Prefers a memory file system when there is one, so
// that big trees are quick to make.
class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& path() const { return path_; }
    std::string at(std::string_view relative) const { return path_ + "/" + std::string(relative); }

    // Paths are relative to the tree; parents must exist.
    void dir(std::string_view relative) const;
    void file(std::string_view relative, std::uint64_t size = 0) const;
    void symlink(std::string_view relative, std::string_view target) const;
    // A chain of levels directories named name, one inside the other, under relative ("" for
    // the tree itself); the innermost gets one file named leaf. Works past PATH_MAX.
    void chain(std::string_view relative, std::size_t levels, std::string_view name,
               std::string_view leaf) const;
    // count empty files "<prefix><number>" in the directory relative.
    void manyFiles(std::string_view relative, std::size_t count, std::string_view prefix) const;

private:
    std::string path_;
};

} // namespace zelvane::test
