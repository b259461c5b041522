#include "document/snapshot_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

#include "support/temp_dir.h"
#include "sync_seam.h"

namespace zelvane {
namespace {

using namespace std::string_literals;
using testing::readBytes;
using testing::SyncSeam;
using testing::TempDir;
using testing::writeBytes;

// One line per node, "level kind bold text", with the code units above 0x7F in hex.
std::string dump(const SnapshotTree& tree) {
    std::ostringstream out;
    walkPreOrder(tree, [&](NodeId n, std::size_t level) {
        out << level << ' ' << tree.kind(n) << ' ' << (tree.isBold(n) ? 'B' : '-') << ' ';
        for (char16_t u : tree.text(n)) {
            u < 0x80 ? out << static_cast<char>(u)
                     : out << "<" << std::hex << static_cast<unsigned>(u) << std::dec << ">";
        }
        out << '\n';
    });
    return out.str();
}

// The counters of a load that are not zero, then whether the file is well formed.
std::string diagnostics(const LoadStats& s) {
    const std::pair<const char*, std::size_t> counters[] = {
        {"roots", s.roots},           {"folders", s.folders},      {"files", s.files},
        {"records", s.records},       {"deepest", s.deepestLevel}, {"utf16", s.utf16Records},
        {"long", s.longNames},        {"kinds", s.kindsAbove11},   {"first", s.firstRecordDeep},
        {"orphans", s.orphanRecords}, {"jumps", s.depthJumps},     {"name", s.truncatedName},
        {"record", s.truncatedRecord}};
    std::string out;
    for (const auto& [name, count] : counters) {
        out += count == 0 ? "" : name + (" " + std::to_string(count)) + " ";
    }
    return out + (s.wellFormed() ? "ok" : "damaged");
}

// A root "Backup" holding the folder " Docs" with a.txt and Ω.mp3.
const std::string kWorkedExample =
    "\x09\0Backup\0\x06\1 Docs\0\x05\2a.txt\0\x07\2\xFF\xFF\xA9\3.\0m\0p\0"
    "3\0\0\0"s;
const std::string kWorkedExampleTree = "0 9 B Backup\n1 6 B  Docs\n2 5 - a.txt\n2 7 - <3a9>.mp3\n";

// A tree whose file is well over the writer's 1 MB buffer.
void buildBigTree(SnapshotTree& tree) {
    const NodeId root = tree.insertLast(kTopLevel, u"r");
    for (int i = 0; i < 30000; ++i) {
        tree.insertLast(root, u"a rather long file name to fill the disk.txt");
    }
}

TEST(SnapshotFile, EveryFileLoadsWhatItHoldsAndWellFormedOnesAreWrittenBackAsTheyWere) {
    const std::string n1023(1023, 'n'), n1024(1024, 'n');
    std::string wide1024 = "\xFF\xFF", wideTree;
    for (int i = 0; i < 1024; ++i) {
        wide1024 += "\x34\x12";
        wideTree += "<1234>";
    }
    struct Case {
        std::string data, tree, stats;
    };
    const Case cases[] = {
        {"", "", "ok"},
        {kWorkedExample, kWorkedExampleTree,
         "roots 1 folders 1 files 2 records 4 deepest 2 utf16 1 ok"},
        // Up two levels, then one, and an empty name last.
        {"\x09\0r\0\x06\1a\0\x06\2b\0\x05\3x\0\x05\1y\0\x09\0s\0\x05\1\0"s,
         "0 9 B r\n1 6 B a\n2 6 B b\n3 5 - x\n1 5 - y\n0 9 B s\n1 5 - \n",
         "roots 2 folders 2 files 3 records 7 deepest 3 ok"},
        // Each name form; two leading U+00FF would look like the marker, so are UTF-16.
        {"\x09\0r\0\x08\1\0\x08\1caf\xE9\0\x08\1\xFF\0\x08\1q\xFF\xFF\0\x08\1\xFFq\xFF\0"
         "\x08\1\xFF\xFFx\0\0\1\0\0\x08\1\xFF\xFF\xFF\xFF\0\0\x08\1\xFF\xFF\xFF\0\xFF\0z\0\0\0"s,
         "0 9 B r\n1 8 - \n1 8 - caf<e9>\n1 8 - <ff>\n1 8 - q<ff><ff>\n1 8 - <ff>q<ff>\n"
         "1 8 - x<100>\n1 8 - <ffff>\n1 8 - <ff><ff>z\n",
         "roots 1 files 8 records 9 deepest 1 utf16 3 ok"},
        {"\x09\0"s + n1023 + "\0\x05\1"s + n1024 + "\0\x05\1"s + wide1024 + "\0\0"s,
         "0 9 B " + n1023 + "\n1 5 - " + n1024 + "\n1 5 - " + wideTree + "\n",
         "roots 1 files 2 records 3 deepest 1 utf16 1 long 2 ok"},
        {"\x0B\0r\0\x0C\1x\0\x0B\1y\0"s, "0 11 B r\n1 12 - x\n1 11 - y\n",
         "roots 1 files 2 records 3 deepest 1 kinds 1 damaged"},
        {"\x05\7x\0\x05\x08y\0"s, "0 5 B x\n1 5 - y\n",
         "roots 1 files 1 records 2 deepest 8 first 1 damaged"},
        {"\x05\3x\0\x05\1y\0"s, "0 5 B x\n0 5 B y\n",
         "roots 2 records 2 deepest 3 first 1 orphans 1 damaged"},
        // deep jumps under a, b goes beside it, c runs out of parents two up from a, f too.
        {"\x09\0r\0\x06\1a\0\x05\4deep\0\x05\4b\0\x05\2c\0\x09\0d\0\x05\3e\0\x06\1f\0"s,
         "0 9 B r\n1 6 B a\n2 5 - deep\n2 5 - b\n0 5 B c\n0 9 B d\n1 5 - e\n0 6 B f\n",
         "roots 4 folders 1 files 3 records 8 deepest 4 orphans 2 jumps 2 damaged"},
        {"\x09"s, "", "record 1 damaged"},
        {"\x09\0r\0\x05"s, "0 9 B r\n", "roots 1 records 1 record 1 damaged"},
        {"\x09\0"s, "0 9 B \n", "roots 1 records 1 name 1 damaged"},
        {"\x09\0ab"s, "0 9 B ab\n", "roots 1 records 1 name 1 damaged"},
        {"\x09\0\xFF"s, "0 9 B <ff>\n", "roots 1 records 1 name 1 damaged"},
        {"\x09\0\xFF\xFFx\0y"s, "0 9 B x\n", "roots 1 records 1 utf16 1 name 1 damaged"},
        {"\x09\0\xFF\xFF"s, "0 9 B \n", "roots 1 records 1 utf16 1 name 1 damaged"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tree.substr(0, 60));
        SnapshotTree tree;
        EXPECT_EQ(diagnostics(decodeSnapshot(c.data, tree)), c.stats);
        EXPECT_EQ(dump(tree), c.tree);
        std::string encoded = "kept";
        const WriteResult written = encodeSnapshot(tree, encoded);
        EXPECT_TRUE(written.ok && written.records == tree.size());
        if (c.stats.ends_with(" ok")) {
            EXPECT_EQ(encoded, "kept" + c.data);
        }
    }
}

TEST(SnapshotFile, SaveSyncsKeepsModesFollowsLinksAndLoadGivesTheTreeBack) {
    TempDir dir;
    const mode_t oldMask = ::umask(022);
    SnapshotTree tree, big, loaded;
    decodeSnapshot(kWorkedExample, tree);
    buildBigTree(big);
    const std::string path = dir.file("real.zelv"), bigPath = dir.file("big.zelv");
    const int syncs = SyncSeam::calls;
    const WriteResult written = writeSnapshotFile(tree, path);
    EXPECT_TRUE(SyncSeam::calls == syncs + 1 && written.opened && written.ok && !written.error);
    EXPECT_EQ(readBytes(path), kWorkedExample);
    EXPECT_EQ(writeSnapshotFile(big, bigPath).records, 30001u);
    std::string bigBytes;
    encodeSnapshot(big, bigBytes);
    EXPECT_EQ(readBytes(bigPath), bigBytes);
    // A new file gets the usual mode, and the process keeps its mask.
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(::umask(oldMask), 022u);
    loaded.insertLast(kTopLevel, u"left over");
    EXPECT_TRUE(readSnapshotFile(path, loaded).opened);
    EXPECT_EQ(dump(loaded), kWorkedExampleTree);
    EXPECT_EQ(readSnapshotFile(bigPath, loaded).records, 30001u);

    // Through a link the target is updated and keeps its mode.
    ASSERT_EQ(::symlink("real.zelv", dir.file("relative.zelv").c_str()), 0);
    ASSERT_EQ(::symlink(path.c_str(), dir.file("absolute.zelv").c_str()), 0);
    ASSERT_EQ(::symlink("relative.zelv", dir.file("chain.zelv").c_str()), 0);
    for (const char* link : {"relative.zelv", "absolute.zelv", "chain.zelv"}) {
        SCOPED_TRACE(link);
        writeBytes(path, "x");
        ::chmod(path.c_str(), 0604);
        EXPECT_TRUE(writeSnapshotFile(tree, dir.file(link)).ok);
        ASSERT_EQ(::lstat(dir.file(link).c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        EXPECT_EQ(readBytes(path), kWorkedExample);
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0604u);
    }
}

TEST(SnapshotFile, FailuresKeepTheOldFileAndLoadNothing) {
    struct Case {
        std::string name;
        rlim_t sizeLimit;
        int syncError;
        bool opened;
        int error, readError;
    };
    const Case cases[] = {{"no/such/dir.zelv", RLIM_INFINITY, 0, false, ENOENT, ENOENT},
                          {"folder.zelv", RLIM_INFINITY, 0, false, EISDIR, EISDIR},
                          {"keep.zelv", 4096, 0, true, EFBIG, 0},
                          {"keep.zelv", RLIM_INFINITY, EIO, true, EIO, 0}};
    SnapshotTree big;
    buildBigTree(big);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        TempDir dir;
        ::mkdir(dir.file("folder.zelv").c_str(), 0755);
        writeBytes(dir.file("keep.zelv"), "old contents");
        const rlimit small{std::min(c.sizeLimit, old.rlim_cur), old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &small);
        SyncSeam::failWith = c.syncError;
        const WriteResult result = writeSnapshotFile(big, dir.file(c.name));
        SyncSeam::failWith = 0;
        ::setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_EQ(std::tuple(result.opened, result.ok, result.error),
                  std::tuple(c.opened, false, c.error));
        EXPECT_EQ(readBytes(dir.file("keep.zelv")), "old contents");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
        SnapshotTree tree;
        tree.insertLast(kTopLevel, u"left over");
        const LoadStats stats = readSnapshotFile(dir.file(c.name), tree);
        EXPECT_EQ(std::tuple(stats.opened, stats.error, tree.empty()),
                  std::tuple(c.readError == 0, c.readError, c.readError != 0));
    }
    std::signal(SIGXFSZ, previous);
    // The process's own memory opens as a file whose first read fails.
    SnapshotTree tree;
    tree.insertLast(kTopLevel, u"left over");
    EXPECT_EQ(readSnapshotFile("/proc/self/mem", tree).error, EIO);
    EXPECT_TRUE(tree.empty());
}

} // namespace
} // namespace zelvane
