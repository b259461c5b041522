#include "capture/add_tree_command.h"
#include "capture/archive_lister.h"
#include "capture/classification.h"
#include "capture/directory_scanner.h"
#include "document/snapshot_file.h"

#include "support/test_common.h"

#include "support/scripted_ui.h"
#include "text/utf.h"

namespace zelvane {
namespace {

using namespace std::string_view_literals;

using testing::Lines;
using Nodes = std::set<std::string>;
using Reports = std::vector<std::pair<std::string, int>>;

// A tree with a root node "root" and a scripted double that keeps the folders reported
// unreadable; a scan goes below the root, the Add Tree command to the top level.
struct Scan : testing::ScriptedUi {
    SnapshotTree tree;
    ScanState state;
    DocumentState document;
    AddTreeInputs remembered{u"/old", u"mp3", u"Old title"};
    TextOrder order{""};
    AddTreeCommand command{tree, state, document, remembered, *this, *this, order};
    NodeId root = tree.insertLast(kTopLevel, u"root");
    std::uint64_t total = 0;
    Reports unreadable;
    SizeReader::Limits sizes;

    void folderUnreadable(std::string_view path, int error) override {
        unreadable.emplace_back(path, error);
    }
    void archiveUnreadable(std::string_view path, std::string_view reason) override {
        unreadable.emplace_back(std::string(path).append(": ").append(reason), 0);
    }
    void run(const std::string& path, std::u16string filter = u"*") {
        state.filter = std::move(filter);
        total =
            DirectoryScanner(tree, state, *this, {}, sizes).ScanDirectory(utf8ToUtf16(path), root);
    }
    // Every node below parent: "path of texts | kind", with " b" when bold.
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
    std::u16string texts(NodeId parent) const { // "a|b|"
        std::u16string out;
        for (NodeId c = tree.firstChild(parent); c != kNoNode; c = tree.nextSibling(c)) {
            out += std::u16string(tree.text(c)) + u"|";
        }
        return out;
    }
};

const std::string kAsked = R"(add tree "/old" | "Old title" | "mp3" -> )";

// Makes "name/" folders, "name=size" files and "name@target" links, in order.
void make(const test::TempTree& disk, std::initializer_list<std::string> entries) {
    for (const std::string& e : entries) {
        const std::size_t at = e.find_first_of("=@");
        e.back() == '/'           ? disk.dir(e)
        : at == std::string::npos ? disk.file(e)
        : e[at] == '='            ? disk.file(e.substr(0, at), std::stoull(e.substr(at + 1)))
                                  : disk.symlink(e.substr(0, at), e.substr(at + 1));
    }
}

std::string joined(const Lines& lines) { // one a line
    return std::accumulate(
        lines.begin(), lines.end(), std::string(),
        [](const std::string& all, const std::string& line) { return all + line + "\n"; });
}

std::size_t openDescriptors() {
    return static_cast<std::size_t>(
        std::ranges::distance(std::filesystem::directory_iterator("/proc/self/fd")));
}

TEST(Scanner, CapturesKindsSizesAndFilteredFilesWithoutFollowingLinksBelowTheRoot) {
    test::TempTree disk;
    make(disk,
         {"docs/", "docs/old/", "backup.zip/", "\xff\xfe/", "docs/old/letter.DOC=10",
          "AutoRun.INF=1", "README=4000", ".hidden=5368709120", "tab\tnew\nline.exe",
          "caf\xe9.txt=6", "\xff\xfe/\xc3\x28.zip=3", "Shortcut.lnk@docs", "to-hidden@.hidden"});
    const Nodes folders{" docs | 6 b", " docs/ old | 6 b", " backup.zip | 6 b", " \xff\xfe | 6 b"};
    Nodes all = folders, txt = folders;
    all.insert({" docs/ old/letter.DOC | 5", " \xff\xfe/\xc3\x28.zip | 2", "AutoRun.INF | 3",
                "README | 8", ".hidden | 8", "tab\tnew\nline.exe | 1", "caf\xe9.txt | 5",
                "Shortcut.lnk | 11", "to-hidden | 8"});
    txt.insert("caf\xe9.txt | 5");
    const std::tuple<const char*, std::u16string, Nodes, std::uint64_t, std::uint32_t,
                     std::uint32_t>
        cases[] = {// the root (followed when a link), filter, nodes, size, folders, files
                   {"", u"*", all, 10u + 1 + 4000 + 5368709120ull + 6 + 3, 4, 9},
                   {"", u"txt", txt, 6, 4, 1},
                   {"Shortcut.lnk", u"*", {" old | 6 b", " old/letter.DOC | 5"}, 10, 1, 1},
                   {"README", u"*", {}, 0, 0, 0},
                   {"missing", u"*", {}, 0, 0, 0}};
    for (const auto& [path, filter, nodes, total, folderCount, fileCount] : cases) {
        Scan scan;
        scan.run(disk.at(path), filter);
        EXPECT_EQ(scan.nodes(), nodes) << path;
        EXPECT_EQ(std::tuple(scan.total, scan.state.folders, scan.state.files, scan.unreadable),
                  std::tuple(total, folderCount, fileCount, Reports{}));
    }
}

TEST(Scanner, PumpsEveryEightItemsAndSetsTheProgressEvery128) {
    test::TempTree disk;
    disk.dir("sub");
    disk.manyFiles("sub", 299, "f");
    Scan scan;
    std::vector<std::size_t> late; // items found past the 8th, 16th, ... at each pump
    scan.onPump = [&](std::size_t) {
        late.push_back(scan.state.folders + scan.state.files - 8 * late.size());
    };
    scan.run(disk.path());
    EXPECT_EQ(late, std::vector<std::size_t>(37, 7));
    EXPECT_EQ(scan.transcript(),
              (Lines{R"(progress "Scanning...\n1 folder(s) and 126 file(s) found...")",
                     R"(progress "Scanning...\n1 folder(s) and 254 file(s) found...")"}));
}

// The stop finishes the current folder and every one above it; the same scanner scans
// again after it, and after a root it could not open.
TEST(Scanner, StopFinishesTheFoldersOpenAndTheScannerScansAgain) {
    test::TempTree disk;
    for (const std::string folder : {"a", "b", "c", "d"}) {
        disk.dir(folder);
        disk.dir(folder + "/in");
        disk.manyFiles(folder + "/in", 20, "f");
    }
    Scan scan;
    scan.stopAtPump(scan.state, 1); // inside the first "in"
    DirectoryScanner scanner(scan.tree, scan.state, scan);
    scan.state.filter = u"*";
    scanner.ScanDirectory(utf8ToUtf16(disk.path()), scan.root);
    EXPECT_TRUE(scan.state.stopRequested);
    EXPECT_EQ(std::pair(scan.state.folders, scan.state.files), std::pair(2u, 20u));
    const Nodes nodes = scan.nodes();
    ASSERT_EQ(nodes.size(), 22u);
    EXPECT_EQ(nodes.count(nodes.begin()->substr(0, 2) + "/ in | 6 b"), 1u); // in the same folder
    scan.state.stopRequested = false;
    EXPECT_EQ(scanner.ScanDirectory(utf8ToUtf16(disk.at("missing")), scan.root), 0u);
    scanner.ScanDirectory(utf8ToUtf16(disk.path()), scan.tree.insertLast(kTopLevel, u"again"));
    EXPECT_EQ(std::pair(scan.state.folders, scan.state.files), std::pair(2u + 8, 20u + 80));
}

// Past 64 levels the upper ones are closed and opened again as ".." of the level below or
// by name. In the second scan "d" is renamed, which ".." follows; in the third each chain's
// second level is moved out of it too, so that neither way leads back to "d"; in the fourth
// only that, so that "d" is opened again by name.
TEST(Scanner, DeepTreesKeep64LevelsOpenAndReopenTheOthersByNameOrReportThemGone) {
    test::TempTree disk;
    make(disk, {"d/", "d/e/"});
    disk.chain("d/e", 70, "a", "leaf.txt");
    disk.chain("d/e", 70, "b", "leaf.txt");
    for (const int moving : {0, 1, 3, 2}) {
        Scan scan;
        scan.sizes.thread = false; // its descriptors would be counted with the levels'
        const std::size_t before = openDescriptors();
        std::size_t most = 0;
        scan.onPump = [&](std::size_t) {
            most = std::max(most, openDescriptors());
            if (moving > 0 && scan.state.folders + scan.state.files == 71 &&
                !std::filesystem::exists(disk.at("moved")) &&
                !std::filesystem::exists(disk.at("away-a"))) {
                if (moving < 3) {
                    std::filesystem::rename(disk.at("d"), disk.at("moved"));
                }
                for (const char* chain : {"a", "b"}) {
                    if (moving >= 2) {
                        std::filesystem::rename(disk.at(moving == 2 ? "moved/e/" : "d/e/") + chain +
                                                    "/" + chain,
                                                disk.at("away-") + chain);
                    }
                }
            }
        };
        scan.run(disk.path());
        EXPECT_EQ(openDescriptors(), before);
        if (moving != 2) {
            if (moving == 1) {
                std::filesystem::rename(disk.at("moved"), disk.at("d"));
            }
            for (const char* chain : {"a", "b"}) {
                if (moving == 3) {
                    std::filesystem::rename(disk.at("away-") + chain,
                                            disk.at("d/e/") + chain + "/" + chain);
                }
            }
            EXPECT_EQ(
                std::tuple(most - before, scan.state.folders, scan.state.files, scan.unreadable),
                std::tuple(64u, moving == 3 ? 73u : 142u, moving == 3 ? 1u : 2u, Reports{}));
            continue; // (the fourth finds the second chain's first folder alone)
        }
        ASSERT_EQ(scan.unreadable.size(), 1u);
        const std::string second = scan.unreadable[0].first,
                          name = second.substr(second.size() - 1);
        EXPECT_TRUE(second == disk.at("d/e/a") || second == disk.at("d/e/b")) << second;
        EXPECT_EQ(scan.unreadable[0].second, EIO); // the cause is lost on the way down
        const Nodes nodes = scan.nodes();
        EXPECT_EQ(std::tuple(nodes.count(" d/ e/ " + name + " | 6 b"), nodes.size(),
                             scan.state.folders, scan.state.files),
                  std::tuple(1u, 74u, 73u, 1u));
    }
}

TEST(Scanner, RunningOutOfDescriptorsClosesUpperLevelsOrLeavesAFolderEmpty) {
    test::TempTree disk;
    disk.chain("", 3, "a", "leaf");
    make(disk, {"a/a/a/leaf=3", "z.txt=4"});
    Scan{}.run(disk.path()); // the sanitizer's dynamic type check of the size thread, too
    for (const std::size_t levels : {1, 2}) { // 1: nothing to close, "a" cannot be opened
        Scan scan;
        // A call while descriptors are left, for the sanitizer's dynamic type check.
        static_cast<ScanObserver&>(scan).folderUnreadable({}, 0);
        scan.unreadable.clear();
        std::vector<int> fds(levels + 1); // the limit that leaves room for levels more
        std::ranges::generate(fds, [] { return dup(0); });
        std::ranges::for_each(fds, ::close);
        rlimit saved{};
        getrlimit(RLIMIT_NOFILE, &saved);
        const rlimit lowered{static_cast<rlim_t>(fds.back()), saved.rlim_max};
        setrlimit(RLIMIT_NOFILE, &lowered);
        scan.run(disk.path());
        setrlimit(RLIMIT_NOFILE, &saved);
        const bool one = levels == 1;
        EXPECT_EQ(scan.nodes(), (one ? Nodes{" a | 6 b", "z.txt | 5"}
                                     : Nodes{" a | 6 b", " a/ a | 6 b", " a/ a/ a | 6 b",
                                             " a/ a/ a/leaf | 8", "z.txt | 5"}));
        EXPECT_EQ(std::pair(scan.total, scan.unreadable),
                  std::pair(std::uint64_t{one ? 4u : 7u},
                            (one ? Reports{{disk.at("a"), EMFILE}} : Reports{})));
    }
}

// Folders, files of random sizes and a link, the same for a seed.
void randomTree(const test::TempTree& disk, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::string> folders{""};
    for (std::size_t i = 0; i < folders.size() && folders.size() < 30; ++i) {
        for (auto n = random() % 5; n-- > 0;) {
            folders.push_back(folders[i] + "d" + std::to_string(folders.size()) + "/");
            disk.dir(folders.back());
        }
    }
    for (const std::string& folder : folders) {
        for (auto n = random() % 40; n-- > 0;) {
            disk.file(folder + "f" + std::to_string(n) + (n % 3 ? ".txt" : ".c"), random() % 9999);
        }
    }
    disk.symlink(folders.back() + "up", "..");
}

// The sizes asked on a second thread, within its limits of descriptors and name bytes, give
// the snapshot bytes, the transcript and the total of one thread, also after a stop; with a
// folder taken away at a pump, the same bytes and no more.
TEST(Scanner, ASecondThreadForTheSizesChangesNothingButTheTime) {
    const struct {
        std::size_t descriptors, bytes;
        bool stop, change;
    } cases[] = {{8, 1 << 20, false, false},
                 {1, 1 << 20, false, false},
                 {8, 20, false, false},
                 {2, 1 << 20, true, false},
                 {8, 1 << 20, false, true}};
    for (const unsigned seed : {1u, 2u, 3u, 4u}) {
        for (const auto& c : cases) {
            std::tuple<std::string, Lines, std::uint64_t, std::size_t> got[2];
            for (const bool threaded : {false, true}) {
                test::TempTree disk;
                randomTree(disk, seed);
                Scan scan;
                scan.sizes = {c.descriptors, c.bytes, threaded};
                const std::size_t before = openDescriptors();
                auto& [bytes, lines, total, most] = got[threaded];
                scan.onPump = [&](std::size_t pump) {
                    most = std::max(most, openDescriptors() - before);
                    if (pump == 2 + seed * 3) {
                        c.stop ? OnStopScan(scan.state) : void();
                        c.change ? void(std::filesystem::remove_all(disk.at("d1"))) : void();
                    }
                };
                scan.run(disk.path());
                EXPECT_EQ(openDescriptors(), before);
                encodeSnapshot(scan.tree, bytes);
                std::tie(lines, total) = std::tuple(scan.transcript(), scan.total);
            }
            EXPECT_EQ(std::tie(std::get<0>(got[0]), std::get<1>(got[0])),
                      std::tie(std::get<0>(got[1]), std::get<1>(got[1])));
            EXPECT_TRUE(c.change ? std::get<2>(got[1]) <= std::get<2>(got[0])
                                 : std::get<2>(got[1]) == std::get<2>(got[0]));
            EXPECT_LE(std::get<3>(got[1]), std::get<3>(got[0]) + c.descriptors);
        }
    }
}

// The Add Tree command: each case a dialog's title ("cancel": cancelled) and filter, then a
// fault: "stop" at the first pump, "oom" in the scan, "sort" before the sort, or "/name": a
// path below the folder that does not open (the errno is seen in the box's reason).
TEST(AddTreeCommand, CapturesSortsAndReportsTheTreeOrTakesItAwayWhenMemoryRunsOut) {
    test::TempTree disk;
    make(disk, {"sub/", "sub/inner.txt=1000", "B.txt=5", "a.txt=999000", "skip.bak=7"});
    disk.manyFiles("sub", 20, "f");
    const std::u16string path = utf8ToUtf16(disk.path());
    const auto io = [](const std::u16string& at, int error) {
        return "message " + testing::inQuotes(at + u"\n" + utf8ToUtf16(std::strerror(error))) +
               R"( | "I/O ERROR" | Exclamation | Ok -> Ok)" + "\n";
    };
    const std::string scan = "scanning on\nphase scanning\nprogress \"Scanning...\"\n",
                      lost = io(path, ENOMEM),
                      sorted = scan + "phase sorting\nprogress \"Sorting...\"\nscanning off\n"
                                      "message \"1 folder(s) & ",
                      full = sorted + "3 file(s) successfuly added.\\nTotal size is 1 000 005 "
                                      "byte(s)\" | \"Information\" | Information | Ok -> Ok\n";
    const std::tuple<std::u16string, std::u16string, const char*, std::string> cases[] = {
        {u"", u"txt", "", full},
        {u"\tMy disk", u"txt", "", full},
        {u"_t", u"*", "stop",
         sorted +
             "24 file(s) successfuly added.\\nTotal size is 1 000 012 byte(s)\\n\\nNote: "
             "Scanning process was interrupted.\" | \"Information\" | Information | Ok -> Ok\n"},
        {u"", u"*", "oom", scan + "scanning off\n" + lost},
        {u"", u"*", "sort", scan + "phase sorting\nscanning off\n" + lost},
        {u"", u"*", "/none", io(path + u"/none", ENOENT)},
        {u"", u"*", "/B.txt", io(path + u"/B.txt", ENOTDIR)},
        {u"cancel", u"", "", ""}};
    for (const auto& [title, filter, fault, ending] : cases) {
        const std::string_view f = fault;
        const bool refused = f.starts_with('/'), cancel = title == u"cancel",
                   kept = cancel || refused || f == "oom" || f == "sort";
        const std::u16string at = path + (refused ? utf8ToUtf16(f) : u"");
        Scan t;
        t.tree.insertLast(kTopLevel, u"a");
        SortTree(t.tree, t.order);
        t.state.folders = 55; // left from an earlier capture
        t.document.modified = f == "sort";
        cancel ? t.cancelAddTree() : t.addTree({at, title, filter});
        t.onPump = [&](std::size_t pump) {
            return f == "oom" && pump == 2 ? throw std::bad_alloc() : void();
        };
        t.onPhase = [&](ScanPhase phase) {
            return f == "sort" && phase == ScanPhase::Sorting ? throw std::length_error("arena")
                                                              : void();
        };
        f == "stop" ? t.stopAtPump(t.state, 1) : void();
        const std::optional<CaptureOutcome> outcome = t.command.OnAddTree();
        EXPECT_EQ(joined(t.transcript()),
                  kAsked +
                      (cancel ? "cancel\n"
                              : "ok " + testing::inQuotes(at) + " | " + testing::inQuotes(title) +
                                    " | " + testing::inQuotes(filter) + "\n") +
                      ending);
        const std::u16string added = kept ? u"" : (title.empty() ? path : title) + u"|";
        EXPECT_EQ(std::tuple(outcome ? int{outcome->error != 0} : -1, t.texts(kTopLevel),
                             t.tree.inOrder(), t.document.modified, t.remembered),
                  std::tuple(cancel ? -1 : int{kept}, added + u"a|root|", true,
                             !kept || f == "sort",
                             cancel ? AddTreeInputs{u"/old", u"mp3", u"Old title"}
                                    : AddTreeInputs{at, filter, title}));
        if (kept || !outcome) { // the snapshot and flag stay
            EXPECT_EQ(t.tree.size(), 2u);
            continue;
        }
        EXPECT_EQ(std::tuple(outcome->stopped, t.tree.isBold(outcome->root),
                             t.tree.kind(outcome->root), t.texts(outcome->root).substr(0, 5)),
                  std::tuple(f == "stop", true, kKindDriveRoot, u" sub|"));
    }
}

TEST(AddTreeCommand, DialogFieldsAreCutAndAChosenFolderLosesItsTrailingSlash) {
    AddTreeDialog dialog;
    acceptAddTreeDialog(dialog, std::u16string(300, u'p'),
                        std::u16string(248, u'a') + u"\U0001F600", u" * ");
    EXPECT_TRUE(dialog.accepted);
    EXPECT_EQ(dialog.fields,
              (AddTreeInputs{std::u16string(249, u'p'), u" * ", std::u16string(248, u'a')}));
    EXPECT_EQ(chosenFolderPath(u"/") + u"|" + chosenFolderPath(u"//") + u"|" +
                  chosenFolderPath(u"/a/") + u"|" + chosenFolderPath(u"/a//") + u"|" +
                  chosenFolderPath(u""),
              u"/|/|/a|/a/|");
}

TEST(Classification, KindOfAFileNameAsTheScannerSplitsItAndFilters) {
    // The names split at '|'.
    const std::pair<int, std::u16string_view> cases[] = {
        {kKindAutorun, u"autorun.inf|AutoRun.INF"},
        {kKindDocument, u"x.autorun.inf|autorun.inf.txt|autorunx.inf|autorun.ini|.inf|a.doc|x.c|"
                        u"x.htm|app.Manifest"}, // .MANIFEST: the longest extension
        {kKindSnapshotDocument, u"a.zelv|A.ZeLv"},
        {kKindShortcut, u"x.lnk|x.URL"},
        {kKindSystem, u"a.dll|a.Fnt"},
        {kKindProgram, u"a.exe|a.pif|averyveryverylongbasename.exe"},
        {kKindArchive, u"a.rar|archive.tar.GZ|a.7z|a.bz2"},
        {kKindMedia, u"a.mp2|a.JPEG|a.ani"},
        {kKindOther, u"autorun|x.cc|x.htmlx|app.manifests|README||trailing.|.hidden|x.\u0131nf|"
                     u"x.\u00e9xe|x.\u0145xe|x.abcdefghijklmnop"}}; // only a-z fold
    for (const auto& [kind, names] : cases) {
        for (std::size_t at = 0, end = 0; at <= names.size(); at = end + 1) {
            end = std::min(names.find(u'|', at), names.size());
            const NameParts parts = splitExtension(names.substr(at, end - at));
            EXPECT_EQ(classifyFile(parts.base, parts.extension), kind) << at << " " << kind;
        }
    }
    // A filter is "*" or an exact extension.
    const struct {
        std::u16string_view filter, extension;
        bool passes;
    } filters[] = {{u"*", u"", true},    {u"txt", u".txt", true}, {u"txt", u".TXT", false},
                   {u"txt", u"", false}, {u"tx", u".txt", false}, {u"*.txt", u".txt", false},
                   {u"", u"", false},    {u"", u".", true},       {u".txt", u".txt", false}};
    for (const auto& c : filters) {
        EXPECT_EQ(passesFilter(c.filter, c.extension), c.passes) << utf16ToUtf8(c.extension);
    }
}

// An uncompressed tar of empty files with these names (with the old format's magic: none).
std::string tarOf(std::initializer_list<std::string_view> names,
                  std::string_view magic = "ustar  ") {
    std::string out;
    for (std::string_view name : names) {
        std::string head(512, '\0');
        for (const auto& [at, text] : {std::pair<std::size_t, std::string_view>{0, name},
                                       {100, "0000644"},
                                       {124, "0"},
                                       {136, "0"},
                                       {156, "0"},
                                       {257, magic},
                                       {148, "        "}}) {
            head.replace(at, text.size(), text);
        }
        char sum[8];
        std::snprintf(sum, sizeof sum, "%06o",
                      std::accumulate(head.begin(), head.end(), 0u, [](unsigned a, char c) {
                          return a + static_cast<unsigned char>(c);
                      }));
        out += head.replace(148, 7, sum, 7);
    }
    return out.append(1024, '\0');
}

TEST(ArchiveLister, KnowsArchivesByTheirFirstBytesAndStopsAtItsBoundsSayingWhy) {
    const std::string tar = tarOf({"a", "b/c", "d"}), oldTar = tarOf({"a", "b"}, "");
    const struct {
        std::string head, disc;
        bool archive;
    } heads[] = {{"PK\3\4", "", true},
                 {"PK\3", "", false},
                 {"xx-lh5-", "", true},
                 {"x-lh5-", "", false},
                 {"", "CD001", true},
                 {"", "BEA01", true},
                 {"text", "CD002", false},
                 {tar, "", true},
                 {oldTar, "", true},
                 {"b" + oldTar.substr(1), "", false},
                 {std::string(257, 'x') + "ustar", "", true},
                 {std::string(512, '\0'), "", false}};
    for (const auto& c : heads) {
        EXPECT_EQ(mayBeArchive(c.head, c.disc), c.archive) << c.head.substr(0, 8);
    }
    // Every signature at its place, and one byte later.
    for (std::string_view head :
         {"PK\5\6"sv, "PK\7\x08"sv, "Rar!\x1A\x07"sv, "MSCF"sv, "!<arch>\n"sv, "\xED\xAB\xEE\xDB"sv,
          "xar!"sv, "WARC/"sv, "070701"sv, "\xC7\x71"sv, "\x71\xC7"sv, "xx-lz4-"sv, "\x1F\x9D"sv,
          "BZh"sv,
          "\xFD"
          "7zXZ"sv,
          "\x5D\x00\x00"sv, "LZIP"sv, "\x28\xB5\x2F\xFD"sv, "\x04\x22\x4D\x18"sv}) {
        EXPECT_TRUE(mayBeArchive(head, ""));
        EXPECT_FALSE(mayBeArchive(" " + std::string(head), "")) << head;
    }
    ArchiveLimits few, late;
    few.members = 2;
    late.time = std::chrono::milliseconds(-1);
    const struct {
        ArchiveLimits limits;
        std::size_t added;
        std::string reason;
    } cases[] = {{{}, 4, ""},
                 {few, 3, "listing stopped after 2 members"},
                 {late, 0, "listing stopped after 0 s"}};
    const test::TempTree disk;
    const std::string path = disk.path() + "/t.tar";
    std::ofstream(path, std::ios::binary) << tar;
    for (const auto& c : cases) {
        Scan scan;
        const int fd = ::open(path.c_str(), O_RDONLY);
        ArchiveLister lister(scan.tree, scan.state, scan, c.limits, [](auto) { return true; });
        EXPECT_EQ(lister.listFile(fd, tar.size(), scan.root, "t.tar"), c.added);
        const Reports told = {{"t.tar: " + c.reason, 0}};
        EXPECT_EQ(scan.unreadable, c.reason.empty() ? Reports{} : told);
        ::close(fd);
    }
}

} // namespace
} // namespace zelvane
