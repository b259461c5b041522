// zelvane-cli scan: one capture of a directory tree into a snapshot file.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "capture/capture_command.h"
#include "capture/capture_summary.h"
#include "cli/cli_common.h"
#include "cli/cli_output.h"
#include "text/utf.h"

namespace zelvane::cli {

extern const char kScanUsage[] =
    "Usage: zelvane-cli scan PATH [--filter EXT] [--title TEXT] -o FILE\n"
    "       zelvane-cli scan PATH [--filter EXT] [--title TEXT] --append FILE [-o FILE2]\n"
    "Captures the directory tree at PATH as a new root, sorts the snapshot and saves it.\n"
    "  --filter EXT   capture only the files whose extension is EXT (without its dot, letter\n"
    "                 case significant); the default \"*\" captures every file. Folders are\n"
    "                 always captured.\n"
    "  --title TEXT   the root's text; the default is PATH as given.\n"
    "  -o FILE        the snapshot file to write (replaced safely: the old file stays intact\n"
    "                 when the write fails); - writes the snapshot to standard output and the\n"
    "                 summary to standard error.\n"
    "  --append FILE  add the capture to the snapshot FILE (- is standard input) and save it\n"
    "                 back there (or to the -o file when one is given).\n"
    "  --force        append even to a file that 'zelvane-cli info' finds not well formed.\n"
    "  --times        print the time taken to scan, sort and save on standard error.\n"
    "Prints the summary of the capture. Progress goes to standard error when it is a\n"
    "terminal. A folder inside the tree that cannot be read is named on standard error, and\n"
    "the capture goes on without its content. Ctrl-C stops the scan after its current folder:\n"
    "a stopped capture is saved only to a new file (-o FILE that does not exist yet) and the\n"
    "summary notes the interruption; an existing file is left as it was, and so is standard\n"
    "output. A second Ctrl-C ends at once. Symbolic links are captured as files and never\n"
    "followed.\n"
    "Exit status: 0 when the capture is complete and saved, 1 when it is saved but some\n"
    "folders could not be read, 2 when PATH cannot be opened or a snapshot cannot be read or\n"
    "written (nothing is written then), 130 when Ctrl-C stopped the capture.\n";

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void onInterrupt(int) {
    gInterrupted = 1;
}

using Clock = std::chrono::steady_clock;

double secondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// The terminal as the main window of a capture: Ctrl-C is the Stop button, standard error
// the progress text.
class TerminalPort : public ScanObserver {
public:
    TerminalPort(ScanState& state, bool showProgress) : state_(state), show_(showProgress) {}

    void pump() override {
        if (gInterrupted != 0) {
            OnStopScan(state_);
        }
    }
    void setPhase(ScanPhase phase) override {
        if (phase == ScanPhase::Sorting) {
            sortStart_ = Clock::now();
        }
    }
    void setProgressText(std::u16string_view text) override {
        if (!show_) {
            return;
        }
        std::string line;
        appendDisplay(line, text);
        std::fprintf(stderr, "\r%s\033[K", line.c_str());
        std::fflush(stderr);
    }
    void setScanningState(bool scanning) override {
        if (!scanning) {
            sortEnd_ = Clock::now();
            if (show_) {
                std::fputs("\r\033[K", stderr);
                std::fflush(stderr);
            }
        }
    }

    void folderUnreadable(std::string_view path, int error) override {
        if (show_) {
            std::fputs("\r\033[K", stderr);
        }
        std::fprintf(stderr, "zelvane-cli: %s: %s\n", displayArgument(path).c_str(),
                     std::strerror(error));
        ++unreadable_;
    }

    std::size_t unreadable() const { return unreadable_; }
    Clock::time_point sortStart() const { return sortStart_; }
    Clock::time_point sortEnd() const { return sortEnd_; }

private:
    ScanState& state_;
    bool show_;
    Clock::time_point sortStart_{};
    Clock::time_point sortEnd_{};
    std::size_t unreadable_ = 0;
};

struct ScanOptions {
    std::optional<std::string> path;
    std::string filter = "*";
    std::optional<std::string> title;
    std::optional<std::string> output;
    std::optional<std::string> append;
    bool force = false;
    bool times = false;
};

// Parses the arguments; on a usage error reports it and returns nullopt.
std::optional<ScanOptions> parseOptions(const Args& args) {
    ScanOptions options;
    std::vector<std::string_view> paths;
    const bool read = readArguments(args, paths, [&](std::string_view arg, std::size_t& i) {
        auto take = [&](auto& field) {
            const std::optional<std::string_view> value = optionValue("scan", args, i);
            if (value) {
                field = std::string(*value);
            }
            return value.has_value();
        };
        if (arg == "--filter") {
            return take(options.filter);
        }
        if (arg == "--title") {
            return take(options.title);
        }
        if (arg == "-o" || arg == "--output") {
            return take(options.output);
        }
        if (arg == "--append") {
            return take(options.append);
        }
        if (arg == "--times") {
            options.times = true;
        } else if (arg == "--force") {
            options.force = true;
        } else {
            return unknownOption("scan", arg);
        }
        return true;
    });
    if (!read) {
        return std::nullopt;
    }
    if (paths.size() > 1) {
        usageError("scan", "one directory, please");
        return std::nullopt;
    }
    if (!paths.empty()) {
        options.path = std::string(paths[0]);
    }
    if (!options.path) {
        usageError("scan", "a directory to capture is needed");
        return std::nullopt;
    }
    if (!options.output && !options.append) {
        usageError("scan", "an output file is needed (-o FILE or --append FILE)");
        return std::nullopt;
    }
    if ((options.output && options.output->empty()) ||
        (options.append && options.append->empty())) {
        usageError("scan", "the snapshot file name is empty");
        return std::nullopt;
    }
    return options;
}

} // namespace

