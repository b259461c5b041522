#include "platform/directory.h"
#include "platform/drive_type.h"
#include "platform/replace_file.h"

#include "support/test_common.h"
#include <dlfcn.h>
#include <grp.h>
#include <sys/statfs.h>

#include "sync_seam.h"

// While set, every entry read has an unknown type, as on file systems that do not fill it
// in, and an entry named "vanishing" is removed just after it was read.
static bool gUnknownTypes = false;

extern "C" dirent* readdir(DIR* dir) {
    using Real = dirent* (*)(DIR*);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "readdir"));
    dirent* entry = real(dir);
    if (entry != nullptr && gUnknownTypes) {
        entry->d_type = DT_UNKNOWN;
        std::strcmp(entry->d_name, "vanishing") == 0 ? unlinkat(dirfd(dir), entry->d_name, 0) : 0;
    }
    return entry;
}

namespace zelvane::platform {
namespace {

const std::string kLongest(255, 'n'); // NAME_MAX
constexpr std::uint64_t kBig = 4294967296ull;

// "name type," per entry (D, F, L, O; "=size" when known), the longest name as "255".
std::string listing(Directory& dir) {
    DirectoryListing out;
    EXPECT_TRUE(dir.readAll(out));
    std::set<std::string> entries;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::string name(out.name(i));
        entries.insert((name.size() == 255 ? "255" : name) + " " +
                       "DFLO"[static_cast<int>(out[i].type)] +
                       (out[i].sizeKnown ? "=" + std::to_string(out[i].size) : "") + ",");
    }
    return std::accumulate(entries.begin(), entries.end(), std::string());
}

TEST(Directory, ListsTypesAndSizesOpensOnlyRealDirectoriesAndNothingOnceMovedFrom) {
    test::TempTree tree;
    tree.dir("sub");
    tree.file("sub/inner");
    tree.dir(kLongest);
    tree.file("plain", kBig);
    tree.symlink("to-sub", "sub");
    tree.symlink("to-plain", "plain");
    EXPECT_EQ(mkfifo(tree.at("fifo").c_str(), 0644), 0);
    for (const bool unknownTypes : {false, true}) { // then the sizes come from a stat
        tree.file("vanishing", 5);
        Directory dir = Directory::openPath(tree.path());
        gUnknownTypes = unknownTypes;
        const std::string entries = listing(dir);
        gUnknownTypes = false;
        EXPECT_EQ(entries, unknownTypes ? ". D=0,.. D=0,255 D=0,fifo O=0,plain F=4294967296,sub "
                                          "D=0,to-plain L=0,to-sub L=0,vanishing O=0,"
                                        : ". D,.. D,255 D,fifo O=0,plain F,sub D,to-plain "
                                          "L=0,to-sub L=0,vanishing F,");
    }
    Directory dir = Directory::openPath(tree.path());
    Directory moved = std::move(dir);
    const std::tuple<std::string, std::uint64_t, int> cases[] = {
        // name, size, open error
        {"sub", 0, 0},          {"plain", kBig, ENOTDIR},
        {"to-sub", 0, ENOTDIR}, {"to-plain", 0, ENOTDIR},
        {"fifo", 0, ENOTDIR},   {"missing", 0, ENOENT},
        {kLongest, 0, 0},       {kLongest + "n", 0, ENAMETOOLONG}};
    for (const auto& [name, size, openError] : cases) {
        EXPECT_EQ(std::pair(moved.fileSize(name), moved.openChild(name).error()),
                  std::pair(size, openError))
            << name;
    }
    Directory sub = moved.openChild("sub");
    EXPECT_EQ(listing(sub), ". D,.. D,inner F,");
    DirectoryListing none;
    EXPECT_EQ(std::tuple(dir.isOpen(), dir.error(), dir.readAll(none), dir.fileSize("plain"),
                         dir.openChild("sub").error()),
              std::tuple(false, 0, false, 0u, EBADF));
    for (const auto& [path, error] :
         {std::pair(tree.at("plain"), ENOTDIR), {tree.at("missing"), ENOENT}, {std::string(), 0}}) {
        moved = Directory::openPath(path);
        EXPECT_EQ(moved.error(), error) << path;
    }
    Directory slash = Directory::openPath("/");
    EXPECT_EQ(listing(moved), listing(slash)) << "an empty path is the root";
    // Started with standard input closed, as from some daemons: a folder may get descriptor 0.
    const int input = ::dup(0);
    ::close(0);
    Directory first = Directory::openPath(tree.path());
    EXPECT_TRUE(first.isOpen());
    first.close();
    ::dup2(input, 0);
    ::close(input);
}

// "/" and "rel" are on a disk, "/media/cd" on an ISO 9660 disc, "/media/dvd/video" on a UDF
// one, the working folder on a disc unless lost; what is asked is noted in gProbes.
std::string gProbes;
int fakeStatFs(const char* path, struct statfs* info) {
    static const std::map<std::string, long> mounted = {
        {"/", 0xEF53}, {"/media/cd", 0x9660}, {"/media/dvd/video", 0x15013346},
        {".", 0x9660}, {"rel", 0xEF53},       {"lost", -1}};
    gProbes += std::string(gProbes.empty() ? "" : " ") + path;
    const auto found =
        mounted.find(path == std::string(".") && gProbes.starts_with("lost") ? "lost" : path);
    info->f_type = found == mounted.end() ? 0 : static_cast<decltype(info->f_type)>(found->second);
    return found == mounted.end() || found->second < 0 ? (errno = ENOENT, -1) : 0;
}

TEST(DriveType, AMissingPathTakesTheDriveOfItsNearestExistingFolder) {
    const auto Cd = DriveType::CdRom, Other = DriveType::Other;
    const std::tuple<std::string, std::string, DriveType> cases[] = {
        {"/media/cd", "/media/cd", Cd},
        {"/media/cd/missing/deeper", "/media/cd/missing/deeper /media/cd/missing /media/cd", Cd},
        {"/media/cd//missing/", "/media/cd//missing/ /media/cd", Cd},
        {"/media/dvd/video/x", "/media/dvd/video/x /media/dvd/video", Cd},
        {"/media/other/x", "/media/other/x /media/other /media /", Other},
        {"//missing", "//missing /", Other},
        {"", "/", Other},
        {"rel/missing", "rel/missing rel", Other},
        {"missing/name", "missing/name missing .", Cd},
        {"lost", "lost .", Other}, // the working folder cannot be asked
        {"/", "/", Other}};
    for (const auto& [path, probes, type] : cases) {
        gProbes.clear();
        EXPECT_EQ(std::pair(driveTypeOf(path, &fakeStatFs), gProbes), std::pair(type, probes));
    }
    EXPECT_EQ(driveTypeOf("/"), Other); // the real file system
}

using namespace zelvane::testing; // readBytes, writeBytes, the seams
const std::string kOld = "old contents", kNew = "new";

// "link " for a symbolic link, then "nothing", "folder", "other", a pipe with what it holds,
// or a file's mode, owner, links, whether it is still the inode it was and its contents.
std::string describe(const std::string& path, ino_t before) {
    struct stat st {};
    std::ostringstream out;
    out << (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) ? "link " : "");
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        char held[64];
        const int fd = S_ISFIFO(st.st_mode) ? ::open(path.c_str(), O_RDONLY | O_NONBLOCK) : -1;
        const auto n = static_cast<std::size_t>(std::max<ssize_t>(::read(fd, held, 64), 0));
        ::close(fd);
        out << (::stat(path.c_str(), &st) != 0 ? "nothing"
                : S_ISFIFO(st.st_mode)         ? "fifo " + std::string(held, n)
                : S_ISDIR(st.st_mode)          ? "folder"
                                               : "other");
    } else {
        out << std::oct << (st.st_mode & 07777) << std::dec << ' ' << st.st_uid << ':' << st.st_gid
            << " links " << st.st_nlink << (st.st_ino == before ? " same " : " other ")
            << readBytes(path);
    }
    return out.str();
}

