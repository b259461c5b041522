// zelvane-cli unique: the files that only one root holds, across snapshot files (what a
// backup drive that died would take with it).
#include <memory>
#include <string>

#include "cli/cli_common.h"
#include "cli/cli_output.h"
#include "text/step_index.h"

namespace zelvane::cli {

namespace {

enum : int { kOptFolders, kOptBy, kOptMinCopies };

} // namespace

const CommandSpec& specUnique() {
    static const CommandSpec spec = withCommonOptions({
        "unique",
        "lists the files that exist under only one root",
        "Usage: zelvane-cli unique [OPTIONS] FILE...\n"
        "Lists the files of the snapshot files (- is standard input) that exist under exactly\n"
        "one root of them all, compared by their path below the root, letter case counting;\n"
        "each with its file and its root, in the order of the files and their trees.\n",
        withOptions(
            {
                {kOptFolders, '\0', "folders", ValueKind::None, "", "list the folders too"},
                {kOptBy,
                 '\0',
                 "by",
                 ValueKind::Choice,
                 "KEY",
                 "path (the default: the path below the root) or name (the name alone)",
                 {"path", "name"}},
                {kOptMinCopies, '\0', "min-copies", ValueKind::Number, "N",
                 "list what fewer than N roots hold (the default 2: exactly one)"},
            },
            listingOptionSpecs()),
        ValueKind::Snapshot,
        "A path found twice under one root counts once. Text rows are FILE:Root/path.\n"
        "Exit status: 0 when something is listed, 1 when nothing is, 2 when a FILE cannot be\n"
        "read, the output cannot be written or the arguments are wrong.\n",
    });
    return spec;
}

int runUnique(const CommandLine& line) {
    const std::optional<OutputOptions> found = outputOptionsOf("unique", line);
    if (!found) {
        return kExitFailure;
    }
    if (line.operands.empty()) {
        return usageError("unique", "the snapshot files to compare are needed");
    }
    const std::size_t minCopies =
        line.has(kOptMinCopies) ? numberValue(*line.last(kOptMinCopies)) : std::size_t{2};
    const bool byName = line.last(kOptBy).value_or("path") == "name";
    const bool folders = line.has(kOptFolders);

    std::vector<std::unique_ptr<SnapshotTree>> trees;
    if (!loadEach(line.operands, trees)) {
        return kExitFailure;
    }

    // Every node below a root gets the id of its path, in pre-order; copies counts the roots
    // that hold each id, lastRoot the last root (from 1) that counted.
    constexpr std::uint32_t kRoot = 0xFFFFFFFFu; // what the roots' children lie below
    StepIndex<char16_t> ids;
    std::vector<std::uint32_t> nodeIds;
    std::vector<std::uint32_t> copies;
    std::vector<std::uint32_t> lastRoot;
    std::vector<std::uint32_t> above;
    std::uint32_t root = 0;
    std::u16string wide;
    for (const auto& tree : trees) {
        walkPreOrder(*tree, [&](NodeId node, std::size_t level) {
            above.resize(level);
            if (level == 0) {
                ++root;
                above.push_back(kRoot);
                return;
            }
            const auto [id, added] =
                ids.insert(byName ? kRoot : above[level - 1], tree->text(node).utf16(wide));
            if (added) {
                copies.push_back(0);
                lastRoot.push_back(0);
            }
            if (lastRoot[id] != root) {
                lastRoot[id] = root;
                ++copies[id];
            }
            nodeIds.push_back(id);
            above.push_back(id);
        });
    }

    std::size_t listed = 0;
    const bool written = writeOutput(line, line.operands, [&](Output& out) {
        NodeRow row;
        std::size_t next = 0;
        for (std::size_t t = 0; t < trees.size(); ++t) {
            const SnapshotTree& tree = *trees[t];
            walkPreOrder(tree, [&](NodeId node, std::size_t level) {
                if (level == 0) {
                    return;
                }
                const std::uint32_t id = nodeIds[next++];
                const int kind = tree.kind(node);
                if (copies[id] >= minCopies || (isContainerKind(kind) && !folders)) {
                    return;
                }
                ++listed;
                describeNode(line.operands[t], tree, node, row);
                appendFoundRow(out.buffer(), row, *found, true);
                out.flushIfFull();
            });
        }
        return !out.failed();
    });
    if (!written) {
        return kExitFailure;
    }
    return listed > 0 ? kExitOk : kExitDefect;
}

} // namespace zelvane::cli
