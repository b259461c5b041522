#include "document/snapshot_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

#include "support/temp_dir.h"
#include "sync_seam.h"

namespace zelvane {
namespace {

using namespace std::string_literals;
using testing::AllocSeam;
using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

// The bytes of one record: kind, depth and the name in the 8-bit form, or the UTF-16 one.
std::string record(int kind, int depth, std::u16string_view name, bool wide = false) {
    std::string out{static_cast<char>(kind), static_cast<char>(depth)};
    out += wide ? "\xFF\xFF" : "";
    for (const char16_t u : name) {
        out += static_cast<char>(u & 0xFF);
        out += wide ? std::string(1, static_cast<char>(u >> 8)) : "";
    }
    return out + (wide ? "\0\0"s : "\0"s);
}

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

// The counters that are not zero and "ok" or "damaged", or the error of a failed load.
std::string diagnostics(const LoadStats& s) {
    if (!s.opened) {
        return "failed: "s + std::strerror(s.error);
    }
    const char* names[] = {"roots", "folders", "files",   "records", "deepest", "utf16", "long",
                           "kinds", "first",   "orphans", "jumps",   "name",    "record"};
    const std::size_t counts[] = {s.roots,           s.folders,       s.files,      s.records,
                                  s.deepestLevel,    s.utf16Records,  s.longNames,  s.kindsAbove11,
                                  s.firstRecordDeep, s.orphanRecords, s.depthJumps, s.truncatedName,
                                  s.truncatedRecord};
    std::string out;
    for (std::size_t i = 0; i < std::size(names); ++i) {
        out += counts[i] != 0 ? names[i] + " "s + std::to_string(counts[i]) + " " : "";
    }
    return out + (s.wellFormed() ? "ok" : "damaged");
}

// A root "Backup" holding the folder " Docs" with a.txt and Ω.mp3.
const std::string kExample = record(9, 0, u"Backup") + record(6, 1, u" Docs") +
                             record(5, 2, u"a.txt") + record(7, 2, u"Ω.mp3", true);
const std::string kExampleTree = "0 9 B Backup\n1 6 B  Docs\n2 5 - a.txt\n2 7 - <3a9>.mp3\n";

TEST(SnapshotFile, EveryFileLoadsWhatItHoldsAndWellFormedOnesAreWrittenBackAsTheyWere) {
    const std::u16string n1023(1023, 'n'), n1024(1024, 'n'), wide1024(1024, u'\x1234');
    std::string wideTree;
    for (int i = 0; i < 1024; ++i) {
        wideTree += "<1234>";
    }
    const auto r = [](int kind, int depth, auto name) { return record(kind, depth, name); };
    const struct {
        std::string data, tree, stats;
    } cases[] = {
        {"", "", "ok"},
        {kExample, kExampleTree, "roots 1 folders 1 files 2 records 4 deepest 2 utf16 1 ok"},
        // Up two levels, then one, and an empty name last.
        {r(9, 0, u"r") + r(6, 1, u"a") + r(6, 2, u"b") + r(5, 3, u"x") + r(5, 1, u"y") +
             r(9, 0, u"s") + r(5, 1, u""),
         "0 9 B r\n1 6 B a\n2 6 B b\n3 5 - x\n1 5 - y\n0 9 B s\n1 5 - \n",
         "roots 2 folders 2 files 3 records 7 deepest 3 ok"},
        // Each name form; two leading U+00FF (the marker) and non-text units go in UTF-16.
        {r(9, 0, u"r") + r(8, 1, u"caf\xE9") + r(8, 1, u"\xFF") + r(8, 1, u"q\xFF\xFF") +
             r(8, 1, u"\xFFq\xFF") + record(8, 1, u"x\x100", true) +
             record(8, 1, u"\xFFFF\xD800", true) + record(8, 1, u"\xFF\xFFz", true),
         "0 9 B r\n1 8 - caf<e9>\n1 8 - <ff>\n1 8 - q<ff><ff>\n1 8 - <ff>q<ff>\n1 8 - x<100>\n"
         "1 8 - <ffff><d800>\n1 8 - <ff><ff>z\n",
         "roots 1 files 7 records 8 deepest 1 utf16 3 ok"},
        {r(9, 0, n1023) + r(5, 1, n1024) + record(5, 1, wide1024, true),
         "0 9 B " + std::string(1023, 'n') + "\n1 5 - " + std::string(1024, 'n') + "\n1 5 - " +
             wideTree + "\n",
         "roots 1 files 2 records 3 deepest 1 utf16 1 long 2 ok"},
        {r(11, 0, u"r") + r(12, 1, u"x") + r(11, 1, u"y"), "0 11 B r\n1 12 - x\n1 11 - y\n",
         "roots 1 files 2 records 3 deepest 1 kinds 1 ok"},
        // A first record deeper than 0 is a root; the next goes under it.
        {r(5, 7, u"x") + r(5, 8, u"y"), "0 5 B x\n1 5 - y\n",
         "roots 1 files 1 records 2 deepest 8 first 1 damaged"},
        {r(5, 3, u"x") + r(5, 1, u"y"), "0 5 B x\n0 5 - y\n",
         "roots 1 files 1 records 2 deepest 3 first 1 orphans 1 damaged"},
        // An orphan goes to the top, a folder by kind 6; the next one as deep stays beside it.
        {r(9, 0, u"A") + r(6, 5, u" B") + r(5, 2, u"C") + r(6, 2, u" D"),
         "0 9 B A\n1 6 B  B\n0 5 - C\n0 6 B  D\n",
         "roots 1 folders 2 files 1 records 4 deepest 5 orphans 1 jumps 1 damaged"},
        // deep jumps under a, b goes beside it, c runs out of parents two up from a, f too.
        {r(9, 0, u"r") + r(6, 1, u"a") + r(5, 4, u"deep") + r(5, 4, u"b") + r(5, 2, u"c") +
             r(9, 0, u"d") + r(5, 3, u"e") + r(6, 1, u"f"),
         "0 9 B r\n1 6 B a\n2 5 - deep\n2 5 - b\n0 5 - c\n0 9 B d\n1 5 - e\n0 6 B f\n",
         "roots 2 folders 2 files 4 records 8 deepest 4 orphans 2 jumps 2 damaged"},
        // Cut short: after a kind byte, in or before a name of either form.
        {"\x09"s, "", "record 1 damaged"},
        {r(9, 0, u"r") + "\x05", "0 9 B r\n", "roots 1 records 1 record 1 damaged"},
        {"\x09\0"s, "0 9 B \n", "roots 1 records 1 name 1 damaged"},
        {"\x09\0ab"s, "0 9 B ab\n", "roots 1 records 1 name 1 damaged"},
        {"\x09\0\xFF"s, "0 9 B <ff>\n", "roots 1 records 1 name 1 damaged"},
        {"\x09\0\xFF\xFFx\0y"s, "0 9 B x\n", "roots 1 records 1 utf16 1 name 1 damaged"},
        {"\x09\0\xFF\xFF"s, "0 9 B \n", "roots 1 records 1 utf16 1 name 1 damaged"},
    };
    TempDir dir;
    const std::string file = dir.file("case.zelv");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tree.substr(0, 60));
        SnapshotTree tree;
        EXPECT_EQ(diagnostics(decodeSnapshot(c.data, tree)), c.stats);
        EXPECT_EQ(dump(tree), c.tree);
        EXPECT_EQ(diagnostics(countSnapshot(c.data)), c.stats);
        std::string encoded = "kept";
        const WriteResult written = encodeSnapshot(tree, encoded);
        EXPECT_TRUE(written.opened && written.ok && written.records == tree.size());
        if (c.stats.ends_with(" ok")) {
            EXPECT_EQ(encoded, "kept" + c.data);
        }
        // Through buffers of every small size: a record or a name cut anywhere by one.
        writeBytes(file, c.data);
        for (const std::size_t buffer : {0, 1, 2, 3, 5, 8, 1 << 20}) {
            SCOPED_TRACE(buffer);
            const ReadLimits limits{kMaxStreamBytes, buffer};
            SnapshotTree read;
            EXPECT_EQ(diagnostics(readSnapshotFile(file, read, limits)), c.stats);
            EXPECT_EQ(dump(read), c.tree);
            EXPECT_EQ(diagnostics(countSnapshotFile(file, limits)), c.stats);
        }
    }
}

