// zelvane-cli scan: one capture of a directory tree into a snapshot file.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "capture/archive_lister.h"
#include "capture/capture_command.h"
#include "capture/capture_summary.h"
#include "cli/cli_common.h"
#include "cli/cli_output.h"
#include "search/name_matchers.h"
#include "text/utf.h"

namespace zelvane::cli {

namespace {

enum : int {
    kOptFilter = 1,
    kOptFilterIgnoreCase,
    kOptExclude,
    kOptOneFileSystem,
    kOptTitle,
    kOptAppend,
    kOptForce,
    kOptTimes,
    kOptArchives,
    kOptArchiveDepth,
};

} // namespace

const CommandSpec& specScan() {
    static const CommandSpec spec = withCommonOptions({
        "scan",
        "captures a directory tree into a snapshot file",
        "Usage: zelvane-cli scan [OPTIONS] PATH -o FILE\n"
        "       zelvane-cli scan [OPTIONS] PATH --append FILE [-o FILE2]\n"
        "Captures the directory tree at PATH as a new root, sorts the snapshot and saves it.\n",
        {
            {kOptFilter, '\0', "filter", ValueKind::Text, "EXT",
             "capture only the files whose extension is EXT (without its dot); repeat\n"
             "it for several; the default * captures every file. Folders are always\n"
             "captured"},
            {kOptFilterIgnoreCase, '\0', "filter-ignore-case", ValueKind::None, "",
             "--filter ignores letter case (jpg takes JPG too)"},
            {kOptExclude, '\0', "exclude", ValueKind::Text, "PATTERN",
             "leave out the folders and files whose name, or whose path below PATH\n"
             "(a/b/c), matches the glob PATTERN; repeatable"},
            {kOptOneFileSystem, 'x', "one-file-system", ValueKind::None, "",
             "stay on the file system of PATH: mounted folders are captured empty"},
            {kOptTitle, 't', "title", ValueKind::Text, "TEXT",
             "the root's text; the default is PATH as given"},
            {kOptOutput, 'o', "output", ValueKind::File, "FILE",
             "the snapshot file to write (replaced safely: the old file stays intact\n"
             "when the write fails); - writes the snapshot to standard output and the\n"
             "summary to standard error"},
            {kOptAppend, 'a', "append", ValueKind::Snapshot, "FILE",
             "add the capture to the snapshot FILE (- is standard input) and save it\n"
             "back there (or to the -o file when one is given)"},
            {kOptForce, 'f', "force", ValueKind::None, "",
             "append even to a file that 'zelvane-cli info' finds not well formed"},
            {kOptArchives, '\0', "archives", ValueKind::None, "",
             "list the members of every file that is an archive (zip, 7z, rar, tar and\n"
             "its compressed forms, cpio, ISO 9660 and UDF images, cab, deb, rpm ...),\n"
             "known by its content, as its children"},
            {kOptArchiveDepth, '\0', "archive-depth", ValueKind::Number, "N",
             "with --archives, open archives inside archives down to N levels (1: only\n"
             "those on disk; the default is 2, at most 16)"},
            {kOptTimes, '\0', "times", ValueKind::None, "",
             "print the time taken to scan, sort and save on standard error"},
        },
        ValueKind::Directory,
        "Prints the summary of the capture. On a terminal, standard error shows one line of\n"
        "progress, rewritten in place. A folder inside the tree that cannot be read is named\n"
        "on standard error, and the capture goes on without its content. Ctrl-C stops the\n"
        "scan after its current folder: a stopped capture is saved only to a new file (-o FILE\n"
        "that does not exist yet) and the summary notes the interruption; an existing file is\n"
        "left as it was, and so is standard output. A second Ctrl-C ends at once. Symbolic\n"
        "links are captured as files and never followed. An archive that is damaged,\n"
        "truncated or encrypted, or meets a bound (a million members, 1 GiB decompressed,\n"
        "10 s, members deeper than level 255), keeps what was listed and is named on\n"
        "standard error.\n"
        "Exit status: 0 when the capture is complete and saved, 1 when it is saved but some\n"
        "folders or archives could not be read whole, 2 when PATH cannot be opened or a\n"
        "snapshot cannot be read or written (nothing is written then), 130 when Ctrl-C\n"
        "stopped the capture.\n",
    });
    return spec;
}

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
            if (show_) {
                std::fprintf(
                    stderr, "\rSorting %s nodes...\033[K",
                    FormatSizeGrouped(std::uint64_t{state_.folders} + state_.files).c_str());
                std::fflush(stderr);
            }
        }
    }
    // The desktop program's text is not shown: one line of counts, time and rate instead,
    // rewritten at most ten times a second.
    void setProgressText(std::u16string_view) override {
        const Clock::time_point now = Clock::now();
        if (!show_ || now - shown_ < std::chrono::milliseconds(100)) {
            return;
        }
        shown_ = now;
        const double seconds = secondsBetween(start_, now);
        const std::uint64_t items = std::uint64_t{state_.folders} + state_.files;
        std::fprintf(
            stderr, "\rScanning: %s folders, %s files, %.1f s, %s entries/s\033[K",
            FormatSizeGrouped(state_.folders).c_str(), FormatSizeGrouped(state_.files).c_str(),
            seconds,
            FormatSizeGrouped(seconds > 0 ? static_cast<std::uint64_t>(items / seconds) : items)
                .c_str());
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
        tell(path, std::strerror(error));
        ++unreadable_;
    }
    void archiveUnreadable(std::string_view path, std::string_view reason) override {
        tell(path, reason);
        ++unreadable_;
    }
    void folderLoop(std::string_view path) override { tell(path, "File system loop detected"); }

    std::size_t unreadable() const { return unreadable_; }
    Clock::time_point sortStart() const { return sortStart_; }
    Clock::time_point sortEnd() const { return sortEnd_; }

