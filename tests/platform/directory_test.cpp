#include "platform/directory.h"

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <tuple>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/drive_type.h"
#include "support/temp_tree.h"

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
const std::string kLongest(255, 'n');                     // NAME_MAX
constexpr std::uint64_t kBig = 4294967296ull;             // past 32 bits

std::map<std::string, Entry> listing(Directory& dir) {
    DirectoryListing out;
    EXPECT_TRUE(dir.readAll(out));
    std::map<std::string, Entry> byName;
    for (std::size_t i = 0; i < out.size(); ++i) {
        byName[std::string(out.name(i))] = {out[i].type, out[i].sizeKnown, out[i].size};
    }
    return byName;
}

struct Disk : test::TempTree {
    Disk() {
        dir("sub");
        file("sub/inner");
        dir(kLongest);
        file("plain", kBig);
        file("vanishing", 5);
        symlink("to-sub", "sub");
        symlink("to-plain", "plain");
        EXPECT_EQ(mkfifo(at("fifo").c_str(), 0644), 0);
    }
};

TEST(Directory, ListsEveryEntryWithItsTypeAndTheSizeOnlyOfFilesAskedWithAStat) {
    const auto D = EntryType::Directory, F = EntryType::File, L = EntryType::Symlink,
               O = EntryType::Other;
    const std::map<std::string, Entry> fromType = {
        {".", {D, false, 0}},      {"..", {D, false, 0}},      {"sub", {D, false, 0}},
        {kLongest, {D, false, 0}}, {"plain", {F, false, 0}},   {"vanishing", {F, false, 0}},
        {"to-sub", {L, true, 0}},  {"to-plain", {L, true, 0}}, {"fifo", {O, true, 0}}};
    const std::map<std::string, Entry> fromStat = {
        {".", {D, true, 0}},      {"..", {D, true, 0}},       {"sub", {D, true, 0}},
        {kLongest, {D, true, 0}}, {"plain", {F, true, kBig}}, {"vanishing", {O, true, 0}},
        {"to-sub", {L, true, 0}}, {"to-plain", {L, true, 0}}, {"fifo", {O, true, 0}}};
    for (const bool unknownTypes : {false, true}) {
        Disk tree;
        Directory dir = Directory::openPath(tree.path());
        gUnknownTypes = unknownTypes;
        const auto entries = listing(dir);
        gUnknownTypes = false;
        EXPECT_EQ(entries, unknownTypes ? fromStat : fromType);
    }
}

TEST(Directory, OpensAndSizesOnlyRealDirectoriesAndFilesAndNothingOnceMovedFrom) {
    Disk tree;
    Directory dir = Directory::openPath(tree.path());
    Directory moved = std::move(dir);
    const struct {
        std::string name;
        std::uint64_t size;
        int openError; // 0: the child opens
    } cases[] = {
        {"sub", 0, 0},          {"plain", kBig, ENOTDIR},
        {"to-sub", 0, ENOTDIR}, {"to-plain", 0, ENOTDIR},
        {"fifo", 0, ENOTDIR},   {"missing", 0, ENOENT},
        {kLongest, 0, 0},       {kLongest + "n", 0, ENAMETOOLONG},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(moved.fileSize(c.name), c.size) << c.name;
        EXPECT_EQ(moved.openChild(c.name).error(), c.openError) << c.name;
        EXPECT_EQ(dir.fileSize(c.name), 0u);
        EXPECT_EQ(dir.openChild(c.name).error(), EBADF);
    }
    Directory sub = moved.openChild("sub");
    EXPECT_EQ(listing(sub).count("inner"), 1u);
    DirectoryListing none;
    EXPECT_EQ(std::tuple(dir.isOpen(), dir.error(), dir.readAll(none)),
              std::tuple(false, 0, false));

    for (const auto& [path, error] :
         {std::pair(tree.at("plain"), ENOTDIR), {tree.at("missing"), ENOENT}, {std::string(), 0}}) {
        moved = Directory::openPath(path);
        EXPECT_EQ(moved.error(), error) << path;
    }
    Directory slash = Directory::openPath("/");
    const auto root = listing(slash);
    EXPECT_GT(root.size(), 2u);
    EXPECT_EQ(listing(moved), root) << "an empty path is the root";
}

TEST(DriveType, OrdinaryAndMissingPathsAreNoOpticalDiscs) {
    test::TempTree tree;
    for (const std::string& path :
         {tree.path(), tree.at("missing"), std::string(), std::string("/")}) {
        EXPECT_EQ(driveTypeOf(path), DriveType::Other) << path;
    }
}

// A file system where "/" and "rel" are on a disk, "/media/cd" on an ISO 9660 disc,
// "/media/dvd/video" on a UDF one, and the working folder on a disc unless lost.
std::string gProbes;
bool gWorkingFolderLost = false;
int fakeStatFs(const char* path, struct statfs* info) {
    static const std::map<std::string, unsigned long> mounted = {{"/", 0xEF53},
                                                                 {"/media/cd", 0x9660},
                                                                 {"/media/dvd/video", 0x15013346},
                                                                 {".", 0x9660},
                                                                 {"rel", 0xEF53}};
    gProbes += std::string(gProbes.empty() ? "" : " ") + path;
    const auto found = mounted.find(path);
    if (found == mounted.end() || (gWorkingFolderLost && found->first == ".")) {
        errno = ENOENT;
        return -1;
    }
    info->f_type = static_cast<decltype(info->f_type)>(found->second);
    return 0;
}

TEST(DriveType, AMissingPathTakesTheDriveOfItsNearestExistingFolder) {
    struct Case {
        std::string path;
        bool lost;
        std::string probes;
        DriveType type;
    };
    const Case cases[] = {
        {"/media/cd", false, "/media/cd", DriveType::CdRom},
        {"/media/cd/missing/deeper", false, "/media/cd/missing/deeper /media/cd/missing /media/cd",
         DriveType::CdRom},
        {"/media/cd//missing/", false, "/media/cd//missing/ /media/cd", DriveType::CdRom},
        {"/media/dvd/video/x", false, "/media/dvd/video/x /media/dvd/video", DriveType::CdRom},
        {"/media/other/x", false, "/media/other/x /media/other /media /", DriveType::Other},
        {"//missing", false, "//missing /", DriveType::Other},
        {"", false, "/", DriveType::Other},
        {"rel/missing", false, "rel/missing rel", DriveType::Other},
        {"missing/name", false, "missing/name missing .", DriveType::CdRom},
        {"missing", true, "missing .", DriveType::Other},
        {"/", true, "/", DriveType::Other},
    };
    for (const Case& c : cases) {
        gProbes.clear();
        gWorkingFolderLost = c.lost;
        EXPECT_EQ(driveTypeOf(c.path, &fakeStatFs), c.type) << c.path;
        EXPECT_EQ(gProbes, c.probes) << c.path;
    }
    gWorkingFolderLost = false;
}

} // namespace
} // namespace zelvane::platform
