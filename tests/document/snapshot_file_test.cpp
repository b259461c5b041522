#include "document/snapshot_file.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelvane {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) {
        s.push_back(static_cast<char>(v));
    }
    return s;
}

// The tree as text: one line per node, "level kind bold text".
std::string dump(const SnapshotTree& tree) {
    std::ostringstream out;
    walkPreOrder(tree, [&](NodeId n, std::size_t level) {
        out << level << ' ' << tree.kind(n) << ' ' << (tree.isBold(n) ? 'B' : '-') << ' ';
        for (char16_t u : tree.text(n)) {
            if (u < 0x80) {
                out << static_cast<char>(u);
            } else {
                out << "<" << std::hex << static_cast<unsigned>(u) << std::dec << ">";
            }
        }
        out << '\n';
    });
    return out.str();
}

const std::string kWorkedExample = bytes({0x09, 0x00, 'B', 'a', 'c', 'k', 'u', 'p', 0x00}) +
                                   bytes({0x06, 0x01, ' ', 'D', 'o', 'c', 's', 0x00}) +
                                   bytes({0x05, 0x02, 'a', '.', 't', 'x', 't', 0x00}) +
                                   bytes({0x07, 0x02, 0xFF, 0xFF, 0xA9, 0x03, '.', 0x00, 'm', 0x00,
                                          'p', 0x00, '3', 0x00, 0x00, 0x00});

void buildWorkedExample(SnapshotTree& tree) {
    const NodeId root = tree.insertLast(kTopLevel, u"Backup");
    tree.setTextAndBold(root, u"Backup");
    tree.setKind(root, kKindDriveRoot);
    const NodeId docs = tree.insertLast(root, u"Docs");
    tree.setTextAndBold(docs, u" Docs");
    tree.setKind(docs, kKindFolder);
    tree.setKind(tree.insertLast(docs, u"a.txt"), kKindDocument);
    tree.setKind(tree.insertLast(docs, u"\u03A9.mp3"), kKindMedia);
}

TEST(SnapshotFile, WorkedExampleBothWays) {
    SnapshotTree tree;
    buildWorkedExample(tree);
    std::string encoded;
    const WriteResult written = encodeSnapshot(tree, encoded);
    EXPECT_EQ(encoded.size(), 41u);
    EXPECT_EQ(encoded, kWorkedExample);
    EXPECT_EQ(written.records, 4u);

    SnapshotTree loaded;
    const LoadStats stats = decodeSnapshot(kWorkedExample, loaded);
    EXPECT_EQ(dump(loaded), dump(tree));
    EXPECT_EQ(stats.roots, 1u);
    EXPECT_EQ(stats.folders, 1u);
    EXPECT_EQ(stats.files, 2u);
    EXPECT_EQ(stats.utf16Records, 1u);
    EXPECT_EQ(stats.deepestLevel, 2u);
    EXPECT_TRUE(stats.wellFormed());
}

TEST(SnapshotFile, NameFormsFollowTheCodeUnits) {
    struct Case {
        std::u16string text;
        std::string name;
    };
    const Case cases[] = {
        {u"", bytes({0})},
        {u"a", bytes({'a', 0})},
        {u"caf\u00E9", bytes({'c', 'a', 'f', 0xE9, 0})},
        {u"\u00FF", bytes({0xFF, 0})},
        {u"a\u00FF\u00FF", bytes({'a', 0xFF, 0xFF, 0})},
        {u"x\u0100", bytes({0xFF, 0xFF, 'x', 0, 0x00, 0x01, 0, 0})},
        // Two leading U+00FF would look like the marker: written as UTF-16.
        {u"\u00FF\u00FFz", bytes({0xFF, 0xFF, 0xFF, 0, 0xFF, 0, 'z', 0, 0, 0})},
    };
    for (const Case& c : cases) {
        SnapshotTree tree;
        tree.setKind(tree.insertLast(kTopLevel, c.text), 8);
        std::string encoded;
        encodeSnapshot(tree, encoded);
        EXPECT_EQ(encoded, bytes({8, 0}) + c.name);
        SnapshotTree back;
        decodeSnapshot(encoded, back);
        ASSERT_NE(back.firstRoot(), kNoNode);
        EXPECT_EQ(back.text(back.firstRoot()), c.text);
    }
}

