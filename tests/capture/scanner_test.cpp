#include "capture/directory_scanner.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <set>
#include <string>
#include <sys/resource.h>
#include <tuple>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "support/scripted_ui.h"
#include "support/temp_tree.h"
#include "text/utf.h"

namespace zelvane {
namespace {

using Nodes = std::set<std::string>;
using Reports = std::vector<std::pair<std::string, int>>;

// The scripted double, keeping the folders reported unreadable with their errors.
struct RecordingUi : testing::ScriptedUi {
    Reports unreadable;
    void folderUnreadable(std::string_view path, int error) override {
        unreadable.emplace_back(path, error);
    }
};

// One scan below a root node "root", reported to the scripted double.
struct Scan {
    SnapshotTree tree;
    ScanState state;
    RecordingUi ui;
    NodeId root = tree.insertLast(kTopLevel, u"root");
    std::uint64_t total = 0;

    void run(const std::string& path, std::u16string filter = u"*") {
        state.filter = std::move(filter);
        total = DirectoryScanner(tree, state, ui).ScanDirectory(utf8ToUtf16(path), root);
    }
    // Every node below the root: "path of texts | kind", with " b" when bold.
    Nodes nodes(NodeId parent = kNoNode, const std::u16string& prefix = u"") const {
        Nodes out;
        for (NodeId c = tree.firstChild(parent == kNoNode ? root : parent); c != kNoNode;
             c = tree.nextSibling(c)) {
            const std::u16string path = prefix + std::u16string(tree.text(c));
            out.insert(utf16ToUtf8(path) + " | " + std::to_string(tree.kind(c)) +
                       (tree.isBold(c) ? " b" : ""));
            out.merge(nodes(c, path + u"/"));
        }
        return out;
    }
};

std::size_t openDescriptors() {
    platform::Directory fds = platform::Directory::openPath("/proc/self/fd");
    platform::DirectoryListing listing;
    fds.readAll(listing);
    return listing.size();
}

TEST(Scanner, CapturesKindsSizesAndFilteredFilesWithoutFollowingLinksBelowTheRoot) {
    test::TempTree disk;
    for (const char* folder : {"docs", "docs/old", "backup.zip", "\xff\xfe"}) {
        disk.dir(folder);
    }
    disk.file("docs/old/letter.DOC", 10);
    disk.file("AutoRun.INF", 1);
    disk.file("README", 4000);
    disk.file(".hidden", 5368709120ull);
    disk.file("tab\tnew\nline.exe");
    disk.file("caf\xe9.txt", 6);
    disk.file("\xff\xfe/\xc3\x28.zip", 3);
    disk.symlink("Shortcut.lnk", "docs");
    disk.symlink("to-hidden", ".hidden");
    const Nodes folders{" docs | 6 b", " docs/ old | 6 b", " backup.zip | 6 b", " \xff\xfe | 6 b"};
    Nodes all = folders, txt = folders;
    all.insert({" docs/ old/letter.DOC | 5", " \xff\xfe/\xc3\x28.zip | 2", "AutoRun.INF | 3",
                "README | 8", ".hidden | 8", "tab\tnew\nline.exe | 1", "caf\xe9.txt | 5",
                "Shortcut.lnk | 11", "to-hidden | 8"});
    txt.insert("caf\xe9.txt | 5");
    const struct {
        const char* path; // the root, followed when a link
        std::u16string filter;
        Nodes nodes;
        std::uint64_t total;
        std::uint32_t folders, files;
    } cases[] = {
        {"", u"*", all, 10u + 1 + 4000 + 5368709120ull + 6 + 3, 4, 9}, // links add nothing
        {"", u"txt", txt, 6, 4, 1},
        {"Shortcut.lnk", u"*", {" old | 6 b", " old/letter.DOC | 5"}, 10, 1, 1},
        {"README", u"*", {}, 0, 0, 0},
        {"missing", u"*", {}, 0, 0, 0},
    };
    for (const auto& c : cases) {
        Scan scan;
        scan.run(disk.at(c.path), c.filter);
        EXPECT_EQ(scan.nodes(), c.nodes) << c.path << utf16ToUtf8(c.filter);
        EXPECT_EQ(std::tuple(scan.total, scan.state.folders, scan.state.files),
                  std::tuple(c.total, c.folders, c.files));
        EXPECT_EQ(scan.ui.unreadable, Reports{}) << c.path;
    }
}

TEST(Scanner, OneScannerScansAgainAfterARootItCouldNotOpen) {
    test::TempTree disk;
    disk.file("data.txt", 9);
    Scan scan;
    DirectoryScanner scanner(scan.tree, scan.state, scan.ui);
    EXPECT_EQ(scanner.ScanDirectory(utf8ToUtf16(disk.at("missing")), scan.root), 0u);
    EXPECT_EQ(scanner.ScanDirectory(utf8ToUtf16(disk.path()), scan.root), 9u);
    EXPECT_EQ(scan.nodes(), (Nodes{"data.txt | 5"}));
}

TEST(Scanner, PumpsEveryEightItemsAndSetsTheProgressEvery128) {
    test::TempTree disk;
    disk.dir("sub");
    disk.manyFiles("sub", 299, "f");
    Scan scan;
    std::vector<std::uint32_t> sums, expected;
    scan.ui.onPump = [&](std::size_t) { sums.push_back(scan.state.folders + scan.state.files); };
    scan.run(disk.path());
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
    for (const std::string folder : {"a", "b", "c", "d"}) {
        disk.dir(folder);
        disk.dir(folder + "/in");
        disk.manyFiles(folder + "/in", 20, "f");
    }
    Scan scan;
    scan.ui.stopAtPump(scan.state, 1); // inside the first "in"
    DirectoryScanner scanner(scan.tree, scan.state, scan.ui);
    scan.state.filter = u"*";
    scanner.ScanDirectory(utf8ToUtf16(disk.path()), scan.root);
    EXPECT_TRUE(scan.state.stopRequested);
    EXPECT_EQ(std::pair(scan.state.folders, scan.state.files), std::pair(2u, 20u));
    const Nodes nodes = scan.nodes();
    ASSERT_EQ(nodes.size(), 22u);
    const std::string first = nodes.begin()->substr(0, 2);
    EXPECT_EQ(*nodes.begin(), first + " | 6 b");
    EXPECT_EQ(nodes.count(first + "/ in | 6 b"), 1u);
    // Once the stop is over, the same scanner scans the whole tree again.
    scan.state.stopRequested = false;
    scanner.ScanDirectory(utf8ToUtf16(disk.path()), scan.tree.insertLast(kTopLevel, u"again"));
    EXPECT_EQ(std::pair(scan.state.folders, scan.state.files), std::pair(2u + 8, 20u + 80));
}

TEST(Scanner, DeepTreesKeep64LevelsOpenAndReopenTheOthersByName) {
    test::TempTree disk;
    disk.dir("d");
    disk.dir("d/e");
    disk.chain("d/e", 70, "a", "leaf.txt");
    disk.chain("d/e", 70, "b", "leaf.txt"); // whichever comes second needs "d/e" again
    disk.chain("d", 70, "c", "leaf.txt");   // and "d" itself, next to "e"
    disk.file("top.txt", 7);
    Scan scan;
    const std::size_t before = openDescriptors();
    std::size_t most = 0;
    scan.ui.onPump = [&](std::size_t) { most = std::max(most, openDescriptors()); };
    scan.run(disk.path());
    EXPECT_EQ(std::tuple(most - before, scan.state.folders, scan.state.files, scan.total),
              std::tuple(64u, 212u, 4u, 7u));
    EXPECT_EQ(openDescriptors(), before);
}

// The descriptor limit that leaves room for n more.
rlim_t roomFor(std::size_t n) {
    std::vector<int> fds(n + 1);
    for (int& fd : fds) {
        fd = dup(0);
    }
    for (int fd : fds) {
        close(fd);
    }
    return static_cast<rlim_t>(fds.back());
}

TEST(Scanner, RunningOutOfDescriptorsClosesUpperLevelsOrLeavesAFolderEmpty) {
    test::TempTree disk;
    disk.chain("", 3, "a", "leaf");
    disk.file("a/a/a/leaf", 3);
    disk.file("z.txt", 4);
    const Nodes shallow{" a | 6 b", "z.txt | 5"},
        deep{" a | 6 b", " a/ a | 6 b", " a/ a/ a | 6 b", " a/ a/ a/leaf | 8", "z.txt | 5"};
    for (const std::size_t levels : {1, 2}) { // 1: nothing to close, "a" cannot be opened
        Scan scan;
        // A call through the interface while descriptors are left: the sanitizer's dynamic
        // type check needs one, and would call the later ones wrong without it.
        static_cast<ScanObserver&>(scan.ui).folderUnreadable({}, 0);
        scan.ui.unreadable.clear();
        rlimit saved{};
        getrlimit(RLIMIT_NOFILE, &saved);
        const rlimit lowered{roomFor(levels), saved.rlim_max};
        setrlimit(RLIMIT_NOFILE, &lowered);
        scan.run(disk.path());
        setrlimit(RLIMIT_NOFILE, &saved);
        EXPECT_EQ(scan.nodes(), levels == 1 ? shallow : deep) << levels;
        EXPECT_EQ(scan.total, levels == 1 ? 4u : 7u);
        const Reports reports =
            levels == 1 ? Reports{{disk.at("a"), EMFILE}} : Reports{}; // nothing else to close
        EXPECT_EQ(scan.ui.unreadable, reports) << levels;
    }
}

TEST(Scanner, AFolderMovedAwayAboveTheScanLeavesTheNextBranchEmptyAndReported) {
    test::TempTree disk;
    disk.dir("d");
    disk.dir("d/e");
    disk.chain("d/e", 70, "a", "leaf.txt");
    disk.chain("d/e", 70, "b", "leaf.txt");
    Scan scan;
    // Deep in the first chain, where "d" and "e" are closed: the second chain is reached
    // through them by name, and "d" is gone by then.
    scan.ui.onPump = [&](std::size_t) {
        if (scan.state.folders + scan.state.files == 71 &&
            !std::filesystem::exists(disk.at("moved"))) {
            std::filesystem::rename(disk.at("d"), disk.at("moved"));
        }
    };
    scan.run(disk.path());
    ASSERT_EQ(scan.ui.unreadable.size(), 1u);
    const std::string second = scan.ui.unreadable[0].first;
    EXPECT_TRUE(second == disk.at("d/e/a") || second == disk.at("d/e/b")) << second;
    EXPECT_EQ(scan.ui.unreadable[0].second, EIO); // the cause is lost on the way down
    const std::string name = second.substr(second.size() - 1);
    const Nodes nodes = scan.nodes();
    EXPECT_EQ(nodes.count(" d/ e/ " + name + " | 6 b"), 1u);
    EXPECT_EQ(nodes.count(" d/ e/ " + name + "/ " + name + " | 6 b"), 0u);
    EXPECT_EQ(std::tuple(nodes.size(), scan.state.folders, scan.state.files),
              std::tuple(74u, 73u, 1u));
}

} // namespace
} // namespace zelvane
