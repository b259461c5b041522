// zelvane-cli import: a snapshot of a listing made elsewhere (find, tar -t, ncdu ...).
#include <cerrno>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <unistd.h>

#include "capture/capture_summary.h"
#include "capture/listing_import.h"
#include "cli/cli_common.h"
#include "cli/cli_output.h"
#include "text/utf.h"

namespace zelvane::cli {

namespace {

enum : int { kOptFrom, kOptNul, kOptTitle, kOptAppend, kOptForce };

} // namespace

const CommandSpec& specImport() {
    static const CommandSpec spec = withCommonOptions({
        "import",
        "makes a snapshot of a listing made by another tool",
        "Usage: zelvane-cli import [OPTIONS] LISTING -o FILE\n"
        "       zelvane-cli import [OPTIONS] LISTING --append FILE [-o FILE2]\n"
        "Reads the listing (- is standard input) as one new root, classified and sorted as a\n"
        "capture is, and saves the snapshot.\n",
        {
            {kOptFrom,
             '\0',
             "from",
             ValueKind::Choice,
             "FORM",
             "paths (the default: one path a line, as find, tar -tf, unzip -Z1 or\n"
             "git ls-files print them) or ncdu (the JSON of ncdu -o)",
             {"paths", "ncdu"}},
            {kOptNul, '0', "null", ValueKind::None, "",
             "the paths end in a NUL instead of a newline (find -print0)"},
            {kOptTitle, 't', "title", ValueKind::Text, "TEXT",
             "the root's text; the default is the listing's root path (the first path\n"
             "when it holds all the others, ncdu's top folder), else LISTING"},
            {kOptOutput, 'o', "output", ValueKind::File, "FILE",
             "the snapshot file to write (replaced safely); - is standard output"},
            {kOptAppend, 'a', "append", ValueKind::Snapshot, "FILE",
             "add the root to the snapshot FILE and save it back there (or to -o)"},
            {kOptForce, 'f', "force", ValueKind::None, "",
             "append even to a file that 'zelvane-cli info' finds not well formed"},
        },
        ValueKind::File,
        "Paths: \"./\" at the start and empty steps are dropped; a path that ends in / or holds\n"
        "other paths is a folder; a path given twice is one node. Prints the summary.\n"
        "Exit status: 0 when the snapshot is saved, 2 when the listing is not valid in its\n"
        "form (its line or byte is named), deeper than 255 levels, or a file cannot be read\n"
        "or written; nothing is written then.\n",
    });
    return spec;
}

namespace {

// The whole of the file at path ("-": standard input); 0 or the errno of the failure.
int readWhole(const std::string& path, std::string& data) {
    const int fd = path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    for (char block[1 << 16];;) {
        const ssize_t got = ::read(fd, block, sizeof block);
        if (got > 0) {
            data.append(block, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            const int error = got == 0 ? 0 : errno; // a folder fails here with EISDIR
            if (fd != STDIN_FILENO) {
                ::close(fd);
            }
            return error;
        }
    }
}

} // namespace

int runImport(const CommandLine& line) {
    if (line.operands.size() != 1) {
        return usageError("import", line.operands.size() > 1 ? "one listing, please"
                                                             : "a listing to read is needed");
    }
    const std::optional<std::string_view> output = line.last(kOptOutput);
    const std::optional<std::string_view> append = line.last(kOptAppend);
    if (!output && !append) {
        return usageError("import", "an output file is needed (-o FILE or --append FILE)");
    }
    if ((output && output->empty()) || (append && append->empty())) {
        reportFileError("", ENOENT); // as the missing file it is
        return kExitFailure;
    }
    const bool ncdu = line.last(kOptFrom).value_or("paths") == "ncdu";
    if (ncdu && line.has(kOptNul)) {
        return usageError("import", "-0 is for --from paths");
    }
    const std::string source(line.operands[0]);
    std::string data;
    if (const int error = readWhole(source, data); error != 0) {
        reportFileError(source, error);
        return kExitFailure;
    }
    const Listing listing = readListing(data, ncdu                ? ListingForm::Ncdu
                                              : line.has(kOptNul) ? ListingForm::NulPaths
                                                                  : ListingForm::Paths);
    if (!listing.error.empty()) {
        std::cerr << "zelvane-cli: " << displayArgument(source) << ": " << listing.error << '\n';
        return kExitFailure;
    }

    std::string_view label = line.last(kOptTitle).value_or("");
    if (label.empty()) {
        label = listing.rootPath && !listing.rootPath->empty() ? std::string_view(*listing.rootPath)
                                                               : source;
    }
    const std::string target(output ? *output : *append);
    auto addAndSave = [&](SnapshotTree& tree) {
        const TextOrder order;
        const ImportOutcome outcome = addListing(tree, listing, utf8ToUtf16(label), order);
        WriteResult written;
        if (!saveSnapshot(tree, target, written)) {
            return kExitFailure;
        }
        std::string summary = utf16ToUtf8(buildCaptureSummary(
            outcome.folders, outcome.files, outcome.total, false, SummarySpelling::Corrected));
        summary += '\n';
        if (target == "-") {
            std::cerr << summary;
            return kExitOk;
        }
        return printText(summary);
    };
    if (append) {
        return updateSnapshot(*append, target, line.has(kOptForce), addAndSave);
    }
    SnapshotTree tree;
    return addAndSave(tree);
}

} // namespace zelvane::cli
