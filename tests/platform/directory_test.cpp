#include "platform/directory.h"

#include <algorithm>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "capture/temp_tree.h"
#include "platform/drive_type.h"

namespace zelvane::platform {
namespace {

std::map<std::string, DirectoryEntry> listByName(Directory& dir) {
    DirectoryListing listing;
    EXPECT_TRUE(dir.readAll(listing));
    std::map<std::string, DirectoryEntry> byName;
    for (std::size_t i = 0; i < listing.size(); ++i) {
        byName[std::string(listing.name(i))] = listing[i];
    }
    return byName;
}

TEST(Directory, ListsEveryEntryWithItsTypeWithoutFollowingLinks) {
    test::TempTree tree;
    tree.dir("sub");
    tree.file("plain.txt", 1234);
    tree.symlink("to-sub", "sub");
    tree.symlink("to-file", "plain.txt");
    tree.symlink("dangling", "nowhere");
    tree.symlink("loop", "..");

    Directory dir = Directory::openPath(tree.path());
    ASSERT_TRUE(dir.isOpen());
    const auto byName = listByName(dir);
    EXPECT_EQ(byName.size(), 8u) << "with . and ..";
    EXPECT_EQ(byName.at("sub").type, EntryType::Directory);
    EXPECT_EQ(byName.at("plain.txt").type, EntryType::File);
    for (const char* link : {"to-sub", "to-file", "dangling", "loop"}) {
        EXPECT_EQ(byName.at(link).type, EntryType::Symlink) << link;
        EXPECT_EQ(byName.at(link).size, 0u) << link;
    }
    EXPECT_EQ(dir.fileSize("plain.txt"), 1234u);
    EXPECT_EQ(dir.fileSize("to-file"), 0u) << "the size of a link is not its target's";
    EXPECT_EQ(dir.fileSize("sub"), 0u);
    EXPECT_EQ(dir.fileSize("missing"), 0u);
}

TEST(Directory, ChildrenOpenOnlyWhenTheyAreRealDirectories) {
    test::TempTree tree;
    tree.dir("sub");
    tree.file("sub/inner");
    tree.file("plain");
    tree.symlink("to-sub", "sub");
    tree.symlink("loop", ".");

    Directory dir = Directory::openPath(tree.path());
    Directory sub = dir.openChild("sub");
    ASSERT_TRUE(sub.isOpen());
    EXPECT_EQ(listByName(sub).count("inner"), 1u);
    EXPECT_FALSE(dir.openChild("to-sub").isOpen());
    EXPECT_FALSE(dir.openChild("loop").isOpen());
    EXPECT_FALSE(dir.openChild("plain").isOpen());
    const Directory missing = dir.openChild("missing");
    EXPECT_FALSE(missing.isOpen());
    EXPECT_NE(missing.error(), 0);
    EXPECT_FALSE(Directory::openPath(tree.at("plain")).isOpen());
    EXPECT_FALSE(Directory::openPath(tree.at("missing")).isOpen());
}

TEST(Directory, EmptyPathIsTheFileSystemRoot) {
    Directory empty = Directory::openPath("");
    Directory slash = Directory::openPath("/");
    ASSERT_TRUE(empty.isOpen());
    ASSERT_TRUE(slash.isOpen());
    auto a = listByName(empty);
    auto b = listByName(slash);
    EXPECT_EQ(a.size(), b.size());
    EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(),
                           [](const auto& x, const auto& y) { return x.first == y.first; }));
}

TEST(DriveType, OrdinaryAndMissingPathsAreNotCdRoms) {
    test::TempTree tree;
    EXPECT_EQ(driveTypeOf(tree.path()), DriveType::Other);
    EXPECT_EQ(driveTypeOf(tree.at("does/not/exist")), DriveType::Other);
    EXPECT_EQ(driveTypeOf(""), DriveType::Other);
    EXPECT_EQ(driveTypeOf("/"), DriveType::Other);
}

} // namespace
} // namespace zelvane::platform
