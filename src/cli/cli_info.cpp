// zelvane-cli info / list: what a snapshot file holds.
#include <iostream>
#include <sstream>
#include <string>

#include "cli/cli_common.h"
#include "cli/cli_output.h"
#include "document/document_commands.h"
#include "document/node_text.h"
#include "text/utf.h"

namespace zelvane::cli {

namespace {

constexpr int kOptDepth = 1;

// The one FILE operand (list: and the PATH after it); reports a misuse.
bool takeOperands(std::string_view command, const CommandLine& line, std::size_t most) {
    if (line.operands.empty() || line.operands.size() > most) {
        usageError(command, line.operands.empty() ? "a snapshot file is needed"
                                                  : "one snapshot file, please");
        return false;
    }
    return true;
}

// The nodes whose slash path is path: a root's title, then the names below it. A title
// may hold slashes itself; a trailing slash is left out.
std::vector<NodeId> nodesAtPath(const SnapshotTree& tree, std::u16string_view path) {
    while (path.size() > 1 && path.back() == kSlashSeparator) {
        path.remove_suffix(1);
    }
    std::vector<NodeId> found;
    std::u16string wide; // a name as UTF-16, compared before the descent below it
    // Descends from node along the names left in rest.
    auto descend = [&](auto& self, NodeId node, std::u16string_view rest) -> void {
        if (rest.empty()) {
            found.push_back(node);
            return;
        }
        const std::size_t slash = rest.find(kSlashSeparator);
        const std::u16string_view name = rest.substr(0, slash);
        const std::u16string_view after =
            slash == std::u16string_view::npos ? std::u16string_view() : rest.substr(slash + 1);
        for (NodeId child = tree.firstChild(node); child != kNoNode;
             child = tree.nextSibling(child)) {
            if (listedName(tree.text(child).utf16(wide), tree.kind(child), false) == name) {
                self(self, child, after);
            }
        }
    };
    for (NodeId root = tree.firstRoot(); root != kNoNode; root = tree.nextSibling(root)) {
        std::u16string title(listedName(tree.text(root).toU16(), tree.kind(root), true));
        if (path == title || (title.size() > 1 && title.ends_with(kSlashSeparator) &&
                              path == std::u16string_view(title).substr(0, title.size() - 1))) {
            found.push_back(root);
        } else if (path.substr(0, title.size()) == title &&
                   (title.ends_with(kSlashSeparator) || path[title.size()] == kSlashSeparator)) {
            const std::size_t skip = title.size() + (title.ends_with(kSlashSeparator) ? 0 : 1);
            descend(descend, root, path.substr(skip));
        }
    }
    return found;
}

} // namespace

const CommandSpec& specInfo() {
    static const CommandSpec spec = withCommonOptions({
        "info",
        "counts and defects of a snapshot file",
        "Usage: zelvane-cli info [OPTIONS] FILE\n"
        "Prints the numbers of roots, folders and files of a snapshot file (- is standard\n"
        "input), its deepest level, how many names are stored as UTF-16, and every defect found.\n",
        {outputFileSpec()},
        ValueKind::Snapshot,
        "Exit status: 0 when the file is well formed, 1 when it is not, 2 when it cannot be "
        "read.\n",
    });
    return spec;
}

const CommandSpec& specList() {
    static const CommandSpec spec = withCommonOptions({
        "list",
        "prints a snapshot, or the part below a path, as a tree",
        "Usage: zelvane-cli list [OPTIONS] FILE [PATH]\n"
        "Prints every node of a snapshot file (- is standard input) in the order of the tree,\n"
        "or only the node at PATH and everything below it. PATH is a slash path as search\n"
        "prints it: a root's title, then the names below it (Disk/docs/2024).\n"
        "The text format is the indented tree: one node a line, two spaces a level, the kind,\n"
        "a space and the stored text; with --path-style slash each line is the kind and the\n"
        "whole path instead.\n",
        withOptions({{kOptDepth, 'd', "depth", ValueKind::Number, "N",
                      "only N levels below the roots (or PATH): 0 for them alone"}},
                    listingOptionSpecs()),
        ValueKind::Snapshot,
        "tsv: file, path, name, kind, kind name, tab-separated, with \\t, \\n and \\\\ escapes;\n"
        "json: one object a line with file, path (the stored texts from the root down), name,\n"
        "kind, kindName and fullPath (the slash path).\n"
        "In text, characters that are not printable are shown as \\xNN or \\uXXXX escapes.\n"
        "Exit status: 0; 1 when PATH names no node; 2 when the file cannot be read or the\n"
        "output cannot be written.\n",
    });
    return spec;
}

int runInfo(const CommandLine& line) {
    if (!takeOperands("info", line, 1)) {
        return kExitFailure;
    }
    const std::string file(line.operands[0]);
    // The counts need no tree: the file is only read through.
    const LoadStats stats = countSnapshotFile(inputPath(file));
    if (!stats.opened) {
        reportFileError(file, stats.error);
        return kExitFailure;
    }
    std::ostringstream text;
    text << "Roots:\t" << stats.roots << "\nFolders:\t" << stats.folders << "\nFiles:\t"
         << stats.files << "\nRecords:\t" << stats.records << "\nDeepest level:\t"
         << stats.deepestLevel << "\nUTF-16 names:\t" << stats.utf16Records << '\n';
    text << loadFindings(stats);
    text << (stats.wellFormed() ? "Well formed\n" : "Not well formed\n");
    if (!writeOutput(line, {file}, [&](Output& out) {
            out.buffer() = text.str();
            return true;
        })) {
        return kExitFailure;
    }
    return stats.wellFormed() ? kExitOk : kExitDefect;
}

int runList(const CommandLine& line) {
    const std::optional<OutputOptions> options = outputOptionsOf("list", line);
    if (!options || !takeOperands("list", line, 2)) {
        return kExitFailure;
    }
    const std::string_view file = line.operands[0];
    SnapshotTree tree;
    LoadStats stats;
    if (!loadOrReport(file, tree, stats)) {
        return kExitFailure;
    }
    std::vector<NodeId> starts;
    if (line.operands.size() == 2) {
        starts = nodesAtPath(tree, utf8ToUtf16(line.operands[1]));
        if (starts.empty()) {
            std::cerr << "zelvane-cli: " << displayArgument(file) << ": no node at '"
                      << displayArgument(line.operands[1]) << "'\n";
            return kExitDefect;
        }
    }
    const std::size_t depth =
        line.has(kOptDepth) ? numberValue(*line.last(kOptDepth)) : static_cast<std::size_t>(-1);
    const bool treeForm = !options->null && options->format == Format::Text &&
                          !(options->pathStyleGiven && options->pathStyle == PathStyle::Slash);
    const bool ok = writeOutput(line, {file}, [&](Output& out) {
        std::string& text = out.buffer();
        NodeRow row;
        std::u16string wide;
        auto print = [&](NodeId node, std::size_t level) {
            if (out.failed()) {
                return;
            }
            const int kind = tree.kind(node);
            if (treeForm) {
                text.append(level * 2, ' ');
                text += kindText(kind, options->kinds);
                text += ' ';
                appendDisplay(text, tree.text(node).utf16(wide));
                text += '\n';
                out.flushIfFull();
                return;
            }
            describeNode(file, tree, node, row);
            if (options->null) {
                appendWholePath(text, row, options->pathStyle, Escape::Raw);
                text += '\0';
            } else if (options->format == Format::Json) {
                appendJsonObject(text, row);
                text += '\n';
            } else if (options->format == Format::Tsv) {
                appendTsvFields(text, row, options->pathStyle);
                text += '\n';
            } else {
                text += kindText(kind, options->kinds);
                text += ' ';
                appendWholePath(text, row, PathStyle::Slash, Escape::Display);
                text += '\n';
            }
            out.flushIfFull();
        };
        if (starts.empty()) {
            walkPreOrder(tree, kTopLevel, print, depth);
        }
        for (const NodeId start : starts) {
            print(start, 0);
            if (depth > 0) {
                walkPreOrder(
                    tree, start, [&](NodeId node, std::size_t level) { print(node, level + 1); },
                    depth - 1);
            }
        }
        return !out.failed();
    });
    return ok ? kExitOk : kExitFailure;
}

} // namespace zelvane::cli
