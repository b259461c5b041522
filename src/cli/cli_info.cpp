// zelvane-cli info / list: what a snapshot file holds.
#include <algorithm>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

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

// Which nodes of a file, met in a streaming read, list prints, and at which level: every
// node down to depth levels, or each node whose slash path is path (a root's title, then
// the names below it; a title may hold slashes itself, a trailing slash is left out) and
// its branch down to depth levels below it.
class ListedNodes {
public:
    ListedNodes(std::optional<std::u16string> path, std::size_t depth)
        : path_(std::move(path)), depth_(depth) {
        while (path_ && path_->size() > 1 && path_->back() == kSlashSeparator) {
            path_->pop_back();
        }
    }
    static constexpr std::size_t kNotListed = static_cast<std::size_t>(-1);
    // The level the last node of chain is listed at (0 for the roots or for a node at
    // path), or kNotListed.
    std::size_t levelOf(const ReadChain& chain);
    bool found() const { return found_; }

private:
    // At a root: whether it is at path, or path goes on below it (names_ then holds the
    // names it goes on with).
    bool matchRoot(std::u16string_view title);

    std::optional<std::u16string> path_;
    std::size_t depth_;
    std::vector<std::u16string_view> names_; // the names of path below the current root
    std::size_t matched_ = 0;                // the levels of the chain that path goes through
    std::size_t start_ = kNotListed;         // the level of the node at path being listed
    bool found_ = false;
};

bool ListedNodes::matchRoot(std::u16string_view title) {
    const std::u16string_view path = *path_;
    names_.clear();
    if (path == title || (title.size() > 1 && title.ends_with(kSlashSeparator) &&
                          path == title.substr(0, title.size() - 1))) {
        return true;
    }
    if (path.substr(0, title.size()) != title ||
        !(title.ends_with(kSlashSeparator) || path[title.size()] == kSlashSeparator)) {
        return false;
    }
    std::u16string_view rest =
        path.substr(title.size() + (title.ends_with(kSlashSeparator) ? 0 : 1));
    while (!rest.empty()) {
        const std::size_t slash = rest.find(kSlashSeparator);
        names_.push_back(rest.substr(0, slash));
        rest = slash == std::u16string_view::npos ? std::u16string_view() : rest.substr(slash + 1);
    }
    return true;
}

std::size_t ListedNodes::levelOf(const ReadChain& chain) {
    const std::size_t level = chain.size() - 1;
    if (!path_) {
        return level <= depth_ ? level : kNotListed;
    }
    // The levels above this node are those the last node had, down to its parent.
    matched_ = std::min(matched_, level);
    if (level == 0
            ? matchRoot(listedName(chain.text(0), chain.kind(0), true))
            : matched_ == level && level <= names_.size() &&
                  listedName(chain.text(level), chain.kind(level), false) == names_[level - 1]) {
        matched_ = level + 1;
    }
    if (start_ != kNotListed && level <= start_) {
        start_ = kNotListed; // past the branch of the last node at path
    }
    if (start_ == kNotListed && matched_ == level + 1 && level == names_.size()) {
        start_ = level;
        found_ = true;
    }
    return start_ != kNotListed && level - start_ <= depth_ ? level - start_ : kNotListed;
}

// Appends the row of the last node of chain, listed at level.
void appendChainRow(std::string& out, std::string_view file, const ReadChain& chain,
                    std::size_t level, const OutputOptions& options, NodeRow& row) {
    if (isTreeForm(options)) { // the name and the kind, without the path
        const std::size_t last = chain.size() - 1;
        appendTreeRow(out, chain.stored(last), chain.kind(last), level, options);
    } else {
        describeNode(file, chain, row);
        appendListedRow(out, row, level, options);
    }
}

// The rows of a part of a file listed whole, down to depth levels.
class ListedPart final : public TextPart {
public:
    ListedPart(std::string_view file, const OutputOptions& options, std::size_t depth)
        : file_(file), options_(options), depth_(depth) {}
    bool visit(const ReadChain& chain) override {
        const std::size_t level = chain.size() - 1;
        if (level <= depth_) {
            appendChainRow(text, file_, chain, level, options_, row_);
        }
        return true;
    }

private:
    std::string_view file_;
    const OutputOptions& options_;
    std::size_t depth_;
    NodeRow row_;
};

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
    const std::size_t depth =
        line.has(kOptDepth) ? numberValue(*line.last(kOptDepth)) : static_cast<std::size_t>(-1);
    const bool whole = line.operands.size() == 1;
    ListedNodes listed(
        whole ? std::nullopt : std::optional<std::u16string>(utf8ToUtf16(line.operands[1])), depth);
    bool readWhole = false;
    // The rows are written while the file is read: no tree is built. A whole file's are
    // made a part at a time, on the helper threads.
    const bool ok = writeOutput(line, {file}, [&](Output& out) {
        NodeRow row;
        const LoadStats stats =
            whole ? visitSnapshotFileInParts(
                        inputPath(file),
                        [&] { return std::make_unique<ListedPart>(file, *options, depth); },
                        [&](PartVisitor& part) { return putPart(part, out); })
                  : visitSnapshotFile(inputPath(file), [&](const ReadChain& chain) {
                        const std::size_t level = listed.levelOf(chain);
                        if (level != ListedNodes::kNotListed) {
                            appendChainRow(out.buffer(), file, chain, level, *options, row);
                            out.flushIfFull();
                        }
                        return !out.failed();
                    });
        readWhole = !out.failed() && readOrReport(file, stats);
        // Nothing at PATH: an -o file is left as it was.
        return readWhole && (listed.found() || whole);
    });
    if (readWhole && !listed.found() && !whole) {
        std::cerr << "zelvane-cli: " << displayArgument(file) << ": no node at '"
                  << displayArgument(line.operands[1]) << "'\n";
        return kExitDefect;
    }
    return ok ? kExitOk : kExitFailure;
}

} // namespace zelvane::cli
