#include "platform/replace_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <new>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/temp_dir.h"
#include "sync_seam.h"

namespace zelvane::platform {
namespace {

using testing::readBytes;
using testing::SyncSeam;
using testing::writeBytes;

const std::string kOld = "old contents", kNew = "new";

// The text body returns in a child process, else "exit N" or "signal N" (14: it hung).
std::string inChild(const std::function<std::string()>& body) {
    int fds[2];
    if (::pipe(fds) != 0) {
        return "no pipe";
    }
    if (::fork() == 0) {
        ::alarm(10);
        const std::string out = body();
        ::_exit(::write(fds[1], out.data(), out.size()) < 0);
    }
    ::close(fds[1]);
    int status = 0;
    ::wait(&status);
    char out[256];
    const auto n = static_cast<std::size_t>(std::max<ssize_t>(::read(fds[0], out, 256), 0));
    ::close(fds[0]);
    return WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
           : n == 0            ? "exit " + std::to_string(WEXITSTATUS(status))
                               : std::string(out, n);
}

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
// the temporary files' prefix), reader (the fifo open for reading).
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
                               : throw std::invalid_argument(word);
        }
    }
}

// Faults made in the child: fsize (a file-size limit), eio (every sync fails), eio-later (all
// but the first), oom/length (the writer runs out of memory), exit (the process ends inside
// the sync), nofile (one descriptor left), nolink (anonymous files cannot be named), dirsync.
void injectFaults(const std::string& faults) {
    const auto has = [&](const char* word) { return faults.find(word) != std::string::npos; };
    if (has("fsize")) {
        std::signal(SIGXFSZ, SIG_DFL);
        const rlimit small{2, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    SyncSeam::failWith = has("eio") ? EIO : 0;
    SyncSeam::passing = has("eio-later") ? SyncSeam::calls + 1 : 0;
    SyncSeam::exitInside = has("exit");
    SyncSeam::linkFailsWith = has("nolink") ? EPERM : 0;
    SyncSeam::folderFailsWith = has("dirsync") ? EIO : 0;
    if (has("nofile")) {
        const rlimit few{64, 64};
        ::setrlimit(RLIMIT_NOFILE, &few);
        int last = -1;
        for (int fd; (fd = ::open("/dev/null", O_RDONLY)) >= 0;) {
            last = fd;
        }
        ::close(last); // one left, for the target itself
    }
}

TEST(ReplaceFile, HostileTargetsAndFaultsNeverLoseTheOldFileOrLeaveAnythingBehind) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can give files away and drop privileges";
    }
    testing::TempDir dir;
    ::chmod(dir.path().c_str(), 0777);
    const auto InPlace = OtherTargets::WriteInPlace;
    const std::string ok = "1 1 Success 1/1", kept = "644 0:0 links 1 same " + kOld,
                      made = "644 0:0 links 1 other " + kNew, theirs = "65534:65534 links 1 ",
                      longest(255, 'L');
    const struct {
        std::string name, target, setup, faults; // "as nobody": written as that user
        std::string result; // "opened ok error", then the files and folders synced
        std::string after;  // describe() of the target afterwards
        OtherTargets others = OtherTargets::Refuse;
    } cases[] = {
        {"fifo", "t", "fifo", "", "0 0 File exists 0/0", "fifo "},
        {"link to a device", "t", "link=/dev/null", "", "0 0 File exists 0/0", "link other"},
        {"folder", "t", "folder", "", "0 0 Is a directory 0/0", "folder"},
        {"missing folder", "no/t", "", "", "0 0 No such file or directory 0/0", "nothing"},
        {"a file for a folder", "real/t", "real", "", "0 0 Not a directory 0/0", "nothing"},
        {"fifo, in place", "t", "fifo reader", "", "1 1 Success 0/0", "fifo " + kNew, InPlace},
        {"file, in place", "t", "file=644:0", "", ok, made, InPlace},
        {"chain of links", "t", "real link=relative", "", ok, "link 605 0:0 links 1 other " + kNew},
        {"absolute link", "t", "real link=@real", "", ok, "link 605 0:0 links 1 other " + kNew},
        {"dangling link", "t", "link=made", "", ok, "link " + made},
        {"write-protected, as nobody", "t", "file=444:65534", "", "0 0 Permission denied 0/0",
         "444 " + theirs + "same " + kOld},
        {"write-protected, by root", "t", "file=444:0", "", ok, "444 0:0 links 1 other " + kNew},
        {"another user's file", "t", "file=640:65534", "", ok, "640 " + theirs + "other " + kNew},
        {"locked folder, as nobody", "t", "file=666:65534 locked", "", "1 1 Success 1/0",
         "666 " + theirs + "same " + kNew},
        {"new in a locked folder, as nobody", "t", "locked", "", "0 0 Permission denied 0/0",
         "nothing"},
        {"second link", "t", "file=600:0 second", "", "1 1 Success 1/0",
         "600 0:0 links 2 same " + kNew},
        {"longest name, new", longest, "", "", ok, made},
        {"longest name, replaced", longest, "file=644:0", "", ok, made},
        {"file-size limit", "t", "file=644:0", "fsize", "1 0 File too large 0/0", kept},
        {"failing disk", "t", "file=644:0", "eio", "1 0 Input/output error 1/0", kept},
        {"out of memory", "t", "file=644:0", "oom", "1 0 Cannot allocate memory 0/0", kept},
        {"text too long", "t", "file=644:0", "length", "1 0 Cannot allocate memory 0/0", kept},
        // Too late to keep the old file: the new one has its name, but may not keep it.
        {"failing folder sync", "t", "file=644:0", "dirsync", "1 0 Input/output error 1/1", made},
        {"killed half-way", "t", "file=644:0", "exit", "exit 3", kept},
        // Not a matter of permission, so the target is not written in place either.
        {"out of descriptors", "t", "file=644:0", "nofile", "0 0 Too many open files 0/0", kept},
        {"temporary name taken", "t", "file=644:0 taken", "", ok, made},
        {"no anonymous files", "t", "file=644:0", "nolink", "1 1 Success 2/1", made},
        {"no anonymous files, new", "t", "", "nolink", "1 1 Success 2/1", made},
        {"no anonymous files, failing disk", "t", "file=644:0", "nolink eio-later",
         "1 0 Input/output error 2/0", kept},
    };
    int number = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = dir.file(std::to_string(++number)) + "/",
                          target = folder + c.target;
        ::mkdir(folder.c_str(), 0777);
        ::chmod(folder.c_str(), 0777);
        setUp(c.setup, folder, target);
        struct stat st {};
        const ino_t before = ::stat(target.c_str(), &st) == 0 ? st.st_ino : 0;
        EXPECT_EQ(inChild([&] {
                      if (c.name.ends_with("as nobody") &&
                          (::setgroups(0, nullptr) || ::setgid(65534) || ::setuid(65534))) {
                          return std::string("cannot become nobody");
                      }
                      ::umask(022);
                      injectFaults(c.faults);
                      const int syncs = SyncSeam::calls, folderSyncs = SyncSeam::folderCalls;
                      const bool stdinOpen = ::fcntl(0, F_GETFD) != -1;
                      const auto written = replaceFile(
                          target,
                          [&](int fd) {
                              return c.faults == "oom"      ? throw std::bad_alloc()
                                     : c.faults == "length" ? throw std::length_error("text")
                                                            : writeAll(fd, kNew);
                          },
                          c.others);
                      std::ostringstream out;
                      out << written.opened << ' ' << (written.error == 0) << ' '
                          << std::strerror(written.error) << ' ' << SyncSeam::calls - syncs << '/'
                          << SyncSeam::folderCalls - folderSyncs
                          << (stdinOpen && ::fcntl(0, F_GETFD) == -1 ? " and closed standard input"
                                                                     : "")
                          << (::umask(022) == 022 ? "" : " and changed the umask");
                      return out.str();
                  }),
                  c.result);
        ::chmod(folder.c_str(), 0777);
        EXPECT_EQ(describe(target, before), c.after);
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            EXPECT_FALSE(name.starts_with(".zelvane-") && name != ".zelvane-") << name;
        }
        if (c.setup.ends_with("second")) {
            EXPECT_EQ(readBytes(folder + "other"), kNew);
        }
    }
}

