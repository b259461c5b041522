#include "document/snapshot_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>

#include "support/temp_dir.h"
#include "sync_seam.h"

namespace zelvane {
namespace {

using namespace std::string_literals;
using testing::AllocSeam;
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

// The counters of a load that are not zero, then whether the file is well formed, or the
// error of a load that failed.
std::string diagnostics(const LoadStats& s) {
    if (!s.opened) {
        return "failed: "s + std::strerror(s.error);
    }
    const std::pair<const char*, std::size_t> counters[] = {
        {"roots", s.roots},
        {"folders", s.folders},
        {"files", s.files},
        {"records", s.records},
        {"deepest", s.deepestLevel},
        {"utf16", s.utf16Records},
        {"long", s.longNames},
        {"kinds", s.kindsAbove11},
        {"first", s.firstRecordDeep},
        {"orphans", s.orphanRecords},
        {"jumps", s.depthJumps},
        {"name", s.truncatedName},
        {"record", s.truncatedRecord},
        {"error", static_cast<std::size_t>(s.error)}};
    std::string out;
    for (const auto& [name, count] : counters) {
        if (count != 0) {
            out.append(name).append(" ").append(std::to_string(count)).append(" ");
        }
    }
    return out + (s.wellFormed() ? "ok" : "damaged");
}

// A root "Backup" holding the folder " Docs" with a.txt and Ω.mp3.
const std::string kWorkedExample =
    "\x09\0Backup\0\x06\1 Docs\0\x05\2a.txt\0\x07\2\xFF\xFF\xA9\3.\0m\0p\0"
    "3\0\0\0"s;
const std::string kWorkedExampleTree = "0 9 B Backup\n1 6 B  Docs\n2 5 - a.txt\n2 7 - <3a9>.mp3\n";

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
         "roots 1 files 2 records 3 deepest 1 kinds 1 ok"},
        // A first record deeper than 0 is a root; the next goes under it.
        {"\x05\7x\0\x05\x08y\0"s, "0 5 B x\n1 5 - y\n",
         "roots 1 files 1 records 2 deepest 8 first 1 damaged"},
        {"\x05\3x\0\x05\1y\0"s, "0 5 B x\n0 5 - y\n",
         "roots 1 files 1 records 2 deepest 3 first 1 orphans 1 damaged"},
        // A node that runs out of parents lands at the top, yet counts by its depth byte:
        // a folder when its kind is 6, else a file; the next one as deep stays beside it.
        {"\x09\0A\0\x06\5 B\0\x05\2C\0\x06\2 D\0"s, "0 9 B A\n1 6 B  B\n0 5 - C\n0 6 B  D\n",
         "roots 1 folders 2 files 1 records 4 deepest 5 orphans 1 jumps 1 damaged"},
        // deep jumps under a, b goes beside it, c runs out of parents two up from a, f too.
        {"\x09\0r\0\x06\1a\0\x05\4deep\0\x05\4b\0\x05\2c\0\x09\0d\0\x05\3e\0\x06\1f\0"s,
         "0 9 B r\n1 6 B a\n2 5 - deep\n2 5 - b\n0 5 - c\n0 9 B d\n1 5 - e\n0 6 B f\n",
         "roots 2 folders 2 files 4 records 8 deepest 4 orphans 2 jumps 2 damaged"},
        {"\x09"s, "", "record 1 damaged"},
        {"\x09\0r\0\x05"s, "0 9 B r\n", "roots 1 records 1 record 1 damaged"},
        {"\x09\0"s, "0 9 B \n", "roots 1 records 1 name 1 damaged"},
        {"\x09\0ab"s, "0 9 B ab\n", "roots 1 records 1 name 1 damaged"},
        {"\x09\0\xFF"s, "0 9 B <ff>\n", "roots 1 records 1 name 1 damaged"},
        {"\x09\0\xFF\xFFx\0y"s, "0 9 B x\n", "roots 1 records 1 utf16 1 name 1 damaged"},
        {"\x09\0\xFF\xFF"s, "0 9 B \n", "roots 1 records 1 utf16 1 name 1 damaged"},
    };
    TempDir dir;
    const std::string file = dir.file("case.zelv");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tree.substr(0, 60));
        SnapshotTree tree;
        EXPECT_EQ(diagnostics(decodeSnapshot(c.data, tree)), c.stats);
        EXPECT_EQ(dump(tree), c.tree);
        EXPECT_EQ(diagnostics(countSnapshot(c.data)), c.stats);
        std::string encoded = "kept";
        const WriteResult written = encodeSnapshot(tree, encoded);
        EXPECT_TRUE(written.ok && written.records == tree.size());
        if (c.stats.ends_with(" ok")) {
            EXPECT_EQ(encoded, "kept" + c.data);
        }
        // Read from a file through buffers of every small size, a record or a name cut
        // anywhere by a buffer's end gives the same.
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

