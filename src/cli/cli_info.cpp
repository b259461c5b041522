// zelvane-cli info / list: what a snapshot file holds.
#include <sstream>
#include <string>

#include "cli/cli_common.h"
#include "cli/cli_output.h"
#include "document/document_commands.h"
#include "text/utf.h"

namespace zelvane::cli {

extern const char kInfoUsage[] =
    "Usage: zelvane-cli info FILE\n"
    "Prints the numbers of roots, folders and files of a snapshot file (- is standard\n"
    "input), its deepest level, how many names are stored as UTF-16, and every defect found.\n"
    "Exit status: 0 when the file is well formed, 1 when it is not, 2 when it cannot be read.\n";

extern const char kListUsage[] =
    "Usage: zelvane-cli list FILE [--format text|tsv|json] [-0] [--path-style slash]\n"
    "                             [--kinds numbers|names]\n"
    "Prints every node of a snapshot file (- is standard input) in the order of the tree.\n"
    "  --format text          one node a line, indented by two spaces a level: the kind, a\n"
    "                         space and the stored text (the default)\n"
    "  --format tsv           file, path, name, kind, kind name; tabs, newlines and\n"
    "                         backslashes escaped as \\t, \\n and \\\\\n"
    "  --format json          one object a line with file, path (the texts from the root\n"
    "                         down), name, kind and kindName\n"
    "  -0, --null             each node's whole path, as stored, followed by a NUL\n"
    "  --path-style slash     whole paths as Root/Folder/name, without the folders' leading\n"
    "                         spaces, instead of the indented tree\n"
    "  --kinds names          kind names (folder, document, ...) instead of numbers\n"
    "In text, characters that are not printable are shown as \\xNN or \\uXXXX escapes.\n"
    "Exit status: 0, or 2 when the file cannot be read or the output cannot be written.\n";

namespace {

// Takes the one FILE argument; output options too when options is given.
bool parseFileArguments(const Args& args, std::string_view command, std::string& file,
                        OutputOptions* options) {
    std::vector<std::string_view> files;
    if (!readArguments(args, files, [&](std::string_view option, std::size_t& i) {
            return options != nullptr ? takeOutputOption(command, args, i, *options)
                                      : unknownOption(command, option);
        })) {
        return false;
    }
    if (files.size() != 1 || files[0].empty()) {
        usageError(command,
                   files.empty() ? "a snapshot file is needed" : "one snapshot file, please");
        return false;
    }
    file = std::string(files[0]);
    return options == nullptr || checkOutputOptions(command, *options);
}

} // namespace

int runInfo(const Args& args) {
    std::string file;
    if (!parseFileArguments(args, "info", file, nullptr)) {
        return kExitFailure;
    }
    // The counts need no tree: the file is only read through.
    const LoadStats stats = countSnapshotFile(inputPath(file));
    if (!stats.opened) {
        reportFileError(file, stats.error);
        return kExitFailure;
    }
    Output out;
    std::ostringstream text;
    text << "Roots:\t" << stats.roots << "\nFolders:\t" << stats.folders << "\nFiles:\t"
         << stats.files << "\nRecords:\t" << stats.records << "\nDeepest level:\t"
         << stats.deepestLevel << "\nUTF-16 names:\t" << stats.utf16Records << '\n';
    text << loadFindings(stats);
    text << (stats.wellFormed() ? "Well formed\n" : "Not well formed\n");
    out.buffer() = text.str();
    if (!out.finish()) {
        return kExitFailure;
    }
    return stats.wellFormed() ? kExitOk : kExitDefect;
}

int runList(const Args& args) {
    std::string file;
    OutputOptions options;
    if (!parseFileArguments(args, "list", file, &options)) {
        return kExitFailure;
    }
    SnapshotTree tree;
    LoadStats stats;
    if (!loadOrReport(file, tree, stats)) {
        return kExitFailure;
    }
    Output out;
    std::string& text = out.buffer();
    const bool names = options.kinds == KindStyle::Names;
    const bool tree_form =
        !options.null && options.format == Format::Text && options.pathStyle == PathStyle::Native;
    NodeRow row;
    walkPreOrder(tree, [&](NodeId node, std::size_t level) {
        if (out.failed()) {
            return;
        }
        if (tree_form) {
            text.append(level * 2, ' ');
            text +=
                names ? std::string(kindName(tree.kind(node))) : std::to_string(tree.kind(node));
            text += ' ';
            appendDisplay(text, tree.text(node));
            text += '\n';
            out.flushIfFull();
            return;
        }
        describeNode(file, tree, node, row);
        if (options.null) {
            appendWholePath(text, row, options.pathStyle, Escape::Raw);
            text += '\0';
        } else if (options.format == Format::Json) {
            appendJsonObject(text, row);
            text += '\n';
        } else if (options.format == Format::Tsv) {
            appendTsvFields(text, row, options.pathStyle);
            text += '\n';
        } else {
            text += names ? std::string(kindName(row.kind)) : std::to_string(row.kind);
            text += ' ';
            appendWholePath(text, row, PathStyle::Slash, Escape::Display);
            text += '\n';
        }
        out.flushIfFull();
    });
    return out.finish() ? kExitOk : kExitFailure;
}

} // namespace zelvane::cli