// Beyond the platform's replacing of a file: big trees, refusals, hostile inputs.
TEST(SnapshotFile, WritesWholeFilesAndHostileFilesLoadNothing) {
    TempDir dir;
    SnapshotTree tree, big;
    decodeSnapshot(kExample, tree);
    const NodeId bigRoot = big.insertLast(kTopLevel, u"r"); // well over the writer's 1 MB buffer
    for (int i = 0; i < 30000; ++i) {
        big.insertLast(bigRoot, u"a rather long file name to fill the disk.txt");
    }
    EXPECT_EQ(writeSnapshotFile(big, dir.file("big.zelv")).records, 30001u);
    EXPECT_EQ(writeSnapshotFile(tree, dir.file("example.zelv")).records, 4u);
    std::string bigBytes;
    encodeSnapshot(big, bigBytes);
    EXPECT_EQ(readBytes(dir.file("big.zelv")), bigBytes);
    ::mkdir(dir.file("folder.zelv").c_str(), 0755);
    ::mkfifo(dir.file("fifo.zelv").c_str(), 0644);
    for (const auto& [path, error] : {std::pair(dir.file("folder.zelv"), EISDIR),
                                      {dir.file("fifo.zelv"), EEXIST},
                                      {"/dev/null", EEXIST}}) {
        const WriteResult refused = writeSnapshotFile(tree, path);
        EXPECT_EQ(std::tuple(refused.opened, refused.ok, refused.error),
                  std::tuple(false, false, error));
    }
    AllocSeam::largest = 1 << 19; // less than the writer's buffer
    const WriteResult starved = writeSnapshotFile(big, dir.file("big.zelv"));
    AllocSeam::largest = static_cast<std::size_t>(-1);
    EXPECT_EQ(std::tuple(starved.opened, starved.ok, starved.error),
              std::tuple(true, false, ENOMEM));
    EXPECT_EQ(readBytes(dir.file("big.zelv")), bigBytes);
    // A pipe holding a snapshot, its writer gone, loads like a file.
    int fed[2];
    ASSERT_EQ(::pipe(fed), 0);
    ASSERT_EQ(::write(fed[1], kExample.data(), kExample.size()),
              static_cast<ssize_t>(kExample.size()));
    ::close(fed[1]);
    const struct {
        std::string path;
        std::uint64_t streamBytes;
        long long allocations; // allowed before memory runs out, -1 for no limit
        std::string stats;
    } cases[] = {
        {dir.file("none.zelv"), kMaxStreamBytes, -1, "failed: No such file or directory"},
        {dir.file("folder.zelv"), kMaxStreamBytes, -1, "failed: Is a directory"},
        {"/proc/self/mem", kMaxStreamBytes, -1, "failed: Input/output error"},
        // A pipe without a writer is empty rather than waited for.
        {dir.file("fifo.zelv"), kMaxStreamBytes, -1, "ok"},
        {"/proc/self/fd/" + std::to_string(fed[0]), kMaxStreamBytes, -1,
         "roots 1 folders 1 files 2 records 4 deepest 2 utf16 1 ok"},
        // Endless input stops at the limit; a regular file is read whole past it.
        {"/dev/zero", 1 << 16, -1, "failed: File too large"},
        {dir.file("big.zelv"), 1 << 10, -1, "roots 1 files 30000 records 30001 deepest 1 ok"},
        {dir.file("big.zelv"), kMaxStreamBytes, 1, "failed: Cannot allocate memory"},
        {dir.file("example.zelv"), kMaxStreamBytes, 0, "failed: Cannot allocate memory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        for (const bool counting : {false, true}) {
            if (c.path.starts_with("/proc/self/fd/") && counting) {
                continue; // the pipe is read once
            }
            SnapshotTree tree;
            tree.insertLast(kTopLevel, u"left over");
            const ReadLimits limits{c.streamBytes};
            AllocSeam::allowed = c.allocations;
            const LoadStats stats = counting ? countSnapshotFile(c.path, limits)
                                             : readSnapshotFile(c.path, tree, limits);
            AllocSeam::allowed = -1;
            EXPECT_EQ(diagnostics(stats), c.stats);
            EXPECT_EQ(tree.size(), counting ? 1 : stats.records); // emptied, nothing half read
        }
    }
    ::close(fed[0]);
    SnapshotTree again; // after memory ran out
    EXPECT_TRUE(readSnapshotFile(dir.file("example.zelv"), again).opened);
    EXPECT_EQ(dump(again), kExampleTree);
}

} // namespace
} // namespace zelvane
