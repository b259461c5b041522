#include "capture/directory_scanner.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <sys/resource.h>
#include <vector>

#include <gtest/gtest.h>

#include "capture/classification.h"
#include "capture/temp_tree.h"
#include "document/snapshot_file.h"
#include "text/utf.h"

namespace zelvane {
namespace {

// Records what the scan asks of the user interface; can press Stop at a given pump.
class RecordingObserver : public ScanObserver {
public:
    explicit RecordingObserver(ScanState& state) : state_(state) {}
    void pump() override {
        pumpSums.push_back(state_.folders + state_.files);
        platform::Directory fds = platform::Directory::openPath("/proc/self/fd");
        platform::DirectoryListing listing;
        fds.readAll(listing);
        mostOpenFiles = std::max(mostOpenFiles, listing.size());
        if (stopAtPump != 0 && pumpSums.size() == stopAtPump) {
            OnStopScan(state_);
        }
    }
    void setProgressText(std::u16string_view text) override { texts.emplace_back(text); }

    std::vector<std::uint32_t> pumpSums;
    std::vector<std::u16string> texts;
    std::size_t stopAtPump = 0;
    std::size_t mostOpenFiles = 0; // entries of /proc/self/fd seen at a pump

private:
    ScanState& state_;
};

struct Capture {
    SnapshotTree tree;
    ScanState state;
    RecordingObserver observer{state};
    NodeId root = kNoNode;
    std::uint64_t total = 0;

    explicit Capture(const std::string& path, std::u16string filter = u"*",
                     std::size_t stopAtPump = 0) {
        state.filter = std::move(filter);
        observer.stopAtPump = stopAtPump;
        root = tree.insertLast(kTopLevel, u"root");
        DirectoryScanner scanner(tree, state, observer);
        total = scanner.ScanDirectory(utf8ToUtf16(path), root);
    }