TEST(SnapshotFile, DepthRulesPlaceEveryRecord) {
    // r(0) a(1) deep(4: a jump, goes under a) b(4: beside deep) c(2: two up from a, which
    // runs out of parents: a root) d(0) e(3: under d) f(1: two up from d: a root)
    const std::string data = bytes({9, 0, 'r', 0, 6, 1, 'a', 0, 5, 4, 'd', 'e', 'e', 'p', 0}) +
                             bytes({5, 4, 'b', 0, 5, 2, 'c', 0, 9, 0, 'd', 0, 5, 3, 'e', 0}) +
                             bytes({6, 1, 'f', 0});
    SnapshotTree tree;
    const LoadStats stats = decodeSnapshot(data, tree);
    EXPECT_EQ(dump(tree), "0 9 B r\n"
                          "1 6 B a\n"
                          "2 5 - deep\n"
                          "2 5 - b\n"
                          "0 5 B c\n"
                          "0 9 B d\n"
                          "1 5 - e\n"
                          "0 6 B f\n");
    EXPECT_EQ(stats.roots, 4u);
    EXPECT_EQ(stats.folders, 1u);
    EXPECT_EQ(stats.files, 3u);
    EXPECT_EQ(stats.depthJumps, 2u);
    EXPECT_EQ(stats.orphanRecords, 2u);
    EXPECT_FALSE(stats.wellFormed());
}

TEST(SnapshotFile, CountsFollowDepthAndKind) {
    // A folder record at depth 0 is a root; kind 6 below it is a folder; all else a file.
    const std::string data = bytes({6, 0, 'F', 0, 6, 1, 's', 0, 4, 1, 'x', 0, 200, 1, 'y', 0});
    SnapshotTree tree;
    const LoadStats stats = decodeSnapshot(data, tree);
    EXPECT_EQ(stats.roots, 1u);
    EXPECT_EQ(stats.folders, 1u);
    EXPECT_EQ(stats.files, 2u);
    EXPECT_EQ(stats.kindsAbove11, 1u);
    EXPECT_EQ(dump(tree), "0 6 B F\n1 6 B s\n1 4 - x\n1 200 - y\n");
}

