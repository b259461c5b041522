#include "document/snapshot_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/temp_dir.h"
#include "sync_seam.h"

namespace zelvane {
namespace {

using testing::readBytes;
using testing::SyncSeam;
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

// Every diagnostic of a load on one line.
std::string diagnostics(const LoadStats& s) {
    std::ostringstream out;
    out << "roots " << s.roots << " folders " << s.folders << " files " << s.files << " records "
        << s.records << " deepest " << s.deepestLevel << " utf16 " << s.utf16Records << " long "
        << s.longNames << " kinds " << s.kindsAbove11 << " first " << s.firstRecordDeep
        << " orphans " << s.orphanRecords << " jumps " << s.depthJumps << " name "
        << s.truncatedName << " record " << s.truncatedRecord << (s.wellFormed() ? " ok" : "");
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
    const NodeId docs = tree.insertLast(root, u" Docs");
    tree.setTextAndBold(docs, u" Docs");
    tree.setKind(docs, kKindFolder);
    tree.setKind(tree.insertLast(docs, u"a.txt"), kKindDocument);
    tree.setKind(tree.insertLast(docs, u"\u03A9.mp3"), kKindMedia);
}

TEST(SnapshotFile, WorkedExampleBothWays) {
    SnapshotTree tree;
    buildWorkedExample(tree);
    std::string encoded = "kept";
    const WriteResult written = encodeSnapshot(tree, encoded);
    EXPECT_EQ(encoded, "kept" + kWorkedExample);
    EXPECT_EQ(written.records, 4u);
    EXPECT_TRUE(written.ok);

    SnapshotTree loaded;
    const LoadStats stats = decodeSnapshot(kWorkedExample, loaded);
    EXPECT_EQ(dump(loaded), dump(tree));
    EXPECT_EQ(diagnostics(stats), "roots 1 folders 1 files 2 records 4 deepest 2 utf16 1 long 0 "
                                  "kinds 0 first 0 orphans 0 jumps 0 name 0 record 0 ok");
}

TEST(SnapshotFile, NameFormsFollowTheCodeUnits) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"", bytes({0})},
        {u"caf\u00E9", bytes({'c', 'a', 'f', 0xE9, 0})},
        {u"\u00FF", bytes({0xFF, 0})},
        {u"a\u00FF\u00FF", bytes({'a', 0xFF, 0xFF, 0})},
        {u"\u00FFa\u00FF", bytes({0xFF, 'a', 0xFF, 0})},
        {u"x\u0100", bytes({0xFF, 0xFF, 'x', 0, 0x00, 0x01, 0, 0})},
        {u"\uFFFF", bytes({0xFF, 0xFF, 0xFF, 0xFF, 0, 0})},
        // Two leading U+00FF would look like the marker: written as UTF-16.
        {u"\u00FF\u00FFz", bytes({0xFF, 0xFF, 0xFF, 0, 0xFF, 0, 'z', 0, 0, 0})},
    };
    for (const auto& [text, name] : cases) {
        SnapshotTree tree;
        tree.setKind(tree.insertLast(kTopLevel, text), 8);
        std::string encoded;
        encodeSnapshot(tree, encoded);
        EXPECT_EQ(encoded, bytes({8, 0}) + name);
        SnapshotTree back;
        decodeSnapshot(encoded, back);
        ASSERT_NE(back.firstRoot(), kNoNode);
        EXPECT_EQ(back.text(back.firstRoot()), text);
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
    EXPECT_EQ(dump(tree), "0 9 B r\n1 6 B a\n2 5 - deep\n2 5 - b\n0 5 B c\n"
                          "0 9 B d\n1 5 - e\n0 6 B f\n");
    EXPECT_EQ(stats.depthJumps, 2u);
    EXPECT_EQ(stats.orphanRecords, 2u);
}

