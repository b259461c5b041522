#include "platform/directory.h"

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <map>
#include <set>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

#include <gtest/gtest.h>

#include "capture/temp_tree.h"
#include "platform/drive_type.h"

// While set, every entry read reports an unknown type, as on file systems that do not fill
// it in, and an entry named "vanishing" is removed just after it was read.
static bool gUnknownTypes = false;

extern "C" dirent* readdir(DIR* dir) {
    using Real = dirent* (*)(DIR*);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "readdir"));
    dirent* entry = real(dir);
    if (entry != nullptr && gUnknownTypes) {
        entry->d_type = DT_UNKNOWN;
        if (std::strcmp(entry->d_name, "vanishing") == 0) {
            unlinkat(dirfd(dir), entry->d_name, 0);
        }
    }
    return entry;
}

namespace zelvane::platform {
namespace {

using Entry = std::tuple<EntryType, bool, std::uint64_t>; // type, size known, size

std::map<std::string, Entry> listing(Directory& dir) {
    DirectoryListing out;
    EXPECT_TRUE(dir.readAll(out));
    std::map<std::string, Entry> byName;
    for (std::size_t i = 0; i < out.size(); ++i) {
        byName[std::string(out.name(i))] = {out[i].type, out[i].sizeKnown, out[i].size};
    }
    return byName;
}

TEST(Directory, ListsEveryEntryWithItsTypeAndTheSizeOnlyOfFilesAskedWithAStat) {
    const auto D = EntryType::Directory, F = EntryType::File, L = EntryType::Symlink,
               O = EntryType::Other;
    const std::map<std::string, Entry> fromType = {
        {".", {D, false, 0}},         {"..", {D, false, 0}},        {"sub", {D, false, 0}},
        {"plain.txt", {F, false, 0}}, {"to-plain", {L, true, 0}},   {"dangling", {L, true, 0}},
        {"fifo", {O, true, 0}},       {"vanishing", {F, false, 0}},
    };
    const std::map<std::string, Entry> fromStat = {
        {".", {D, true, 0}},        {"..", {D, true, 0}},
        {"sub", {D, true, 0}},      {"plain.txt", {F, true, 1234}},
        {"to-plain", {L, true, 0}}, {"dangling", {L, true, 0}},
        {"fifo", {O, true, 0}},     {"vanishing", {O, true, 0}},
    };
    for (const bool unknownTypes : {false, true}) {
        test::TempTree tree;
        tree.dir("sub");
        tree.file("sub/inner", 99);
        tree.file("plain.txt", 1234);
        tree.file("vanishing", 5);
        tree.symlink("to-plain", "plain.txt");
        tree.symlink("dangling", "nowhere/at/all");
        ASSERT_EQ(mkfifo(tree.at("fifo").c_str(), 0644), 0);
        Directory dir = Directory::openPath(tree.path());
        ASSERT_TRUE(dir.isOpen());
        EXPECT_EQ(dir.error(), 0);
        gUnknownTypes = unknownTypes;
        const auto entries = listing(dir);
        gUnknownTypes = false;
        EXPECT_EQ(entries, unknownTypes ? fromStat : fromType);
    }
}

TEST(Directory, FileSizesAndChildrenAreOnlyThoseOfRealFilesAndDirectories) {
    test::TempTree tree;
    tree.dir("sub");
    tree.file("sub/inner");
    tree.file("plain", 4294967296ull);
    tree.symlink("to-sub", "sub");
    tree.symlink("to-plain", "plain");
    tree.dir(std::string(255, 'n'));
    ASSERT_EQ(mkfifo(tree.at("fifo").c_str(), 0644), 0);
    Directory dir = Directory::openPath(tree.path());
    const struct {
        std::string name;
        std::uint64_t size;
        int openError; // 0: the child opens
    } cases[] = {
        {"sub", 0, 0},
        {"plain", 4294967296ull, ENOTDIR},
        {"to-sub", 0, ENOTDIR},
        {"to-plain", 0, ENOTDIR},
        {"fifo", 0, ENOTDIR},
        {"missing", 0, ENOENT},
        {std::string(255, 'n'), 0, 0},
        {std::string(256, 'n'), 0, ENAMETOOLONG},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dir.fileSize(c.name), c.size) << c.name;
        Directory child = dir.openChild(c.name);
        EXPECT_EQ(child.isOpen(), c.openError == 0) << c.name;
        EXPECT_EQ(child.error(), c.openError) << c.name;
    }
    Directory sub = dir.openChild("sub");
    EXPECT_EQ(listing(sub).count("inner"), 1u);

    Directory moved = std::move(dir);
    EXPECT_FALSE(dir.isOpen());
    EXPECT_EQ(dir.error(), 0);
    EXPECT_EQ(dir.openChild("sub").error(), EBADF);
    EXPECT_EQ(dir.fileSize("plain"), 0u);
    DirectoryListing none;
    EXPECT_FALSE(dir.readAll(none));
    EXPECT_TRUE(moved.isOpen());
    moved = Directory::openPath(tree.at("plain"));
    EXPECT_FALSE(moved.isOpen());
    EXPECT_EQ(moved.error(), ENOTDIR);
    EXPECT_EQ(Directory::openPath(tree.at("missing")).error(), ENOENT);
}

TEST(Directory, AnEmptyPathIsTheFileSystemRoot) {
    Directory empty = Directory::openPath("");
    Directory slash = Directory::openPath("/");
    const auto a = listing(empty);
    const auto b = listing(slash);
    EXPECT_GT(a.size(), 2u);
    EXPECT_EQ(a, b);
}

TEST(Directory, OnlyTheErrorsOfNoDescriptorLeftMeanOutOfDescriptors) {
    for (const int error : {EMFILE, ENFILE}) {
        EXPECT_TRUE(isOutOfDescriptors(error)) << error;
    }
    for (const int error : {0, ENOENT, EACCES, ELOOP, ENOMEM}) {
        EXPECT_FALSE(isOutOfDescriptors(error)) << error;
    }
}

TEST(DriveType, OrdinaryAndMissingPathsAreNoOpticalDiscs) {
    test::TempTree tree;
    for (const std::string& path :
         {tree.path(), tree.at("missing"), std::string(), std::string("/")}) {
        EXPECT_EQ(driveTypeOf(path), DriveType::Other) << path;
    }
}

} // namespace
} // namespace zelvane::platform