TEST(SnapshotFile, DamagedFilesLoadWhatTheyHold) {
    struct Case {
        const char* what;
        std::string data;
        std::string tree;
        bool truncatedName;
        bool truncatedRecord;
    };
    const Case cases[] = {
        {"empty", "", "", false, false},
        {"kind byte only", bytes({9}), "", false, true},
        {"record then a lone kind byte", bytes({9, 0, 'r', 0, 5}), "0 9 B r\n", false, true},
        {"ends after the depth byte", bytes({9, 0}), "0 9 B \n", true, false},
        {"empty name last", bytes({9, 0, 'r', 0, 5, 1, 0}), "0 9 B r\n1 5 - \n", false, false},
        {"8-bit name cut", bytes({9, 0, 'a', 'b'}), "0 9 B ab\n", true, false},
        {"lone FF at the end", bytes({9, 0, 0xFF}), "0 9 B <ff>\n", true, false},
        {"UTF-16 name cut, odd byte dropped", bytes({9, 0, 0xFF, 0xFF, 'a', 0, 'b'}), "0 9 B a\n",
         true, false},
        {"UTF-16 marker then nothing", bytes({9, 0, 0xFF, 0xFF}), "0 9 B \n", true, false},
        {"first record deep", bytes({5, 7, 'x', 0, 5, 8, 'y', 0}), "0 5 B x\n1 5 - y\n", false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SnapshotTree tree;
        const LoadStats stats = decodeSnapshot(c.data, tree);
        EXPECT_EQ(dump(tree), c.tree);
        EXPECT_EQ(stats.truncatedName, c.truncatedName);
        EXPECT_EQ(stats.truncatedRecord, c.truncatedRecord);
    }
    SnapshotTree tree;
    EXPECT_TRUE(decodeSnapshot(bytes({5, 7, 'x', 0}), tree).firstRecordDeep);
}

TEST(SnapshotFile, LongNamesAreKeptWhole) {
    const std::u16string name8(5000, u'n');
    const std::u16string name16(3000, u'\u4E2D');
    SnapshotTree tree;
    const NodeId root = tree.insertLast(kTopLevel, name8);
    tree.setTextAndBold(root, name8);
    tree.insertLast(root, name16);
    std::string encoded;
    encodeSnapshot(tree, encoded);
    SnapshotTree back;
    const LoadStats stats = decodeSnapshot(encoded, back);
    EXPECT_EQ(back.text(back.firstRoot()), name8);
    EXPECT_EQ(back.text(back.firstChild(back.firstRoot())), name16);
    EXPECT_EQ(stats.longNames, 2u);
    EXPECT_TRUE(stats.wellFormed());
}

TEST(SnapshotFile, LevelsAbove255AreStoredAs255AndCounted) {
    SnapshotTree tree;
    NodeId n = kTopLevel;
    for (int level = 0; level <= 300; ++level) {
        n = tree.insertLast(n, u"d");
    }
    std::string encoded;
    const WriteResult result = encodeSnapshot(tree, encoded);
    EXPECT_EQ(result.deepRecords, 45u);
    // Each record is kind, depth, 'd', 0.
    auto depthOf = [&](std::size_t record) {
        return static_cast<unsigned char>(encoded[4 * record + 1]);
    };
    EXPECT_EQ(depthOf(254), 254u);
    EXPECT_EQ(depthOf(255), 255u);
    EXPECT_EQ(depthOf(256), 255u);
    EXPECT_EQ(depthOf(300), 255u);
}

TEST(SnapshotFile, RandomTreesRoundTrip) {
    std::mt19937 rng(20261206);
    const std::u16string alphabet = u"ab \u00E9\u00FF\u03A9\u4E2D.";
    for (int round = 0; round < 200; ++round) {
        SnapshotTree tree;
        std::vector<NodeId> nodes;
        const int count = static_cast<int>(rng() % 60);
        for (int i = 0; i < count; ++i) {
            const bool root = nodes.empty() || rng() % 7 == 0;
            const NodeId parent = root ? kTopLevel : nodes[rng() % nodes.size()];
            std::u16string text;
            for (unsigned k = rng() % 6; k > 0; --k) {
                text.push_back(alphabet[rng() % alphabet.size()]);
            }
            const NodeId n = tree.insertLast(parent, text);
            const int kind =
                root ? (rng() % 2 ? kKindDriveRoot : kKindCdRomRoot) : static_cast<int>(rng() % 12);
            tree.setKind(n, kind);
            if (root || kind == kKindFolder) {
                tree.setTextAndBold(n, text);
            }
            nodes.push_back(n);
        }
        std::string encoded;
        encodeSnapshot(tree, encoded);
        SnapshotTree back;
        const LoadStats stats = decodeSnapshot(encoded, back);
        ASSERT_EQ(dump(back), dump(tree)) << "round " << round;
        ASSERT_TRUE(stats.wellFormed());
    }
}

TEST(SnapshotFile, WellFormedFilesRewriteByteForByte) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        std::string data;
        std::size_t depth = 0;
        const int records = static_cast<int>(rng() % 40);
        for (int i = 0; i < records; ++i) {
            depth = i == 0 ? 0 : static_cast<std::size_t>(rng() % (depth + 2));
            data.push_back(static_cast<char>(rng() % 12));
            data.push_back(static_cast<char>(depth));
            if (rng() % 3 == 0) {
                data += bytes({0xFF, 0xFF, 0x34, 0x12});
                data += bytes({static_cast<int>(rng() % 200) + 1, 0, 0, 0});
            } else {
                for (unsigned k = rng() % 5; k > 0; --k) {
                    data.push_back(static_cast<char>(1 + rng() % 250));
                }
                // Avoid starting an 8-bit name with the marker, which no writer produces.
                if (data.size() >= 2 && static_cast<unsigned char>(data.back()) == 0xFF &&
                    static_cast<unsigned char>(data[data.size() - 2]) == 0xFF) {
                    data.back() = 'q';
                }
                data.push_back(0);
            }
        }
        SnapshotTree tree;
        decodeSnapshot(data, tree);
        std::string again;
        encodeSnapshot(tree, again);
        ASSERT_EQ(again, data) << "round " << round;
    }
}