// Sets up target t in folder f (ending in /), a word a step: file=MODE:OWNER (t holds kOld),
// fifo, folder, link=TO ("@" for f), real (f+"real" of mode 605, f+"relative" linking to it),
// locked (nothing can be made in f), second (a second link to t), taken (a file named with
// the temporary files' prefix), reader (the fifo open for reading), planted (t is nobody's
// link to f+"other" in a sticky world-writable f). Other words are faults.
void setUp(const std::string& steps, const std::string& f, const std::string& t) {
    std::istringstream words(steps);
    for (std::string word; words >> word;) {
        const std::string arg = word.substr(word.find('=') + 1);
        unsigned mode = 0, owner = 0;
        if (word.starts_with("file=") && std::sscanf(arg.c_str(), "%o:%u", &mode, &owner) == 2) {
            writeBytes(t, kOld);
            ::chmod(t.c_str(), mode);
            [[maybe_unused]] const int refused = ::chown(t.c_str(), owner, owner);
        } else if (word.starts_with("link=")) {
            ::symlink((arg[0] == '@' ? f + arg.substr(1) : arg).c_str(), t.c_str());
        } else {
            word == "fifo"     ? ::mkfifo(t.c_str(), 0644)
            : word == "folder" ? ::mkdir(t.c_str(), 0755)
            : word == "real"   ? (writeBytes(f + "real", kOld), ::chmod((f + "real").c_str(), 0605),
                                ::symlink("real", (f + "relative").c_str()))
            : word == "locked" ? ::chmod(f.c_str(), 0555)
            : word == "second" ? ::link(t.c_str(), (f + "other").c_str())
            : word == "reader" ? ::open(t.c_str(), O_RDONLY | O_NONBLOCK) // left open
            : word == "taken"  ? (writeBytes(f + ".zelvane-", "another's"), 0)
            : word == "planted"
                ? (writeBytes(f + "other", kOld), ::symlink((f + "other").c_str(), t.c_str()),
                   ::lchown(t.c_str(), 65534, 65534), ::chmod(f.c_str(), 01777))
                : 0;
        }
    }
}

