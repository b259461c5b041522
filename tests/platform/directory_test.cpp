#include "platform/directory.h"

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/drive_type.h"
#include "support/temp_tree.h"

// While set, every entry read has an unknown type, as on file systems that do not fill it
// in, and an entry named "vanishing" is removed just after it was read.
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

const std::string kLongest(255, 'n'); // NAME_MAX
constexpr std::uint64_t kBig = 4294967296ull;

// "name type" per entry (D, F, L, O; "=size" when known), the longest name as "255".
std::string listing(Directory& dir) {
    DirectoryListing out;
    EXPECT_TRUE(dir.readAll(out));
    std::map<std::string, std::string> byName;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::string name(out.name(i));
        byName[name.size() == 255 ? "255" : name] =
            "DFLO"[static_cast<int>(out[i].type)] +
            (out[i].sizeKnown ? "=" + std::to_string(out[i].size) : "");
    }
    std::string text;
    for (const auto& [name, entry] : byName) {
        text += name + " " + entry + ",";
    }
    return text;
}

TEST(Directory, ListsTypesAndSizesOpensOnlyRealDirectoriesAndNothingOnceMovedFrom) {
    test::TempTree tree;
    tree.dir("sub");
    tree.file("sub/inner");
    tree.dir(kLongest);
    tree.file("plain", kBig);
    tree.symlink("to-sub", "sub");
    tree.symlink("to-plain", "plain");
    EXPECT_EQ(mkfifo(tree.at("fifo").c_str(), 0644), 0);
    for (const bool unknownTypes : {false, true}) { // then the sizes come from a stat
        tree.file("vanishing", 5);
        Directory dir = Directory::openPath(tree.path());
        gUnknownTypes = unknownTypes;
        const std::string entries = listing(dir);
        gUnknownTypes = false;
        EXPECT_EQ(entries, unknownTypes ? ". D=0,.. D=0,255 D=0,fifo O=0,plain F=4294967296,sub "
                                          "D=0,to-plain L=0,to-sub L=0,vanishing O=0,"
                                        : ". D,.. D,255 D,fifo O=0,plain F,sub D,to-plain "
                                          "L=0,to-sub L=0,vanishing F,");
    }
    Directory dir = Directory::openPath(tree.path());
    Directory moved = std::move(dir);
    const std::tuple<std::string, std::uint64_t, int> cases[] = {
        // name, size, open error
        {"sub", 0, 0},          {"plain", kBig, ENOTDIR},
        {"to-sub", 0, ENOTDIR}, {"to-plain", 0, ENOTDIR},
        {"fifo", 0, ENOTDIR},   {"missing", 0, ENOENT},
        {kLongest, 0, 0},       {kLongest + "n", 0, ENAMETOOLONG}};
    for (const auto& [name, size, openError] : cases) {
        EXPECT_EQ(std::pair(moved.fileSize(name), moved.openChild(name).error()),
                  std::pair(size, openError))
            << name;
    }
    Directory sub = moved.openChild("sub");
    EXPECT_EQ(listing(sub), ". D,.. D,inner F,");
    DirectoryListing none;
    EXPECT_EQ(std::tuple(dir.isOpen(), dir.error(), dir.readAll(none), dir.fileSize("plain"),
                         dir.openChild("sub").error()),
              std::tuple(false, 0, false, 0u, EBADF));
    for (const auto& [path, error] :
         {std::pair(tree.at("plain"), ENOTDIR), {tree.at("missing"), ENOENT}, {std::string(), 0}}) {
        moved = Directory::openPath(path);
        EXPECT_EQ(moved.error(), error) << path;
    }
    Directory slash = Directory::openPath("/");
    EXPECT_EQ(listing(moved), listing(slash)) << "an empty path is the root";
}

// "/" and "rel" are on a disk, "/media/cd" on an ISO 9660 disc, "/media/dvd/video" on a UDF
// one, the working folder on a disc unless lost.
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
    const auto Cd = DriveType::CdRom, Other = DriveType::Other;
    const std::tuple<std::string, bool, std::string, DriveType> cases[] = {
        {"/media/cd", false, "/media/cd", Cd},
        {"/media/cd/missing/deeper", false, "/media/cd/missing/deeper /media/cd/missing /media/cd",
         Cd},
        {"/media/cd//missing/", false, "/media/cd//missing/ /media/cd", Cd},
        {"/media/dvd/video/x", false, "/media/dvd/video/x /media/dvd/video", Cd},
        {"/media/other/x", false, "/media/other/x /media/other /media /", Other},
        {"//missing", false, "//missing /", Other},
        {"", false, "/", Other},
        {"rel/missing", false, "rel/missing rel", Other},
        {"missing/name", false, "missing/name missing .", Cd},
        {"missing", true, "missing .", Other},
        {"/", true, "/", Other},
    };
    for (const auto& [path, lost, probes, type] : cases) {
        gProbes.clear();
        gWorkingFolderLost = lost;
        EXPECT_EQ(std::pair(driveTypeOf(path, &fakeStatFs), gProbes), std::pair(type, probes));
    }
    gWorkingFolderLost = false;
    EXPECT_EQ(driveTypeOf("/"), Other); // the real file system
}

} // namespace
} // namespace zelvane::platform