TEST(SnapshotFile, SaveAndLoadThroughTheFileSystem) {
    TempDir dir;
    SnapshotTree tree;
    buildWorkedExample(tree);
    const std::string path = dir.file("backup.zelv");
    const WriteResult written = writeSnapshotFile(tree, path);
    EXPECT_TRUE(written.opened);
    EXPECT_TRUE(written.ok);
    EXPECT_EQ(readBytes(path), kWorkedExample);

    SnapshotTree loaded;
    loaded.insertLast(kTopLevel, u"left over");
    const LoadStats stats = readSnapshotFile(path, loaded);
    EXPECT_TRUE(stats.opened);
    EXPECT_EQ(dump(loaded), dump(tree));

    // An empty snapshot is a file of zero bytes, and loads as an empty tree.
    SnapshotTree empty;
    EXPECT_TRUE(writeSnapshotFile(empty, path).ok);
    EXPECT_EQ(readBytes(path), "");
    const LoadStats none = readSnapshotFile(path, loaded);
    EXPECT_TRUE(none.opened);
    EXPECT_TRUE(loaded.empty());
    EXPECT_EQ(none.roots + none.folders + none.files, 0u);
}

TEST(SnapshotFile, FailuresAreReportedAndLeaveTheOldFile) {
    TempDir dir;
    SnapshotTree tree;
    buildWorkedExample(tree);

    // Missing folder: cannot be opened.
    const WriteResult missing = writeSnapshotFile(tree, dir.file("no/such/dir.zelv"));
    EXPECT_FALSE(missing.opened);
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.error, 0);

    // A directory in the way.
    ::mkdir(dir.file("folder.zelv").c_str(), 0755);
    EXPECT_FALSE(writeSnapshotFile(tree, dir.file("folder.zelv")).ok);
    SnapshotTree loaded;
    EXPECT_FALSE(readSnapshotFile(dir.file("folder.zelv"), loaded).opened);
    EXPECT_FALSE(readSnapshotFile(dir.file("absent.zelv"), loaded).opened);
    EXPECT_TRUE(loaded.empty());

    // A write that fails half way (the file size limit stands in for a full disk).
    const std::string path = dir.file("keep.zelv");
    writeBytes(path, "old contents");
    SnapshotTree big;
    const NodeId root = big.insertLast(kTopLevel, u"r");
    for (int i = 0; i < 20000; ++i) {
        big.insertLast(root, u"a rather long file name to fill the disk.txt");
    }
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const WriteResult full = writeSnapshotFile(big, path);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_TRUE(full.opened);
    EXPECT_FALSE(full.ok);
    EXPECT_EQ(readBytes(path), "old contents");
    // No temporary file is left behind.
    EXPECT_EQ(std::system(("test $(ls -A '" + dir.path().string() + "' | wc -l) -eq 2").c_str()),
              0);
}

TEST(SnapshotFile, SavingThroughALinkUpdatesItsTargetAndKeepsTheMode) {
    TempDir dir;
    const std::string target = dir.file("real.zelv");
    writeBytes(target, "x");
    ::chmod(target.c_str(), 0640);
    ASSERT_EQ(::symlink("real.zelv", dir.file("link.zelv").c_str()), 0);
    SnapshotTree tree;
    buildWorkedExample(tree);
    EXPECT_TRUE(writeSnapshotFile(tree, dir.file("link.zelv")).ok);
    struct stat st {};
    ASSERT_EQ(::lstat(dir.file("link.zelv").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readBytes(target), kWorkedExample);
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

} // namespace
} // namespace zelvane
