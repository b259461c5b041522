#include "document/snapshot_file.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

#include "document/document.h"
#include "document/document_commands.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "sync_seam.h"
#include "text/utf.h"

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
    const std::pair<const char*, std::size_t> counts[] = {
        {"roots", s.roots},           {"folders", s.folders},      {"files", s.files},
        {"records", s.records},       {"deepest", s.deepestLevel}, {"utf16", s.utf16Records},
        {"long", s.longNames},        {"kinds", s.kindsAbove11},   {"first", s.firstRecordDeep},
        {"orphans", s.orphanRecords}, {"jumps", s.depthJumps},     {"name", s.truncatedName},
        {"record", s.truncatedRecord}};
    std::string out;
    for (const auto& [name, count] : counts) {
        out += count != 0 ? name + " "s + std::to_string(count) + " " : "";
    }
    return out + (s.wellFormed() ? "ok" : "damaged");
}

// A root "Backup" holding the folder " Docs" with a.txt and Ω.mp3.
const std::string kExample = record(9, 0, u"Backup") + record(6, 1, u" Docs") +
                             record(5, 2, u"a.txt") + record(7, 2, u"Ω.mp3", true);
const std::string kExampleTree = "0 9 B Backup\n1 6 B  Docs\n2 5 - a.txt\n2 7 - <3a9>.mp3\n";

