#include "capture/directory_scanner.h"

#include <set>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "capture/temp_tree.h"
#include "support/scripted_ui.h"
#include "text/utf.h"

namespace zelvane {
namespace {

using Nodes = std::set<std::string>;

// One scan below a root node "root", reported to the scripted double.
struct Scan {
    SnapshotTree tree;
    ScanState state;
    testing::ScriptedUi ui;
    NodeId root = tree.insertLast(kTopLevel, u"root");
    std::uint64_t total = 0;

    void run(const std::string& path, std::u16string filter = u"*") {
        state.filter = std::move(filter);
        total = DirectoryScanner(tree, state, ui).ScanDirectory(utf8ToUtf16(path), root);
    }
    // Every node below the root: "path of texts | kind", with " b" when bold.
    Nodes nodes() const {
        Nodes out;
        collect(root, u"", out);
        return out;
    }
    void collect(NodeId parent, const std::u16string& prefix, Nodes& out) const {
        for (NodeId c = tree.firstChild(parent); c != kNoNode; c = tree.nextSibling(c)) {
            const std::u16string path = prefix + std::u16string(tree.text(c));
            out.insert(utf16ToUtf8(path) + " | " + std::to_string(tree.kind(c)) +
                       (tree.isBold(c) ? " b" : ""));
            collect(c, path + u"/", out);
        }
    }
};

// Entries of /proc/self/fd (the listing's own descriptor included).
std::size_t openDescriptors() {
    platform::Directory fds = platform::Directory::openPath("/proc/self/fd");
    platform::DirectoryListing listing;
    fds.readAll(listing);
    return listing.size();
}

TEST(Scanner, CapturesFoldersFilesKindsAndSizesWithoutFollowingLinks) {
    test::TempTree disk;
    for (const char* folder : {"docs", "docs/old", "backup.zip", "empty", "\xff\xfe"}) {
        disk.dir(folder);
    }
    disk.file("docs/old/letter.DOC", 10);
    disk.file("docs/notes.c", 20);
    disk.file("AutoRun.INF", 1);
    disk.file("README", 4000);
    disk.file(".hidden", 5368709120ull); // sparse: past 2^32 and no room taken
    disk.file("tab\tnew\nline.exe");
    disk.file("caf\xe9.txt");
    disk.file("\xff\xfe/\xc3\x28.zip", 3);
    disk.file("\xe6\x97\xa5\xe6\x9c\xac.mp3");
    disk.symlink("docs/loop", "..");
    disk.symlink("Shortcut.lnk", "docs");
    disk.symlink("to-hidden", ".hidden");

    Scan scan;
    scan.run(disk.path());
    EXPECT_EQ(scan.nodes(),
              (Nodes{" docs | 6 b", " docs/ old | 6 b", " docs/ old/letter.DOC | 5",
                     " docs/notes.c | 5", " docs/loop | 8", " backup.zip | 6 b", " empty | 6 b",
                     " \xff\xfe | 6 b", " \xff\xfe/\xc3\x28.zip | 2", "AutoRun.INF | 3",
                     "README | 8", ".hidden | 8", "tab\tnew\nline.exe | 1", "caf\xe9.txt | 5",
                     "\xe6\x97\xa5\xe6\x9c\xac.mp3 | 7", "Shortcut.lnk | 11", "to-hidden | 8"}));
    EXPECT_EQ(scan.total, 10u + 20 + 1 + 4000 + 5368709120ull + 3) << "links add nothing";
    EXPECT_EQ(scan.state.folders, 5u);
    EXPECT_EQ(scan.state.files, 12u);
    EXPECT_EQ(scan.tree.text(scan.root), u"root") << "the root is the command's part";
    EXPECT_FALSE(scan.tree.isBold(scan.root));
}

TEST(Scanner, FilterSelectsFilesAndKeepsEveryFolder) {
    test::TempTree disk;
    disk.dir("sub");
    for (const char* name : {"a.txt", "a.TXT", "a.txt.bak", "README", "sub/c.txt"}) {
        disk.file(name, 2);
    }
    const struct {
        std::u16string filter;
        Nodes nodes;
        std::uint64_t total;
    } cases[] = {
        {u"txt", {" sub | 6 b", " sub/c.txt | 5", "a.txt | 5"}, 4},
        {u"*.txt", {" sub | 6 b"}, 0},
        {u"", {" sub | 6 b"}, 0},
    };
    for (const auto& c : cases) {
        Scan scan;
        scan.run(disk.path(), c.filter);
        EXPECT_EQ(scan.nodes(), c.nodes) << utf16ToUtf8(c.filter);
        EXPECT_EQ(scan.total, c.total);
        EXPECT_EQ(scan.state.files, c.nodes.size() - 1);
        EXPECT_EQ(scan.state.folders, 1u);
    }
}

TEST(Scanner, TheRootPathIsFollowedButMustBeADirectory) {
    test::TempTree disk;
    disk.dir("real");
    disk.file("real/x", 9);
    disk.symlink("alias", "real");
    const struct {
        const char* path;
        Nodes nodes;
    } cases[] = {{"alias", {"x | 8"}}, {"real/x", {}}, {"missing", {}}};
    for (const auto& c : cases) {
        Scan scan;
        scan.run(disk.at(c.path));
        EXPECT_EQ(scan.nodes(), c.nodes) << c.path;
        EXPECT_EQ(scan.total, c.nodes.empty() ? 0u : 9u);
    }
}

TEST(Scanner, PumpsEveryEightItemsAndSetsTheProgressEvery128) {
    test::TempTree disk;
    disk.dir("sub");
    disk.manyFiles("sub", 299, "f");
    Scan scan;
    std::vector<std::uint32_t> sums;
    scan.ui.onPump = [&](std::size_t) { sums.push_back(scan.state.folders + scan.state.files); };
    scan.run(disk.path());
    std::vector<std::uint32_t> expected;
    for (std::uint32_t sum = 7; sum < 300; sum += 8) {
        expected.push_back(sum);
    }
    EXPECT_EQ(sums, expected);
    EXPECT_EQ(scan.ui.transcript(),
              (testing::Lines{R"(progress "Scanning...\n1 folder(s) and 126 file(s) found...")",
                              R"(progress "Scanning...\n1 folder(s) and 254 file(s) found...")"}));
}

TEST(Scanner, StopFinishesTheCurrentFolderAndEveryFolderAboveIt) {
    test::TempTree disk;
    for (const char* folder : {"a", "b", "c", "d"}) {
        disk.dir(folder);
        disk.dir(std::string(folder) + "/in");
        disk.manyFiles(std::string(folder) + "/in", 20, "f");
    }
    Scan scan;
    scan.ui.stopAtPump(scan.state, 1); // inside the first "in"
    scan.run(disk.path());
    EXPECT_TRUE(scan.state.stopRequested);
    EXPECT_EQ(scan.state.folders, 2u);
    EXPECT_EQ(scan.state.files, 20u);
    ASSERT_EQ(scan.tree.childCount(scan.root), 1u);
    const NodeId first = scan.tree.firstChild(scan.root);
    const NodeId in = scan.tree.firstChild(first);
    EXPECT_EQ(scan.tree.text(in), u" in");
    EXPECT_TRUE(scan.tree.isBold(first) && scan.tree.isBold(in));
    EXPECT_EQ(scan.tree.kind(first), kKindFolder);
    EXPECT_EQ(scan.tree.kind(in), kKindFolder);
    EXPECT_EQ(scan.tree.childCount(in), 20u);
}

TEST(Scanner, DeepTreesKeep64LevelsOpenAndReopenTheOthersByName) {
    test::TempTree disk;
    disk.dir("d");
    disk.dir("d/e");
    disk.chain("d/e", 70, "a", "leaf.txt");
    disk.chain("d/e", 70, "b", "leaf.txt"); // whichever comes second needs "d/e" again
    disk.file("top.txt", 7);
    Scan scan;
    const std::size_t before = openDescriptors();
    std::size_t most = 0;
    scan.ui.onPump = [&](std::size_t) { most = std::max(most, openDescriptors()); };
    scan.run(disk.path());
    EXPECT_EQ(most - before, 64u);
    EXPECT_EQ(scan.state.folders, 142u);
    EXPECT_EQ(scan.state.files, 3u);
    EXPECT_EQ(scan.total, 7u);
    EXPECT_EQ(openDescriptors(), before);
}

// The descriptor numbers the next n opens get, lowest first.
std::vector<int> nextDescriptors(std::size_t n) {
    std::vector<int> fds;
    while (fds.size() < n) {
        fds.push_back(dup(0));
    }
    for (int fd : fds) {
        close(fd);
    }
    return fds;
}

TEST(Scanner, RunningOutOfDescriptorsClosesUpperLevelsOrLeavesAFolderEmpty) {
    test::TempTree disk;
    disk.dir("a");
    disk.dir("a/b");
    disk.dir("a/b/c");
    disk.file("a/b/c/leaf", 3);
    disk.file("z.txt", 4);
    const struct {
        std::size_t levels; // directories that fit in the descriptors left
        Nodes nodes;
    } cases[] = {
        {1, {" a | 6 b", "z.txt | 5"}}, // nothing to close: "a" cannot be opened
        {2,                             // one upper level open to close each time
         {" a | 6 b", " a/ b | 6 b", " a/ b/ c | 6 b", " a/ b/ c/leaf | 8", "z.txt | 5"}},
    };
    for (const auto& c : cases) {
        Scan scan;
        {
            rlimit saved{};
            getrlimit(RLIMIT_NOFILE, &saved);
            rlimit lowered = saved;
            lowered.rlim_cur = static_cast<rlim_t>(nextDescriptors(c.levels + 1).back());
            setrlimit(RLIMIT_NOFILE, &lowered);
            scan.run(disk.path());
            setrlimit(RLIMIT_NOFILE, &saved);
        }
        EXPECT_EQ(scan.nodes(), c.nodes) << c.levels;
        EXPECT_EQ(scan.total, c.levels == 1 ? 4u : 7u);
    }
}

} // namespace
} // namespace zelvane