namespace {

// Whether anything stands at path (a dangling link counts).
bool exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// Writes the snapshot to target ("-": standard output); reports a failure.
bool save(const SnapshotTree& tree, const std::string& target, WriteResult& written) {
    if (target == "-") {
        std::string bytes;
        written = encodeSnapshot(tree, bytes);
        Output out;
        out.buffer() = std::move(bytes);
        written.ok = out.finish();
        return written.ok;
    }
    written = writeSnapshotFile(tree, target);
    if (!written.ok) {
        reportFileError(target, written.error);
    }
    return written.ok;
}

} // namespace

int runScan(const Args& args) {
    const std::optional<ScanOptions> options = parseOptions(args);
    if (!options) {
        return kExitFailure;
    }

    struct sigaction action {};
    action.sa_handler = onInterrupt;
    action.sa_flags = SA_RESETHAND; // a second Ctrl-C ends the program at once
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    gInterrupted = 0;
    sigaction(SIGINT, &action, &previous);
    struct Restore {
        struct sigaction* previous;
        ~Restore() { sigaction(SIGINT, previous, nullptr); }
    } restore{&previous};

    // Refused before the file to append to is read, as the capture would refuse it.
    if (const int error = captureRootError(utf8ToUtf16(*options->path)); error != 0) {
        reportFileError(*options->path, error);
        return kExitFailure;
    }

    SnapshotTree tree;
    if (options->append) {
        LoadStats stats;
        if (!loadOrReport(*options->append, tree, stats)) {
            return kExitFailure;
        }
        if (!stats.wellFormed() && !options->force) {
            std::cerr << "zelvane-cli: " << displayArgument(*options->append)
                      << ": not a well-formed snapshot ('zelvane-cli info' lists its defects); "
                         "--force appends to it all the same\n";
            return kExitFailure;
        }
    }

    CaptureRequest request;
    request.path = utf8ToUtf16(*options->path);
    request.filter = utf8ToUtf16(options->filter);
    request.label =
        options->title && !options->title->empty() ? utf8ToUtf16(*options->title) : request.path;

    ScanState& state = processScanState();
    TerminalPort port(state, isatty(STDERR_FILENO) == 1);
    const TextOrder order;
    const Clock::time_point start = Clock::now();
    const CaptureOutcome outcome = captureTree(tree, state, request, port, order);
    if (outcome.error != 0) {
        reportFileError(*options->path, outcome.error);
        return kExitFailure;
    }
    const bool stopped = outcome.stopped || gInterrupted != 0;

    const std::string& target = options->output ? *options->output : *options->append;
    const bool toStdout = target == "-";
    const std::string summary =
        utf16ToUtf8(buildCaptureSummary(outcome.folders, outcome.files, outcome.total, stopped));
    if (stopped && (toStdout || exists(target))) {
        std::cerr << summary << "\nzelvane-cli: stopped; "
                  << (toStdout ? std::string("nothing was written")
                               : displayArgument(target) + " was left as it was")
                  << '\n';
        return kExitInterrupted;
    }

    const Clock::time_point saveStart = Clock::now();
    WriteResult written;
    if (!save(tree, target, written)) {
        return kExitFailure;
    }
    const Clock::time_point saveEnd = Clock::now();

    if (written.deepRecords > 0) {
        std::cerr << "zelvane-cli: " << displayArgument(target) << ": " << written.deepRecords
                  << " node(s) lie deeper than 255 levels; the file stores them at level 255\n";
    }
    if (toStdout) {
        std::cerr << summary << '\n';
    } else {
        Output out;
        out.buffer() = summary + '\n';
        if (!out.finish()) {
            return kExitFailure;
        }
    }
    if (options->times) {
        std::fprintf(stderr, "scan %.3f s, sort %.3f s, save %.3f s, total %.3f s\n",
                     secondsBetween(start, port.sortStart()),
                     secondsBetween(port.sortStart(), port.sortEnd()),
                     secondsBetween(saveStart, saveEnd), secondsBetween(start, saveEnd));
    }
    if (stopped) {
        return kExitInterrupted;
    }
    return port.unreadable() > 0 ? kExitDefect : kExitOk;
}

} // namespace zelvane::cli
