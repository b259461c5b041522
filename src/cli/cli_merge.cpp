// zelvane-cli merge: the roots of several snapshot files in one.
#include <string>

#include "cli/cli_common.h"
#include "cli/cli_output.h"
#include "document/tree_order.h"

namespace zelvane::cli {

namespace {

enum : int { kOptKeepOrder };

} // namespace

const CommandSpec& specMerge() {
    static const CommandSpec spec = withCommonOptions({
        "merge",
        "puts the roots of several snapshot files into one",
        "Usage: zelvane-cli merge [OPTIONS] FILE... -o OUT\n"
        "Writes every root of the snapshot files (- is standard input) into OUT, sorted as\n"
        "the desktop program sorts the tree after Add Tree. OUT is written only once every\n"
        "FILE has been read, and may be one of them.\n",
        {
            {kOptOutput, 'o', "output", ValueKind::File, "OUT",
             "the snapshot file to write (replaced safely); - is standard output"},
            {kOptKeepOrder, '\0', "keep-order", ValueKind::None, "",
             "keep the roots in the order of the files, and each tree as it is"},
        },
        ValueKind::Snapshot,
        "Exit status: 0 when OUT is written, 2 when a FILE cannot be read or OUT written.\n",
    });
    return spec;
}

int runMerge(const CommandLine& line) {
    const std::optional<std::string_view> output = line.last(kOptOutput);
    if (line.operands.empty()) {
        return usageError("merge", "the snapshot files to merge are needed");
    }
    if (!output || output->empty()) {
        return usageError("merge", "an output file is needed (-o OUT)");
    }
    SnapshotTree tree;
    if (!loadAll(line.operands, tree)) {
        return kExitFailure;
    }
    if (!line.has(kOptKeepOrder)) {
        SortTree(tree, TextOrder());
    }
    const std::string target(*output);
    WriteResult written;
    if (!saveSnapshot(tree, target, written)) {
        return kExitFailure;
    }
    return kExitOk;
}

} // namespace zelvane::cli