private:
    // One line "zelvane-cli: PATH: reason", in place of the progress line.
    void tell(std::string_view path, std::string_view reason) const {
        if (show_) {
            std::fputs("\r\033[K", stderr);
        }
        std::fprintf(stderr, "zelvane-cli: %s: %.*s\n", displayArgument(path).c_str(),
                     static_cast<int>(reason.size()), reason.data());
    }

    ScanState& state_;
    bool show_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point shown_{};
    Clock::time_point sortStart_{};
    Clock::time_point sortEnd_{};
    std::size_t unreadable_ = 0;
};

struct ScanOptions {
    std::optional<std::string> path;
    std::vector<std::u16string> filters; // empty: every file
    bool filterIgnoreCase = false;
    std::vector<std::string> excludes;
    bool oneFileSystem = false;
    std::optional<std::string> title;
    std::optional<std::string> output;
    std::optional<std::string> append;
    bool force = false;
    bool times = false;
    unsigned archiveDepth = 0; // 0: archives are plain files
};

// Reads the command line; on a usage error reports it and returns nullopt.
std::optional<ScanOptions> parseOptions(const CommandLine& line) {
    ScanOptions options;
    for (const GivenOption& o : line.options) {
        if (o.id == kOptExclude) {
            options.excludes.push_back(o.value);
        }
        if (o.id != kOptFilter || o.value == "*") {
            continue;
        }
        std::string_view extension = o.value;
        if (extension.starts_with('.')) {
            extension.remove_prefix(1);
            warn("scan", "--filter takes the extension without its dot: '" +
                             displayArgument(extension) + "' is used");
        }
        if (extension.empty()) {
            usageError("scan", "--filter needs an extension");
            return std::nullopt;
        }
        options.filters.push_back(utf8ToUtf16(extension));
    }
    // A * among them takes every file, as the dialog's filter does.
    if (std::any_of(line.options.begin(), line.options.end(),
                    [](const GivenOption& o) { return o.id == kOptFilter && o.value == "*"; })) {
        options.filters.clear();
    }
    options.filterIgnoreCase = line.has(kOptFilterIgnoreCase);
    options.oneFileSystem = line.has(kOptOneFileSystem);
    auto text = [&](int id) {
        const auto value = line.last(id);
        return value ? std::optional<std::string>(*value) : std::nullopt;
    };
    options.title = text(kOptTitle);
    options.output = text(kOptOutput);
    options.append = text(kOptAppend);
    options.force = line.has(kOptForce);
    options.times = line.has(kOptTimes);
    if (line.has(kOptArchives)) {
        options.archiveDepth = kDefaultArchiveDepth;
    }
    if (const auto depth = line.last(kOptArchiveDepth)) {
        if (!line.has(kOptArchives)) {
            usageError("scan", "--archive-depth goes with --archives");
            return std::nullopt;
        }
        options.archiveDepth = depth->size() <= 2 ? static_cast<unsigned>(numberValue(*depth)) : 0;
        if (options.archiveDepth < 1 || options.archiveDepth > kMaxArchiveDepth) {
            usageError("scan", "--archive-depth takes 1 to " + std::to_string(kMaxArchiveDepth));
            return std::nullopt;
        }
    }
    if (line.operands.size() > 1) {
        usageError("scan", "one directory, please");
        return std::nullopt;
    }
    if (line.operands.empty()) {
        usageError("scan", "a directory to capture is needed");
        return std::nullopt;
    }
    options.path = std::string(line.operands[0]);
    if (!options.output && !options.append) {
        usageError("scan", "an output file is needed (-o FILE or --append FILE)");
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

// Captures the tree that options name into tree and saves it to target; the exit status.
int captureAndSave(const ScanOptions& options, SnapshotTree& tree, const std::string& target) {
    CaptureRequest request;
    request.path = utf8ToUtf16(*options.path);
    request.filter.assign(1, u'*'); // the rules hold the extensions
    request.rules.extensions = options.filters;
    request.rules.extensionsIgnoreCase = options.filterIgnoreCase;
    request.rules.oneFileSystem = options.oneFileSystem;
    request.rules.archiveDepth = options.archiveDepth;
    // --exclude: a pattern with a slash is matched against the path below PATH, any other
    // against the name.
    std::vector<std::unique_ptr<NameMatcher>> names;
    std::vector<std::unique_ptr<NameMatcher>> paths;
    for (const std::string& pattern : options.excludes) {
        const bool path = pattern.find('/') != std::string::npos;
        auto matcher = std::make_unique<NameMatcher>();
        std::string error;
        NameMatchOptions match{MatchSyntax::Glob, CaseRule::Exact, true, path};
        if (!matcher->compile(utf8ToUtf16(pattern), match, error)) {
            return usageError("scan", "--exclude " + displayArgument(pattern) + ": " + error);
        }
        (path ? paths : names).push_back(std::move(matcher));
    }
    if (!names.empty() || !paths.empty()) {
        request.rules.excluded = [&names, &paths](std::string_view name,
                                                  std::string_view relative) {
            const std::u16string text = utf8ToUtf16(name);
            for (const auto& m : names) {
                if (m->matches(text)) {
                    return true;
                }
            }
            if (paths.empty()) {
                return false;
            }
            const std::u16string path = utf8ToUtf16(relative);
            for (const auto& m : paths) {
                if (m->matches(path)) {
                    return true;
                }
            }
            return false;
        };
    }
    request.label =
        options.title && !options.title->empty() ? utf8ToUtf16(*options.title) : request.path;

    ScanState& state = processScanState();
    TerminalPort port(state, isatty(STDERR_FILENO) == 1);
    const TextOrder order;
    const Clock::time_point start = Clock::now();
    const CaptureOutcome outcome = captureTree(tree, state, request, port, order);
    if (outcome.error != 0) {
        reportFileError(*options.path, outcome.error);
        return kExitFailure;
    }
    const bool stopped = outcome.stopped || gInterrupted != 0;

    const bool toStdout = target == "-";
    const std::string summary = utf16ToUtf8(buildCaptureSummary(
        outcome.folders, outcome.files, outcome.total, stopped, SummarySpelling::Corrected,
        options.archiveDepth > 0 ? std::optional<std::uint64_t>(outcome.members) : std::nullopt));
    if (stopped && (toStdout || exists(target))) {
        std::cerr << summary << "\nzelvane-cli: stopped; "
                  << (toStdout ? std::string("nothing was written")
                               : displayArgument(target) + " was left as it was")
                  << '\n';
        return kExitInterrupted;
    }

    const Clock::time_point saveStart = Clock::now();
    WriteResult written;
    if (!saveSnapshot(tree, target, written)) {
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
    if (options.times) {
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

} // namespace

int runScan(const CommandLine& line) {
    const std::optional<ScanOptions> options = parseOptions(line);
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

    // Refused before the file to append to is read, as the capture would refuse it. An
    // empty name is no file at all (the capture would take it for the root).
    for (const std::optional<std::string>& name :
         {options->path, options->output, options->append}) {
        if (name && name->empty()) {
            reportFileError(*name, ENOENT);
            return kExitFailure;
        }
    }
    if (const int error = captureRootError(utf8ToUtf16(*options->path)); error != 0) {
        reportFileError(*options->path, error);
        return kExitFailure;
    }
    const std::string& target = options->output ? *options->output : *options->append;
    if (!options->append) {
        SnapshotTree tree;
        return captureAndSave(*options, tree, target);
    }
    return updateSnapshot(*options->append, target, options->force, [&](SnapshotTree& tree) {
        return captureAndSave(*options, tree, target);
    });
}

} // namespace zelvane::cli