TEST(SnapshotFile, EveryFileLoadsWhatItHoldsAndWellFormedOnesAreWrittenBackAsTheyWere) {
    const std::u16string n1023(1023, 'n'), n1024(1024, 'n');
    const auto r = [](int kind, int depth, auto name) { return record(kind, depth, name); };
    const std::tuple<std::string, std::string, std::string> cases[] = {
        // data, tree, stats
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
        {r(9, 0, n1023) + r(5, 1, n1024) + record(5, 1, n1023 + u"\x100", true),
         "0 9 B " + std::string(1023, 'n') + "\n1 5 - " + std::string(1024, 'n') + "\n1 5 - " +
             std::string(1023, 'n') + "<100>\n",
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
    for (const auto& [data, want, stats] : cases) {
        SCOPED_TRACE(want.substr(0, 60));
        SnapshotTree tree;
        EXPECT_EQ(diagnostics(decodeSnapshot(data, tree)), stats);
        EXPECT_EQ(dump(tree), want);
        EXPECT_EQ(diagnostics(countSnapshot(data)), stats);
        std::string encoded = "kept";
        const WriteResult written = encodeSnapshot(tree, encoded);
        EXPECT_TRUE(written.opened && written.ok && written.records == tree.size());
        EXPECT_EQ(stats.ends_with(" ok") ? encoded : "kept" + data, "kept" + data);
        // Through buffers of every small size: a record or a name cut anywhere by one.
        writeBytes(file, data);
        for (const std::size_t buffer : {0, 1, 2, 3, 5, 8, 1 << 20}) {
            SCOPED_TRACE(buffer);
            const ReadLimits limits{kMaxStreamBytes, buffer};
            SnapshotTree read;
            EXPECT_EQ(diagnostics(readSnapshotFile(file, read, limits)), stats);
            EXPECT_EQ(dump(read), want);
            EXPECT_EQ(diagnostics(countSnapshotFile(file, limits)), stats);
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
    // Path, stream limit, allocations allowed before memory runs out (-1 no limit), stats.
    const std::tuple<std::string, std::uint64_t, long long, std::string> cases[] = {
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
    for (const auto& [path, streamBytes, allocations, want] : cases) {
        SCOPED_TRACE(path);
        const int passes = path.starts_with("/proc/self/fd/") ? 1 : 2; // the pipe is read once
        for (int counting = 0; counting < passes; ++counting) {
            SnapshotTree tree;
            tree.insertLast(kTopLevel, u"left over");
            const ReadLimits limits{streamBytes};
            AllocSeam::allowed = allocations;
            const LoadStats stats =
                counting ? countSnapshotFile(path, limits) : readSnapshotFile(path, tree, limits);
            AllocSeam::allowed = -1;
            EXPECT_EQ(diagnostics(stats), want);
            EXPECT_EQ(tree.size(), counting ? 1 : stats.records); // emptied, nothing half read
        }
    }
    ::close(fed[0]);
    SnapshotTree again; // after memory ran out
    EXPECT_TRUE(readSnapshotFile(dir.file("example.zelv"), again).opened);
    EXPECT_EQ(dump(again), kExampleTree);
}

using testing::SyncSeam;

const std::string kArchiveBytes = record(9, 0, u"Empty") + kExample; // two roots
const std::string kArchive = "Архив-Ω.zelv";

// "@" stands for the example's name, "~" for the name of a snapshot never saved.
std::string named(std::string text) {
    for (std::size_t at; (at = text.find_first_of("@~")) != std::string::npos;) {
        text.replace(at, 1, text[at] == '@' ? kArchive : "Untitled.zelv");
    }
    return text;
}
std::vector<std::string> words(const std::string& text, char separator = ' ') {
    std::vector<std::string> out;
    std::istringstream in(named(text));
    for (std::string word; std::getline(in >> std::ws, word, separator);) {
        out.push_back(word.substr(0, word.find_last_not_of(' ') + 1));
    }
    return out;
}

// A transcript line from its code (open, save, ask, caption, io, deep, loaded) or as it is.
std::string line(const std::string& code) {
    std::vector<std::string> w = words(code);
    w.resize(5);
    const auto q = [](const std::string& t) {
        return t == "cancel" ? t : "\"" + (t == "-" ? "" : t) + "\"";
    };
    const std::string filters =
        R"x( | "Zelvane Files (*.zelv)" "*.zelv" "All Files (*.*)" "*.*" | "zelv")x";
    const std::map<std::string, std::string> lines{
        {"open", R"(open dialog "*.zelv")" + filters + " must exist -> " + q(w[1])},
        {"save", "save dialog " + q(w[1]) + filters + " overwrite prompt -> " + q(w[2])},
        {"ask", R"(message "Save changes ?" | "zelvane-test" | Question | YesNo -> )" + w[1]},
        {"caption", "caption " + q(w[1].empty() ? "Zelvane" : w[1] + " - Zelvane")},
        {"io", "message " + q(w[1]) + R"( | "I/O ERROR" | Exclamation | Ok -> Ok)"},
        {"deep", R"(message "DEEP OVERFLOW ERROR!\nMAX DEEP LEVEL IS 255.\n\nFILE WILL BE )"
                 R"(SAVED WITH ERRORS!" | "zelvane-test" | NoIcon | Ok -> Ok)"},
        {"loaded", "message \"" + w[1] + R"( successfuly opened.\n\nRoots:\t)" + w[2] +
                       R"(\nFolders:\t)" + w[3] + R"(\nFiles:\t)" + w[4] +
                       R"(" | "Information" | Information | Ok -> Ok)"}};
    return lines.contains(w[0]) ? lines.at(w[0]) : code;
}

// "start # script # commands # all did their work # transcript # end". start: [title] ["+"
// three unsaved nodes | N a chain of N folders]; "-" an empty file name; end: "nodes | title |
// path[ | modified]", then "; file size" for each file made.
const char* const kFlows[] = {
    "a.zelv + # cancel # Open # no # open cancel # 3 | a.zelv | a.zelv | modified",
    "+ # @ No # Open # yes # open @; ask No; caption @; loaded @ 2 1 2 # 5 | @ | @",
    "+ # bad.zelv Yes mine.zelv # Open # yes # open bad.zelv; ask Yes; save ~ mine.zelv; caption "
    "mine.zelv; caption bad.zelv; loaded bad.zelv 1 1 0 # 2 | bad.zelv | bad.zelv; mine.zelv 27",
    " # # cmdline= # no # # 0 | ~ |",
    // No question, and an unreadable file leaves its name on an empty snapshot.
    "+ # # cmdline=nodir/a.b.zelv # no # caption a.b.zelv; io nodir/a.b.zelv # 0 | a.b.zelv | "
    "nodir/a.b.zelv",
    " # # cmdline=./@ # yes # caption @; loaded @ 2 1 2 # 5 | @ | ./@",
    " # a.zelv # Save # yes # save ~ a.zelv; caption a.zelv # 0 | a.zelv | a.zelv; a.zelv 0",
    // A failed Save As takes the name but not the caption or the flag.
    "a.zelv + # nodir/x.zelv # SaveAs # no # save a.zelv nodir/x.zelv; io nodir/x.zelv # 3 | "
    "x.zelv | nodir/x.zelv | modified",
    "a.zelv + # - # SaveAs # no # save a.zelv -; io - # 3 |  |  | modified",
    "a.zelv + # ~ ~ # SaveAs Save # yes # save a.zelv ~; caption ~; save ~ ~; caption ~ # 3 | ~ | "
    "~; ~ 27",
    "p.zelv + # # Save # no # io p.zelv # 3 | p.zelv | p.zelv | modified",
    "p.zelv + # # Load # yes # caption p.zelv; loaded p.zelv 0 0 0 # 0 | p.zelv | p.zelv",
    "bad.zelv + # # nomemory Load # no # caption bad.zelv; io bad.zelv # 0 | bad.zelv | bad.zelv",
    "d.zelv 256 # # Save # yes # caption d.zelv # 256 | d.zelv | d.zelv; d.zelv 1024",
    "d.zelv 257 # # Save # yes # caption d.zelv; deep # 257 | d.zelv | d.zelv; d.zelv 1028",
    "d.zelv 300 # # Save # yes # caption d.zelv; deep # 300 | d.zelv | d.zelv; d.zelv 1200",
    "a.zelv # # New # yes # caption # 0 | ~ |",
    "f.zelv + # Yes # nosync New # no # ask Yes; caption f.zelv; io f.zelv # 3 | f.zelv | f.zelv | "
    "modified",
    " # # Exit # yes # settings saved; end 0 # 0 | ~ |",
    "f.zelv + # Yes # Exit # yes # ask Yes; caption f.zelv; settings saved; end 0 # 3 | f.zelv | "
    "f.zelv; f.zelv 27",
    "+ # Yes cancel # Exit # no # ask Yes; save ~ cancel # 3 | ~ |  | modified",
};

class DocumentFlow : public ::testing::TestWithParam<const char*> {};

TEST_P(DocumentFlow, Runs) {
    const std::vector<std::string> flow = words(GetParam(), '#');
    const std::filesystem::path home = std::filesystem::current_path();
    testing::TempDir dir;
    std::filesystem::current_path(dir.path());
    testing::writeBytes(kArchive, kArchiveBytes);
    testing::writeBytes("bad.zelv", std::string("\x09\0R\0\x06\1cut", 8));
    ::mkfifo("p.zelv", 0644);
    testing::ScriptedUi ui;
    Document document{ui, u"zelvane-test", [&] { ui.note("settings saved"); }};
    SnapshotTree& tree = document.tree();
    const std::u16string plus[] = {u"Disk", u" Music", u"song.mp3"};
    for (const std::string& word : words(flow[0])) {
        const bool chain = word == "+" || std::isdigit(static_cast<unsigned char>(word[0]));
        for (NodeId n = kTopLevel; chain && tree.size() < (word == "+" ? 3 : std::stoul(word));) {
            n = tree.insertLast(n, word == "+" ? plus[tree.size()] : u"d");
        }
        document.state() =
            chain ? document.state() : DocumentState{utf8ToUtf16(word), utf8ToUtf16(word)};
    }
    document.state().modified = !tree.empty(); // whatever the flow starts with is not saved
    for (const std::string& word : words(flow[1])) {
        word == "Yes" || word == "No"
            ? ui.answer(word == "Yes" ? MessageAnswer::Yes : MessageAnswer::No)
        : word == "cancel" ? ui.cancelFile()
                           : ui.choose(utf8ToUtf16(word == "-" ? "" : word));
    }
    const std::map<std::string, bool (Document::*)()> commands{
        {"New", &Document::OnFileNew},   {"Open", &Document::OnFileOpen},
        {"Save", &Document::OnFileSave}, {"SaveAs", &Document::OnFileSaveAs},
        {"Exit", &Document::OnFileExit}, {"Load", &Document::LoadSnapshot}};
    bool result = true;
    for (const std::string& word : words(flow[2])) {
        if (word == "nosync" || word == "nomemory") {
            (word == "nosync" ? SyncSeam::failWith = EIO : AllocSeam::largest = 1 << 16);
        } else if (word.starts_with("cmdline=")) {
            result = document.OpenFromCommandLine(utf8ToUtf16(word.substr(8))) && result;
        } else {
            result = (document.*commands.at(word))() && result;
        }
    }
    SyncSeam::failWith = 0;
    AllocSeam::largest = static_cast<std::size_t>(-1);
    EXPECT_EQ(result, flow[3] == "yes");
    testing::Lines expected;
    for (const std::string& code : words(flow[4], ';')) {
        expected.push_back(line(code));
    }
    EXPECT_EQ(ui.transcript(), expected);
    const DocumentState& state = document.state();
    std::string end = std::to_string(tree.size()) + " | " +
                      utf16ToUtf8(state.title + u" | " + state.path) +
                      (state.modified ? " | modified" : "");
    const std::set<std::string> fixtures{kArchive + " 49", "bad.zelv 8", "p.zelv pipe"};
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string file = entry.path().filename().string() + " " +
                                 (entry.is_fifo() ? "pipe" : std::to_string(entry.file_size()));
        end += fixtures.contains(file) ? "" : "; " + file;
    }
    end.erase(end.find_last_not_of(' ') + 1);
    EXPECT_EQ(end, flow[5]);
    std::filesystem::current_path(home);
}

INSTANTIATE_TEST_SUITE_P(File, DocumentFlow, ::testing::ValuesIn(kFlows));

// Each row is the path with "|" between its parts.
TEST(SplitPathTest, DirectoryBaseAndExtension) {
    for (const std::u16string split : {u"a/b.c/|file|", u"|archive.tar|.zelv", u"/dir/||",
                                       u"||.hidden", u"|back\\slash|.zelv"}) {
        std::u16string path = split;
        std::erase(path, u'|');
        const PathParts p = splitPath(path);
        EXPECT_EQ(p.dir + u"|" + p.base + u"|" + p.ext, split) << utf16ToUtf8(path);
    }
}

} // namespace
} // namespace zelvane