TEST(SnapshotFile, SaveSyncsKeepsModesFollowsLinksAndLoadGivesTheTreeBack) {
    TempDir dir;
    const mode_t oldMask = ::umask(022);
    SnapshotTree tree, big;
    decodeSnapshot(kWorkedExample, tree);
    const NodeId bigRoot = big.insertLast(kTopLevel, u"r"); // well over the writer's 1 MB buffer
    for (int i = 0; i < 30000; ++i) {
        big.insertLast(bigRoot, u"a rather long file name to fill the disk.txt");
    }
    const std::string path = dir.file("real.zelv"), bigPath = dir.file("big.zelv");
    const int syncs = SyncSeam::calls, folderSyncs = SyncSeam::folderCalls;
    const WriteResult written = writeSnapshotFile(tree, path);
    EXPECT_TRUE(written.opened && written.ok && !written.error);
    EXPECT_EQ(std::pair(SyncSeam::calls - syncs, SyncSeam::folderCalls - folderSyncs),
              std::pair(1, 1));
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
    EXPECT_EQ(readSnapshotFile(bigPath, big).records, 30001u);

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

constexpr uid_t kNobody = 65534;

// Runs body in a child process and gives back the text it returned, or how the child
// ended without returning: "exit N", or "signal N" (14 when it hung for ten seconds).
std::string inChild(const std::function<std::string()>& body) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return "no pipe";
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        ::alarm(10);
        const std::string out = body();
        [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], out.data(), out.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string out;
    char chunk[256];
    for (ssize_t n; (n = ::read(pipeFds[0], chunk, sizeof chunk)) > 0;) {
        out.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFSIGNALED(status)) {
        return "signal " + std::to_string(WTERMSIG(status));
    }
    return out.empty() ? "exit " + std::to_string(WEXITSTATUS(status)) : out;
}

bool becomeNobody() {
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

// What stands at path: its type, and for a file its mode, owner, links, whether it is still
// the inode it was, and its contents (the worked example is "new").
std::string describe(const std::string& path, ino_t before) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return "nothing";
    }
    if (!S_ISREG(st.st_mode)) {
        return S_ISFIFO(st.st_mode)   ? "fifo"
               : S_ISSOCK(st.st_mode) ? "socket"
               : S_ISCHR(st.st_mode)  ? "device"
               : S_ISDIR(st.st_mode)  ? "folder"
                                      : "other";
    }
    std::ostringstream out;
    const std::string bytes = readBytes(path);
    out << std::oct << (st.st_mode & 07777) << std::dec << ' ' << st.st_uid << ':' << st.st_gid
        << " links " << st.st_nlink << (st.st_ino == before ? " same " : " other ")
        << (bytes == kWorkedExample ? "new" : bytes);
    return out.str();
}

// Names in path's folder that the writer may have left behind.
int leftovers(const std::string& folder) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        count += name.starts_with(".zelvane-") && name != ".zelvane-" ? 1 : 0;
    }
    return count;
}