    // The children of node by their texts.
    std::map<std::u16string, NodeId> children(NodeId node) const {
        std::map<std::u16string, NodeId> byText;
        for (NodeId c = tree.firstChild(node); c != kNoNode; c = tree.nextSibling(c)) {
            byText.emplace(std::u16string(tree.text(c)), c);
        }
        return byText;
    }
    std::set<std::u16string> childTexts(NodeId node) const {
        std::set<std::u16string> texts;
        for (const auto& [text, id] : children(node)) {
            texts.insert(text);
        }
        return texts;
    }
};

TEST(Scanner, CapturesFoldersAndFilesWithTheirTextsKindsAndSizes) {
    test::TempTree disk;
    disk.dir("docs");
    disk.dir("docs/old");
    disk.file("docs/old/letter.DOC", 10);
    disk.file("docs/notes.c", 20);
    disk.dir("backup.zip");
    disk.file("AutoRun.INF", 1);
    disk.file("tool.exe", 300);
    disk.file("README", 4000);
    disk.file(".hidden", 5368709120ull); // sparse: 5 GiB that take no room

    Capture c(disk.path());
    EXPECT_EQ(c.state.folders, 3u);
    EXPECT_EQ(c.state.files, 6u);
    EXPECT_EQ(c.total, 10u + 20 + 1 + 300 + 4000 + 5368709120ull);
    EXPECT_EQ(c.childTexts(c.root),
              (std::set<std::u16string>{u" docs", u" backup.zip", u"AutoRun.INF", u"tool.exe",
                                        u"README", u".hidden"}));
    const auto top = c.children(c.root);
    for (const char16_t* folder : {u" docs", u" backup.zip"}) {
        EXPECT_TRUE(c.tree.isBold(top.at(folder)));
        EXPECT_EQ(c.tree.kind(top.at(folder)), kKindFolder) << "folders are never classified";
    }
    EXPECT_EQ(c.tree.kind(top.at(u"AutoRun.INF")), kKindAutorun);
    EXPECT_EQ(c.tree.kind(top.at(u"tool.exe")), kKindProgram);
    EXPECT_EQ(c.tree.kind(top.at(u"README")), kKindOther);
    EXPECT_FALSE(c.tree.isBold(top.at(u"tool.exe")));
    EXPECT_FALSE(c.tree.hasChildren(top.at(u" backup.zip")));

    const NodeId docs = top.at(u" docs");
    EXPECT_EQ(c.childTexts(docs), (std::set<std::u16string>{u" old", u"notes.c"}));
    const NodeId old = c.children(docs).at(u" old");
    EXPECT_EQ(c.childTexts(old), (std::set<std::u16string>{u"letter.DOC"}));
    EXPECT_EQ(c.tree.kind(c.children(old).at(u"letter.DOC")), kKindDocument);
    // The scan leaves the root as it found it: its text and bold are the command's part.
    EXPECT_EQ(c.tree.text(c.root), u"root");
    EXPECT_FALSE(c.tree.isBold(c.root));
}

TEST(Scanner, FilterSelectsFilesButKeepsEveryFolder) {
    test::TempTree disk;
    disk.dir("sub");
    for (const char* name : {"a.txt", "a.TXT", "a.txt.bak", "README", "sub/c.txt"}) {
        disk.file(name, 1);
    }
    Capture txt(disk.path(), u"txt");
    EXPECT_EQ(txt.childTexts(txt.root), (std::set<std::u16string>{u" sub", u"a.txt"}));
    EXPECT_EQ(txt.state.files, 2u);
    EXPECT_EQ(txt.total, 2u);
    Capture none(disk.path(), u"*.txt");
    EXPECT_EQ(none.childTexts(none.root), (std::set<std::u16string>{u" sub"}));
    EXPECT_EQ(none.state.folders, 1u);
    EXPECT_EQ(none.state.files + none.total, 0u);
}

TEST(Scanner, LinksAreFilesAndNeverFollowed) {
    test::TempTree disk;
    disk.dir("inside");
    disk.file("inside/real.txt", 7);
    disk.file("big.bin", 1000000);
    disk.symlink("inside/loop", "..");
    disk.symlink("self", ".");
    disk.symlink("up", "/");
    disk.symlink("to-big.bin", "big.bin");
    disk.symlink("Shortcut.lnk", "inside");
    disk.symlink("dangling.txt", "nowhere");

    Capture c(disk.path());
    EXPECT_EQ(c.state.folders, 1u);
    EXPECT_EQ(c.state.files, 8u);
    EXPECT_EQ(c.total, 1000007u) << "a link adds no size";
    const auto top = c.children(c.root);
    for (const char16_t* link : {u"self", u"up", u"to-big.bin", u"Shortcut.lnk", u"dangling.txt"}) {
        ASSERT_EQ(top.count(link), 1u);
        EXPECT_FALSE(c.tree.hasChildren(top.at(link)));
        EXPECT_FALSE(c.tree.isBold(top.at(link)));
    }
    EXPECT_EQ(c.tree.kind(top.at(u"Shortcut.lnk")), kKindShortcut) << "classified by its name";
    EXPECT_EQ(c.tree.kind(top.at(u"dangling.txt")), kKindDocument);
    EXPECT_EQ(c.tree.kind(top.at(u"up")), kKindOther);
    EXPECT_EQ(c.childTexts(top.at(u" inside")), (std::set<std::u16string>{u"real.txt", u"loop"}));
}

TEST(Scanner, TheRootPathItselfMayBeALink) {
    test::TempTree disk;
    disk.dir("real");
    disk.file("real/x");
    disk.symlink("alias", "real");
    Capture c(disk.at("alias"));
    EXPECT_EQ(c.childTexts(c.root), (std::set<std::u16string>{u"x"}));
}

TEST(Scanner, NamesThatAreNotUtf8SurviveSavingAndLoading) {
    test::TempTree disk;
    const std::string latin1 = "caf\xe9.txt";
    const std::string broken = "\xff\xfe\x80";
    disk.file(latin1, 1);
    disk.dir(broken);
    disk.file(broken + "/\xc3\x28.exe"); // an invalid two-byte sequence

    Capture c(disk.path());
    const std::u16string latin1Text = utf8ToUtf16(latin1);
    EXPECT_EQ(latin1Text, std::u16string(u"caf\xdce9.txt"));
    ASSERT_EQ(c.children(c.root).count(latin1Text), 1u);
    EXPECT_EQ(c.tree.kind(c.children(c.root).at(latin1Text)), kKindDocument);
    const NodeId folder = c.children(c.root).at(u" " + utf8ToUtf16(broken));
    EXPECT_EQ(c.childTexts(folder), (std::set<std::u16string>{utf8ToUtf16("\xc3\x28.exe")}));

    std::string bytes;
    ASSERT_TRUE(encodeSnapshot(c.tree, bytes).ok);
    SnapshotTree loaded;
    const LoadStats stats = decodeSnapshot(bytes, loaded);
    EXPECT_TRUE(stats.wellFormed());
    std::vector<std::u16string> before;
    std::vector<std::u16string> after;
    walkPreOrder(c.tree, [&](NodeId n, std::size_t) { before.emplace_back(c.tree.text(n)); });
    walkPreOrder(loaded, [&](NodeId n, std::size_t) { after.emplace_back(loaded.text(n)); });
    EXPECT_EQ(before, after);
    // And the names lead back to the same bytes on disk.
    EXPECT_EQ(utf16ToUtf8(latin1Text), latin1);
}

TEST(Scanner, APathThatIsNoDirectoryGivesNoChildren) {
    test::TempTree disk;
    disk.file("plain.txt", 5);
    for (const char* path : {"missing", "plain.txt"}) {
        Capture c(disk.at(path));
        EXPECT_EQ(c.total, 0u);
        EXPECT_FALSE(c.tree.hasChildren(c.root));
        EXPECT_EQ(c.state.folders + c.state.files, 0u);
    }
}

TEST(Scanner, PumpsAtSevenModuloEightForEveryEntryRejectedOnesIncluded) {
    test::TempTree disk;
    for (int i = 0; i < 150; ++i) {
        disk.file("drop" + std::to_string(i) + ".bak");
        if (i < 140) {
            disk.file("keep" + std::to_string(i) + ".txt");
        }
    }
    // The expected pumps and progress texts, worked out from the directory's own order.
    platform::Directory dir = platform::Directory::openPath(disk.path());
    platform::DirectoryListing listing;
    ASSERT_TRUE(dir.readAll(listing));
    std::uint32_t sum = 0;
    std::vector<std::uint32_t> expectedPumps;
    std::vector<std::u16string> expectedTexts;
    for (std::size_t i = 0; i < listing.size(); ++i) {
        if (sum % 8 == 7) {
            expectedPumps.push_back(sum);
        }
        if (sum % 128 == 127) {
            expectedTexts.push_back(u"Scanning...\n0 folder(s) and 127 file(s) found...");
        }
        sum += listing.name(i).ends_with(".txt") ? 1 : 0;
    }
    Capture c(disk.path(), u"txt");
    EXPECT_EQ(c.state.files, 140u);
    EXPECT_EQ(c.observer.pumpSums, expectedPumps);
    EXPECT_EQ(c.observer.texts, expectedTexts);
    EXPECT_GT(expectedPumps.size(), 140u / 8) << "some rejected entries fell on a 7";
}

TEST(Scanner, StopEndsEveryLevelAfterItsCurrentFolder) {
    test::TempTree disk;
    // Only folders at the top, each with 40 files: Stop is pressed at the first pump, which
    // comes inside the first folder scanned. That folder still finishes its files, then the
    // top level stops at once.
    for (const char* folder : {"a", "b", "c", "d"}) {
        disk.dir(folder);
        disk.manyFiles(folder, 40, "file");
    }
    Capture c(disk.path(), u"*", 1);
    EXPECT_TRUE(c.state.stopRequested);
    EXPECT_EQ(c.state.folders, 1u);
    EXPECT_EQ(c.state.files, 40u);
    ASSERT_EQ(c.tree.childCount(c.root), 1u);
    const NodeId only = c.tree.firstChild(c.root);
    EXPECT_EQ(c.tree.text(only).substr(0, 1), u" ");
    EXPECT_TRUE(c.tree.isBold(only));
    EXPECT_EQ(c.tree.kind(only), kKindFolder);
    EXPECT_EQ(c.tree.childCount(only), 40u);
}

TEST(Scanner, StopDeepInsideFinishesEveryFolderOnTheWayUp) {
    test::TempTree disk;
    disk.dir("x");
    disk.dir("x/y");
    disk.manyFiles("x/y", 30, "f");
    Capture c(disk.path(), u"*", 1);
    EXPECT_EQ(c.state.folders, 2u);
    EXPECT_EQ(c.state.files, 30u);
    const NodeId x = c.tree.firstChild(c.root);
    const NodeId y = c.tree.firstChild(x);
    EXPECT_EQ(c.tree.text(x), u" x");
    EXPECT_EQ(c.tree.text(y), u" y");
    EXPECT_TRUE(c.tree.isBold(x) && c.tree.isBold(y));
    EXPECT_EQ(c.tree.kind(x), kKindFolder);
    EXPECT_EQ(c.tree.kind(y), kKindFolder);
}

// Lowers the soft limit on open files for the life of the object.
class DescriptorLimit {
public:
    explicit DescriptorLimit(rlim_t limit) {
        getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = limit;
        setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~DescriptorLimit() { setrlimit(RLIMIT_NOFILE, &saved_); }

private:
    rlimit saved_{};
};

void expectChain(const Capture& c, std::size_t levels, std::u16string_view folder) {
    NodeId node = c.root;
    for (std::size_t level = 0; level < levels; ++level) {
        node = c.tree.firstChild(node);
        ASSERT_NE(node, kNoNode) << "level " << level;
        ASSERT_EQ(c.tree.text(node), folder);
        ASSERT_EQ(c.tree.kind(node), kKindFolder);
    }
    node = c.tree.firstChild(node);
    ASSERT_NE(node, kNoNode);
    EXPECT_EQ(c.tree.text(node), u"leaf.txt");
}

TEST(Scanner, CapturesATenThousandLevelTreeWhole) {
    test::TempTree disk;
    disk.chain("", 10000, "d", "leaf.txt");
    Capture c(disk.path());
    EXPECT_EQ(c.state.folders, 10000u);
    EXPECT_EQ(c.state.files, 1u);
    expectChain(c, 10000, u" d");
    EXPECT_LT(c.observer.mostOpenFiles, 100u) << "a few dozen directories open at most";
    EXPECT_GT(c.observer.mostOpenFiles, 60u);
}

TEST(Scanner, RunsOutOfDescriptorsWithoutLosingLevels) {
    // A branchy tree below a deep chain, with few descriptors: upper levels are closed on
    // the way down and opened again, by name, when their next folder comes.
    test::TempTree disk;
    disk.dir("top");
    disk.chain("top", 300, "level", "leaf.txt");
    disk.dir("top/second");
    disk.chain("top/second", 200, "n", "leaf.txt");
    disk.manyFiles("top", 5, "file");
    DescriptorLimit limit(32);
    Capture c(disk.path());
    EXPECT_EQ(c.state.folders, 1u + 300 + 1 + 200);
    EXPECT_EQ(c.state.files, 2u + 5);
    const NodeId top = c.tree.firstChild(c.root);
    const auto children = c.children(top);
    EXPECT_EQ(children.size(), 1u + 1 + 5);
    std::size_t depth = 0;
    for (NodeId n = children.at(u" level"); n != kNoNode; n = c.tree.firstChild(n)) {
        ++depth;
    }
    EXPECT_EQ(depth, 301u); // 300 folders and the leaf
}

} // namespace
} // namespace zelvane

namespace zelvane {
namespace {

// A wide directory; the benchmark zelvane_capture_bench scans one of 200,000 entries.
TEST(Scanner, CapturesAWideDirectory) {
    test::TempTree disk;
    disk.dir("sub");
    disk.manyFiles("", 30000, "entry-");
    Capture c(disk.path());
    EXPECT_EQ(c.state.folders, 1u);
    EXPECT_EQ(c.state.files, 30000u);
    EXPECT_EQ(c.tree.childCount(c.root), 30001u);
    // One progress text per 128 items (a "." or ".." entry may fall on one more).
    EXPECT_GE(c.observer.texts.size(), 30001u / 128);
    EXPECT_LE(c.observer.texts.size(), 30001u / 128 + 2);
}

} // namespace
} // namespace zelvane