// Replaces target in this process after the faults that steps name: nobody (written as that
// user), fsize (a file-size limit), eio (every sync fails), eio-later (all but the first),
// oom (the writer runs out of memory), exit (the process ends inside the sync), nofile (one
// descriptor left), nolink (anonymous files cannot be named), dirsync (folder syncs fail),
// inplace (other targets are written in place), stdout (standard output is t), term (SIGTERM
// comes during the second write). Gives "opened ok error", then the syncs.
std::string replaceWithFaults(const std::string& target, const std::string& described,
                              const std::string& steps) {
    const auto has = [&](const char* word) { return steps.find(word) != std::string::npos; };
    if (has("nobody") && (::setgroups(0, nullptr) || ::setgid(65534) || ::setuid(65534))) {
        return "cannot become nobody";
    }
    ::umask(022);
    const rlimit small{2, RLIM_INFINITY}, few{64, 64};
    has("fsize") ? (std::signal(SIGXFSZ, SIG_DFL), ::setrlimit(RLIMIT_FSIZE, &small)) : 0;
    SyncSeam::failWith = has("eio") ? EIO : 0;
    SyncSeam::passing = has("eio-later") ? SyncSeam::calls + 1 : 0;
    SyncSeam::exitInside = has("exit");
    SyncSeam::linkFailsWith = has("nolink") ? EPERM : 0;
    SyncSeam::folderFailsWith = has("dirsync") ? EIO : 0;
    int last = -1;
    for (int fd; has("nofile") && ::setrlimit(RLIMIT_NOFILE, &few) == 0 &&
                 (fd = ::open("/dev/null", O_RDONLY)) >= 0;) {
        last = fd;
    }
    ::close(last); // one left, for the target itself
    const int syncs = SyncSeam::calls, folderSyncs = SyncSeam::folderCalls;
    const bool stdinOpen = ::fcntl(0, F_GETFD) != -1;
    int writes = 0;
    const auto write = [&](int fd) {
        (has("term") && ++writes == 2) ? ::raise(SIGTERM) : 0;
        return has("oom") ? throw std::bad_alloc() : writeAll(fd, kNew);
    };
    has("stdout") ? ::dup2(::open(described.c_str(), O_WRONLY), 1) : 0;
    const auto descriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto openBefore = descriptors();
    const ReplaceResult written = replaceFile(
        target, write, has("inplace") ? OtherTargets::WriteInPlace : OtherTargets::Refuse);
    const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    std::ostringstream out;
    out << written.opened << ' ' << (written.error == 0) << ' ' << std::strerror(written.error)
        << ' ' << SyncSeam::calls - syncs << '/' << SyncSeam::folderCalls - folderSyncs
        << (stdinOpen && ::fcntl(0, F_GETFD) == -1 ? " and closed standard input" : "")
        << (::umask(022) == 022 ? "" : " and changed the umask")
        << (descriptors() == openBefore ? "" : " and left a descriptor open")
        << (std::signal(SIGHUP, SIG_DFL) == SIG_DFL ? "" : " and kept its SIGHUP handler");
    return out.str();
}