TEST(SnapshotFile, EachOddityIsCountedFromItsBoundary) {
    const std::string n1023(1023, 'n'), n1024(1024, 'n');
    std::string wide1024 = bytes({0xFF, 0xFF});
    for (int i = 0; i < 1024; ++i) {
        wide1024 += bytes({0x34, 0x12});
    }
    struct Case {
        const char* what;
        std::string data;
        std::string stats;
    };
    const Case cases[] = {
        {"one level down", bytes({9, 0, 'r', 0, 6, 1, 'a', 0, 5, 2, 'x', 0}),
         "roots 1 folders 1 files 1 records 3 deepest 2 utf16 0 long 0 kinds 0 first 0 orphans 0 "
         "jumps 0 name 0 record 0 ok"},
        {"two levels down", bytes({9, 0, 'r', 0, 6, 2, 'a', 0}),
         "roots 1 folders 1 files 0 records 2 deepest 2 utf16 0 long 0 kinds 0 first 0 orphans 0 "
         "jumps 1 name 0 record 0"},
        {"kinds 11 and 12", bytes({11, 0, 'r', 0, 12, 1, 'x', 0, 11, 1, 'y', 0}),
         "roots 1 folders 0 files 2 records 3 deepest 1 utf16 0 long 0 kinds 1 first 0 orphans 0 "
         "jumps 0 name 0 record 0"},
        {"names of 1023 and 1024 units",
         bytes({9, 0}) + n1023 + bytes({0, 5, 1}) + n1024 + bytes({0, 5, 1}) + wide1024 +
             bytes({0, 0}),
         "roots 1 folders 0 files 2 records 3 deepest 1 utf16 1 long 2 kinds 0 first 0 orphans 0 "
         "jumps 0 name 0 record 0 ok"},
        {"first record deep", bytes({5, 7, 'x', 0, 5, 8, 'y', 0}),
         "roots 1 folders 0 files 1 records 2 deepest 8 utf16 0 long 0 kinds 0 first 1 orphans 0 "
         "jumps 0 name 0 record 0"},
        {"orphan after a deep first record", bytes({5, 3, 'x', 0, 5, 1, 'y', 0}),
         "roots 2 folders 0 files 0 records 2 deepest 3 utf16 0 long 0 kinds 0 first 1 orphans 1 "
         "jumps 0 name 0 record 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SnapshotTree tree;
        EXPECT_EQ(diagnostics(decodeSnapshot(c.data, tree)), c.stats);
    }
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
        {"UTF-16 then 8-bit", bytes({9, 0, 0xFF, 0xFF, 'a', 0, 0, 0, 5, 1, 'b', 0}),
         "0 9 B a\n1 5 - b\n", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SnapshotTree tree;
        const LoadStats stats = decodeSnapshot(c.data, tree);
        EXPECT_EQ(dump(tree), c.tree);
        EXPECT_EQ(stats.truncatedName, c.truncatedName);
        EXPECT_EQ(stats.truncatedRecord, c.truncatedRecord);
        EXPECT_EQ(stats.wellFormed(), !c.truncatedName && !c.truncatedRecord);
    }
}

TEST(SnapshotFile, LevelsFrom256OnAreStoredAs255AndCounted) {
    for (const std::size_t levels : {256u, 257u, 301u}) {
        SnapshotTree tree;
        NodeId n = kTopLevel;
        for (std::size_t level = 0; level < levels; ++level) {
            n = tree.insertLast(n, u"d");
        }
        std::string encoded;
        const WriteResult result = encodeSnapshot(tree, encoded);
        EXPECT_EQ(result.deepRecords, levels - 256);
        EXPECT_EQ(result.records, levels);
        // Each record is kind, depth, 'd', 0.
        EXPECT_EQ(static_cast<unsigned char>(encoded[4 * 254 + 1]), 254u);
        EXPECT_EQ(static_cast<unsigned char>(encoded[4 * (levels - 1) + 1]), 255u);
    }
}

TEST(SnapshotFile, RandomTreesRoundTrip) {
    std::mt19937 rng(20261206);
    const std::u16string alphabet = u"ab \u00E9\u00FF\u03A9\u4E2D.";
    for (int round = 0; round < 200; ++round) {
        SnapshotTree tree;
        std::vector<NodeId> nodes;
        for (int i = static_cast<int>(rng() % 60); i > 0; --i) {
            const bool root = nodes.empty() || rng() % 7 == 0;
            const NodeId parent = root ? kTopLevel : nodes[rng() % nodes.size()];
            std::u16string text;
            for (unsigned k = rng() % 6; k > 0; --k) {
                text.push_back(alphabet[rng() % alphabet.size()]);
            }
            const NodeId n = tree.insertLast(parent, text);
            const int kind = root ? kKindDriveRoot : static_cast<int>(rng() % 12);
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

// A tree whose file is well over the writer's 1 MB buffer.
void buildBigTree(SnapshotTree& tree) {
    const NodeId root = tree.insertLast(kTopLevel, u"r");
    for (int i = 0; i < 30000; ++i) {
        tree.insertLast(root, u"a rather long file name to fill the disk.txt");
    }
}

TEST(SnapshotFile, SaveSyncsAndLoadGivesTheTreeBack) {
    TempDir dir;
    const mode_t oldMask = ::umask(022);
    SnapshotTree tree, big;
    buildWorkedExample(tree);
    buildBigTree(big);
    const std::string path = dir.file("backup.zelv"), bigPath = dir.file("big.zelv");
    const int syncs = SyncSeam::calls;
    const WriteResult written = writeSnapshotFile(tree, path);
    EXPECT_EQ(SyncSeam::calls, syncs + 1);
    EXPECT_TRUE(written.opened && written.ok);
    EXPECT_EQ(written.error, 0);
    EXPECT_EQ(readBytes(path), kWorkedExample);
    EXPECT_TRUE(writeSnapshotFile(big, bigPath).ok);
    std::string bigBytes;
    encodeSnapshot(big, bigBytes);
    EXPECT_EQ(readBytes(bigPath), bigBytes);
    // A new file gets the usual mode, and the process keeps its mask.
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(::umask(oldMask), 022u);

    SnapshotTree loaded;
    loaded.insertLast(kTopLevel, u"left over");
    const LoadStats stats = readSnapshotFile(path, loaded);
    EXPECT_TRUE(stats.opened);
    EXPECT_EQ(dump(loaded), dump(tree));
    EXPECT_EQ(readSnapshotFile(bigPath, loaded).records, 30001u);

    // An empty snapshot is a file of zero bytes, and loads as an empty tree.
    SnapshotTree empty;
    EXPECT_TRUE(writeSnapshotFile(empty, path).ok);
    EXPECT_EQ(readBytes(path), "");
    EXPECT_TRUE(readSnapshotFile(path, loaded).opened);
    EXPECT_TRUE(loaded.empty());
}

TEST(SnapshotFile, FailedWritesLeaveTheOldFileAndNoTemporaryFile) {
    enum class Fault { None, FullDisk, Sync };
    struct Case {
        const char* what;
        std::string name;
        Fault fault;
        bool opened;
        int error;
    };
    const Case cases[] = {
        {"missing folder", "no/such/dir.zelv", Fault::None, false, ENOENT},
        {"directory in the way", "folder.zelv", Fault::None, false, EISDIR},
        {"disk full", "keep.zelv", Fault::FullDisk, true, EFBIG},
        {"sync fails", "keep.zelv", Fault::Sync, true, EIO},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        ::mkdir(dir.file("folder.zelv").c_str(), 0755);
        writeBytes(dir.file("keep.zelv"), "old contents");
        SnapshotTree big;
        buildBigTree(big);
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = c.fault == Fault::FullDisk ? 4096 : old.rlim_cur;
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &small);
        SyncSeam::failWith = c.fault == Fault::Sync ? EIO : 0;
        const WriteResult result = writeSnapshotFile(big, dir.file(c.name));
        SyncSeam::failWith = 0;
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);
        EXPECT_EQ(result.opened, c.opened);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(readBytes(dir.file("keep.zelv")), "old contents");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
    }
}

TEST(SnapshotFile, ReadFailuresLeaveAnEmptyTree) {
    TempDir dir;
    ::mkdir(dir.file("folder.zelv").c_str(), 0755);
    // The process's own memory opens as a file whose first read fails.
    const std::pair<std::string, int> cases[] = {{dir.file("folder.zelv"), EISDIR},
                                                 {dir.file("absent.zelv"), ENOENT},
                                                 {"/proc/self/mem", EIO}};
    for (const auto& [name, error] : cases) {
        SnapshotTree tree;
        tree.insertLast(kTopLevel, u"left over");
        const LoadStats stats = readSnapshotFile(name, tree);
        EXPECT_FALSE(stats.opened);
        EXPECT_EQ(stats.error, error);
        EXPECT_TRUE(tree.empty());
    }
}

TEST(SnapshotFile, SavingThroughLinksUpdatesTheTargetAndKeepsItsMode) {
    TempDir dir;
    const std::string target = dir.file("real.zelv");
    ASSERT_EQ(::symlink("real.zelv", dir.file("relative.zelv").c_str()), 0);
    ASSERT_EQ(::symlink(target.c_str(), dir.file("absolute.zelv").c_str()), 0);
    ASSERT_EQ(::symlink("relative.zelv", dir.file("chain.zelv").c_str()), 0);
    SnapshotTree tree;
    buildWorkedExample(tree);
    for (const char* link : {"relative.zelv", "absolute.zelv", "chain.zelv"}) {
        SCOPED_TRACE(link);
        writeBytes(target, "x");
        ::chmod(target.c_str(), 0604);
        EXPECT_TRUE(writeSnapshotFile(tree, dir.file(link)).ok);
        struct stat st {};
        ASSERT_EQ(::lstat(dir.file(link).c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        EXPECT_EQ(readBytes(target), kWorkedExample);
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0604u);
    }
}

} // namespace
} // namespace zelvane