TEST(SnapshotFile, HostileTargetsAndFaultsNeverLoseTheOldFileOrLeaveAnythingBehind) {
    const bool root = ::geteuid() == 0;
    TempDir dir;
    ::chmod(dir.path().c_str(), 0777);
    const std::string longName(255, 'L');
    const std::string old = "old contents";
    auto file = [&](const std::string& path, mode_t mode, uid_t owner) {
        writeBytes(path, old);
        ::chmod(path.c_str(), mode);
        [[maybe_unused]] const int refused = ::chown(path.c_str(), owner, owner);
    };
    using Setup = std::function<void(const std::string& folder, const std::string& target)>;
    const Setup nothing = [](auto&, auto&) {};
    const Setup oldFile = [&](auto&, auto& t) { file(t, 0644, 0); };
    const std::function<void()> none = [] {};
    struct Case {
        std::string name;   // "(root)": only root can set it up; "as nobody": saved as that user
        std::string target; // within the case's folder
        Setup setup;
        std::function<void()> inChild; // faults set up in the child before the save
        std::string result;            // "opened ok error"
        std::string after;             // describe() of the target afterwards
    };
    const std::string kept = "644 0:0 links 1 same " + old, replaced = "644 0:0 links 1 other new";
    const Case cases[] = {
        {"fifo", "t", [](auto&, auto& t) { ::mkfifo(t.c_str(), 0644); }, none, "0 0 File exists",
         "fifo"},
        {"socket", "t",
         [](auto&, auto& t) {
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             std::strncpy(address.sun_path, t.c_str(), sizeof address.sun_path - 1);
             const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
             ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
             ::close(s);
         },
         none, "0 0 File exists", "socket"},
        {"device (root)", "t",
         [](auto&, auto& t) { ::mknod(t.c_str(), S_IFCHR | 0666, makedev(1, 3)); }, none,
         "0 0 File exists", "device"},
        {"folder", "t", [](auto&, auto& t) { ::mkdir(t.c_str(), 0755); }, none,
         "0 0 Is a directory", "folder"},
        {"missing folder", "no/t", nothing, none, "0 0 No such file or directory", "nothing"},
        {"write-protected, as nobody (root)", "t", [&](auto&, auto& t) { file(t, 0444, kNobody); },
         none, "0 0 Permission denied", "444 65534:65534 links 1 same " + old},
        // Root may write any file, as a plain open would let it; the mode stays.
        {"write-protected, saved by root", "t", [&](auto&, auto& t) { file(t, 0444, 0); }, none,
         "1 1 Success", "444 0:0 links 1 other new"},
        {"another user's file (root)", "t", [&](auto&, auto& t) { file(t, 0640, kNobody); }, none,
         "1 1 Success", "640 65534:65534 links 1 other new"},
        {"folder without write permission, as nobody (root)", "t",
         [&](auto& f, auto& t) {
             file(t, 0666, kNobody);
             ::chmod(f.c_str(), 0555);
         },
         none, "1 1 Success", "666 65534:65534 links 1 same new"},
        {"new file in such a folder, as nobody (root)", "t",
         [](auto& f, auto&) { ::chmod(f.c_str(), 0555); }, none, "0 0 Permission denied",
         "nothing"},
        {"second link", "t",
         [&](auto& f, auto& t) {
             file(t, 0600, 0);
             ::link(t.c_str(), (f + "other").c_str());
         },
         none, "1 1 Success", "600 0:0 links 2 same new"},
        {"longest name, new", longName, nothing, none, "1 1 Success", replaced},
        {"longest name, replaced", longName, oldFile, none, "1 1 Success", replaced},
        {"file-size limit", "t", oldFile,
         [] {
             std::signal(SIGXFSZ, SIG_DFL);
             const rlimit small{16, RLIM_INFINITY};
             ::setrlimit(RLIMIT_FSIZE, &small);
         },
         "1 0 File too large", kept},
        {"failing disk", "t", oldFile, [] { SyncSeam::failWith = EIO; }, "1 0 Input/output error",
         kept},
        {"out of memory", "t", oldFile, [] { AllocSeam::allowed = 2; },
         "1 0 Cannot allocate memory", kept},
        {"killed half-way", "t", oldFile, [] { SyncSeam::exitInside = true; }, "exit 3", kept},
        // No descriptor left for a temporary file: not a matter of permission, so the
        // target is not written in place either.
        {"out of descriptors", "t", oldFile,
         [] {
             const rlimit few{64, 64};
             ::setrlimit(RLIMIT_NOFILE, &few);
             int last = -1;
             for (int fd; (fd = ::open("/dev/null", O_RDONLY)) >= 0;) {
                 last = fd;
             }
             ::close(last); // one left, for the target itself
         },
         "0 0 Too many open files", kept},
        // A name already taken by another save's temporary file is not taken again.
        {"temporary name taken", "t",
         [&](auto& f, auto& t) {
             file(t, 0644, 0);
             writeBytes(f + ".zelvane-", "another save's");
         },
         none, "1 1 Success", replaced},
        // A file system whose anonymous files cannot be named: a named one is written.
        {"no anonymous files", "t", oldFile, [] { SyncSeam::linkFailsWith = EPERM; },
         "1 1 Success synced 2", replaced},
        {"no anonymous files, failing disk", "t", oldFile,
         [] {
             SyncSeam::linkFailsWith = EPERM;
             SyncSeam::failWith = EIO;
             SyncSeam::passing = SyncSeam::calls + 1; // the anonymous file's
         },
         "1 0 Input/output error", kept},
    };
    SnapshotTree tree;
    decodeSnapshot(kWorkedExample, tree);
    std::vector<std::string> skipped;
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.name.ends_with("(root)") && !root) {
            skipped.push_back(c.name);
            continue;
        }
        const std::string folder = dir.file(std::to_string(++number)) + "/";
        ::mkdir(folder.c_str(), 0777);
        ::chmod(folder.c_str(), 0777);
        const std::string target = folder + c.target;
        c.setup(folder, target);
        struct stat st {};
        const ino_t before = ::stat(target.c_str(), &st) == 0 ? st.st_ino : 0;
        const std::string result = inChild([&] {
            if (c.name.find("as nobody") != std::string::npos && !becomeNobody()) {
                return std::string("cannot become nobody");
            }
            ::umask(022);
            c.inChild();
            const int syncs = SyncSeam::calls;
            const bool stdinOpen = ::fcntl(0, F_GETFD) != -1;
            const WriteResult written = writeSnapshotFile(tree, target);
            AllocSeam::allowed = -1;
            std::string out = std::to_string(written.opened) + " " + std::to_string(written.ok) +
                              " " + std::strerror(written.error);
            if (written.ok && SyncSeam::calls - syncs != 1) {
                out += " synced " + std::to_string(SyncSeam::calls - syncs);
            }
            if (stdinOpen && ::fcntl(0, F_GETFD) == -1) {
                out += " and closed a descriptor not its own";
            }
            return out;
        });
        EXPECT_EQ(result, c.result);
        ::chmod(folder.c_str(), 0777);
        EXPECT_EQ(describe(target, before), c.after);
        EXPECT_EQ(leftovers(folder), 0);
        if (c.name == "second link") {
            EXPECT_EQ(readBytes(folder + "other"), kWorkedExample);
        }
    }
    if (!skipped.empty()) {
        GTEST_SKIP() << "only root can make devices, give files away and drop privileges; "
                     << skipped.size() << " case(s) skipped";
    }
}

