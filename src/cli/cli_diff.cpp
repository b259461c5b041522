// zelvane-cli diff: what one snapshot holds that another does not, by path.
#include <exception>
#include <string>
#include <thread>

#include "cli/cli_common.h"
#include "cli/cli_output.h"
#include "document/snapshot_diff.h"
#include "document/tree_order.h"

namespace zelvane::cli {

const CommandSpec& specDiff() {
    static const CommandSpec spec = withCommonOptions({
        "diff",
        "lists what was added and removed between snapshots",
        "Usage: zelvane-cli diff [OPTIONS] OLD NEW\n"
        "Compares two snapshots of the same media by path: lists each folder and file that\n"
        "only NEW holds (+, added) and each that only OLD holds (-, removed), every node of an\n"
        "added or removed folder included, one a line.\n"
        "A path is the stored texts from the root down, compared exactly: letter case counts,\n"
        "a folder is never the same as a file of the same name, and the roots' texts are part\n"
        "of the paths. Kinds and the order of siblings are not compared. When a folder holds\n"
        "several nodes of the same name, the first in OLD pairs with the first in NEW, the\n"
        "second with the second, and so on.\n"
        "The lines follow the tree: under each folder both hold, their common children in the\n"
        "order of OLD, a node only one of them holds where that one has it, and added and\n"
        "removed nodes that meet between common ones in the snapshot's sort order.\n",
        listingOptionSpecs(false),
        ValueKind::Snapshot,
        "text: + or -, a space, the whole path; tsv: + or -, a tab, then the fields of list\n"
        "--format tsv (file: OLD for a removed node, NEW for an added one); json: the objects\n"
        "of list --format json with \"change\": \"+\" or \"-\" first; -0: + or -, a space and\n"
        "the whole path, each followed by a NUL.\n"
        "Exit status: 0 when the snapshots hold the same paths, 1 when they differ, 2 when a file\n"
        "cannot be read or the arguments are wrong.\n",
    });
    return spec;
}

namespace {

// Reads both snapshots, the new one on a thread of its own unless either comes from
// standard input; failures are told in the order of the arguments.
bool loadBoth(const std::string (&files)[2], SnapshotTree (&trees)[2], LoadStats (&stats)[2]) {
    std::exception_ptr failure;
    std::thread reader;
    const bool together = files[0] != "-" && files[1] != "-";
    auto readNew = [&] {
        try {
            stats[1] = readSnapshotFile(inputPath(files[1]), trees[1]);
        } catch (...) {
            failure = std::current_exception();
        }
    };
    if (together) {
        reader = std::thread(readNew);
    }
    try {
        stats[0] = readSnapshotFile(inputPath(files[0]), trees[0]);
    } catch (...) {
        if (reader.joinable()) {
            reader.join();
        }
        throw;
    }
    if (reader.joinable()) {
        reader.join();
    } else {
        readNew();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    for (int side = 0; side < 2; ++side) {
        if (!stats[side].opened || stats[side].error != 0) {
            reportFileError(files[side], stats[side].error);
            return false;
        }
    }
    return true;
}

} // namespace

int runDiff(const CommandLine& line) {
    const std::optional<OutputOptions> found = outputOptionsOf("diff", line);
    if (!found) {
        return kExitFailure;
    }
    const OutputOptions& options = *found;
    const std::vector<std::string_view>& positional = line.operands;
    if (positional.size() != 2) {
        return usageError("diff", positional.size() > 2
                                      ? "two snapshot files, please"
                                      : "an old and a new snapshot file are needed");
    }
    const std::string files[2] = {std::string(positional[0]), std::string(positional[1])};
    SnapshotTree trees[2];
    LoadStats stats[2];
    if (!loadBoth(files, trees, stats)) {
        return kExitFailure;
    }

    const TextOrder order;
    const TextBefore before = [&order](NodeText a, NodeText b) { return order.compare(a, b) < 0; };
    // Each entry is written as the comparison finds it: no list of them is kept.
    std::size_t changes = 0;
    const bool written = writeOutput(line, {files[0], files[1]}, [&](Output& output) {
        std::string& out = output.buffer();
        NodeRow row;
        diffSnapshots(trees[0], trees[1], before, [&](const DiffEntry& entry) {
            ++changes;
            const int side = entry.change == DiffChange::Removed ? 0 : 1;
            describeNode(files[side], trees[side], entry.node, row);
            const char change = static_cast<char>(entry.change);
            if (options.null) {
                out += change;
                out += ' ';
                appendWholePath(out, row, options.pathStyle, Escape::Raw);
                out += '\0';
            } else if (options.format == Format::Tsv) {
                out += change;
                out += '\t';
                appendTsvFields(out, row, options.pathStyle);
                out += '\n';
            } else if (options.format == Format::Json) {
                out += "{\"change\":\"";
                out += change;
                out += "\",";
                appendJsonFields(out, row);
                out += "}\n";
            } else {
                out += change;
                out += ' ';
                appendWholePath(out, row, options.pathStyle, Escape::Display);
                out += '\n';
            }
            output.flushIfFull();
        });
        return true;
    });
    if (!written) {
        return kExitFailure;
    }
    return changes == 0 ? kExitOk : kExitDefect;
}

} // namespace zelvane::cli