// The export writes through it too: through a link, which stays, to a file which keeps its
// mode, and to a pipe as it is.
TEST(ReplaceFile, TheExportFollowsLinksKeepsModesAndWritesPipesInPlace) {
    testing::TempDir dir;
    writeBytes(dir.file("s.zelv"), std::string("\x09\0r\0", 4));
    writeBytes(dir.file("real.csv"), kOld);
    ::chmod(dir.file("real.csv").c_str(), 0604);
    ::symlink("real.csv", dir.file("link.csv").c_str());
    const std::string exportTo = ZELVANE_CLI " export " + dir.file("s.zelv") + " -o ";
    const std::string csv = "path,name,kind,kind name,depth\r\nr,r,9,drive-root,0\r\n";
    EXPECT_EQ(std::system((exportTo + dir.file("link.csv")).c_str()), 0);
    EXPECT_EQ(describe(dir.file("link.csv"), 0), "link 604 0:0 links 1 other " + csv);
    FILE* pipe = ::popen((exportTo + "/dev/stdout --format csv").c_str(), "r");
    char held[256];
    const std::size_t n = std::fread(held, 1, sizeof held, pipe);
    EXPECT_EQ(std::make_pair(::pclose(pipe), std::string(held, n)), std::make_pair(0, csv));
}

} // namespace
} // namespace zelvane::platform