TEST(SnapshotFile, HostileInputsLoadNothingAndSayWhy) {
    TempDir dir;
    ::mkdir(dir.file("folder.zelv").c_str(), 0755);
    ::mkfifo(dir.file("fifo.zelv").c_str(), 0644);
    std::string big;
    for (int i = 0; i < 2000; ++i) {
        big += "\x09\0root\0"s;
    }
    writeBytes(dir.file("big.zelv"), big);
    writeBytes(dir.file("example.zelv"), kWorkedExample);
    // A pipe holding a snapshot, its writer gone, loads like a file.
    int fed[2];
    ASSERT_EQ(::pipe(fed), 0);
    ASSERT_EQ(::write(fed[1], kWorkedExample.data(), kWorkedExample.size()),
              static_cast<ssize_t>(kWorkedExample.size()));
    ::close(fed[1]);
    struct Case {
        std::string path;
        std::uint64_t streamBytes;
        long long allocations; // allowed before memory runs out, -1 for no limit
        std::string stats;
    };
    const Case cases[] = {
        {dir.file("none.zelv"), kMaxStreamBytes, -1, "failed: No such file or directory"},
        {dir.file("folder.zelv"), kMaxStreamBytes, -1, "failed: Is a directory"},
        {"/proc/self/mem", kMaxStreamBytes, -1, "failed: Input/output error"},
        // A pipe without a writer is empty rather than waited for.
        {dir.file("fifo.zelv"), kMaxStreamBytes, -1, "ok"},
        {"/proc/self/fd/" + std::to_string(fed[0]), kMaxStreamBytes, -1,
         "roots 1 folders 1 files 2 records 4 deepest 2 utf16 1 ok"},
        // Endless input stops at the limit; a regular file is read whole past it.
        {"/dev/zero", 1 << 16, -1, "failed: File too large"},
        {dir.file("big.zelv"), 1 << 10, -1, "roots 2000 records 2000 ok"},
        {dir.file("big.zelv"), kMaxStreamBytes, 1, "failed: Cannot allocate memory"},
        {dir.file("example.zelv"), kMaxStreamBytes, 0, "failed: Cannot allocate memory"},
    };
    for (const Case& c : cases) {
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
            EXPECT_EQ(tree.size(), counting ? 1 : stats.records);
        }
    }
    ::close(fed[0]);
    // After memory ran out the same tree loads again.
    SnapshotTree tree;
    EXPECT_TRUE(readSnapshotFile(dir.file("example.zelv"), tree).opened);
    EXPECT_EQ(dump(tree), kWorkedExampleTree);
}

} // namespace
} // namespace zelvane