TEST(ReplaceFile, HostileTargetsAndFaultsNeverLoseTheOldFileOrLeaveAnythingBehind) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can give files away and drop privileges";
    }
    testing::TempTree dir;
    ::chmod(dir.path().c_str(), 0777);
    const std::string protect = "/proc/sys/fs/protected_symlinks",
                      wasProtected = readBytes(protect);
    writeBytes(protect, "1"); // as most systems have it
    if (readBytes(protect) != "1\n") {
        GTEST_SKIP() << "fs.protected_symlinks cannot be turned on";
    }
    const std::string ok = "1 1 Success 1/1", kept = "644 0:0 links 1 same " + kOld,
                      made = "644 0:0 links 1 other " + kNew, theirs = "65534:65534 links 1 ";
    const std::array<std::string, 4> cases[] = {
        // target, steps, result, describe() after
        {"t", "fifo", "0 0 File exists 0/0", "fifo "},
        {"t", "link=/dev/null", "0 0 File exists 0/0", "link other"},
        {"t", "folder", "0 0 Is a directory 0/0", "folder"},
        {"no/t", "", "0 0 No such file or directory 0/0", "nothing"},
        {"real/t", "real", "0 0 Not a directory 0/0", "nothing"},
        {"t", "fifo reader inplace", "1 1 Success 0/0", "fifo " + kNew},
        {"t", "fifo nobody inplace", "0 0 Permission denied 0/0", "fifo "},
        {"t", "file=644:0 inplace", ok, made}, // a file is replaced still
        {"t", "real link=relative", ok, "link 605 0:0 links 1 other " + kNew},
        {"t", "real link=@real", ok, "link 605 0:0 links 1 other " + kNew},
        {"t", "link=made", ok, "link " + made},
        {"t", "link=made eio", "1 0 Input/output error 1/0", "link nothing"},
        {"t", "file=444:65534 nobody", "0 0 Permission denied 0/0",
         "444 " + theirs + "same " + kOld},
        {"t", "file=444:65534", ok, "444 " + theirs + "other " + kNew}, // root may, as open would
        {"t", "file=666:65534 locked nobody", "1 1 Success 1/0", "666 " + theirs + "same " + kNew},
        {"t", "locked nobody", "0 0 Permission denied 0/0", "nothing"},
        {"t", "file=600:0 second", "1 1 Success 2/0", "600 0:0 links 2 same " + kNew},
        {"t", "file=600:0 eio second", "1 0 Input/output error 1/0",
         "600 0:0 links 2 same " + kOld},
        {"t", "file=666:65534 locked nobody second", "1 1 Success 1/0",
         "666 65534:65534 links 2 same " + kNew},
        // The file that standard output writes, and a link the kernel refuses to follow.
        {"/dev/stdout", "file=600:0 stdout", "1 1 Success 1/0", "600 0:0 links 1 same " + kNew},
        {"/dev/fd/1", "file=600:0 stdout", "1 1 Success 1/0", "600 0:0 links 1 same " + kNew},
        {"/proc/self/fd/1", "file=600:0 stdout", "1 1 Success 1/0", "600 0:0 links 1 same new"},
        {"t", "planted", "0 0 Permission denied 0/0", "link 644 0:0 links 1 other " + kOld},
        {"t", "file=644:0 nolink term", "signal 15", kept},
        {std::string(255, 'L'), "file=644:0", ok, made},
        {"t", "file=644:0 fsize", "1 0 File too large 0/0", kept},
        {"t", "file=644:0 eio", "1 0 Input/output error 1/0", kept},
        {"t", "file=644:0 oom", "1 0 Cannot allocate memory 0/0", kept},
        // Too late to keep the old file: the new one has its name, but may not keep it.
        {"t", "file=644:0 dirsync", "1 0 Input/output error 1/1", made},
        {"t", "file=644:0 exit", "exit 3", kept},
        // Not a matter of permission, so the target is not written in place either.
        {"t", "file=644:0 nofile", "0 0 Too many open files 0/0", kept},
        {"t", "file=644:0 taken", ok, made},
        {"t", "file=644:0 nolink", "1 1 Success 2/1", made},
        {"t", "nolink", "1 1 Success 2/1", made},
        {"t", "file=644:0 nolink eio-later", "1 0 Input/output error 2/0", kept},
    };
    int number = 0;
    for (const auto& [name, steps, result, after] : cases) {
        const std::string folder = dir.at(std::to_string(++number)) + "/",
                          out = dir.at(std::to_string(number) + ".out"),
                          target = name[0] == '/' ? folder + "t" : folder + name;
        ::mkdir(folder.c_str(), 0777);
        ::chmod(folder.c_str(), 0777);
        setUp(steps, folder, target);
        struct stat st {};
        const ino_t before = ::stat(target.c_str(), &st) == 0 ? st.st_ino : 0;
        const pid_t child = ::fork(); // which writes its result, or ends ("signal 14": it hung)
        if (child == 0) {
            ::alarm(10);
            writeBytes(out, replaceWithFaults(name[0] == '/' ? name : target, target, steps));
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_EQ(WIFSIGNALED(status)        ? "signal " + std::to_string(WTERMSIG(status))
                  : WEXITSTATUS(status) != 0 ? "exit " + std::to_string(WEXITSTATUS(status))
                                             : readBytes(out),
                  result)
            << steps;
        ::chmod(folder.c_str(), 0777);
        EXPECT_EQ(describe(target, before), after) << steps;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const std::string file = entry.path().filename().string();
            EXPECT_FALSE(file.starts_with(".zelvane-") && file != ".zelvane-") << file;
        }
        EXPECT_EQ(readBytes(folder + "other"), steps.ends_with("second")    ? readBytes(target)
                                               : steps.ends_with("planted") ? kOld
                                                                            : "")
            << steps;
    }
    writeBytes(protect, wasProtected);
}

} // namespace
} // namespace zelvane::platform
