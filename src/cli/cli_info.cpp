// zelvane-cli info / list: what a snapshot file holds.
#include <iostream>
#include <string>

#include "cli/cli_common.h"
#include "text/utf.h"

namespace zelvane::cli {

extern const char kInfoUsage[] =
    "Usage: zelvane-cli info FILE\n"
    "Prints the numbers of roots, folders and files of a snapshot file, its deepest level,\n"
    "how many names are stored as UTF-16, and every defect found.\n"
    "Exit status: 0 when the file is well formed, 1 when it is not, 2 when it cannot be read.\n";

extern const char kListUsage[] =
    "Usage: zelvane-cli list FILE\n"
    "Prints the tree of a snapshot file, one node a line, indented by two spaces a level,\n"
    "each line the kind number, a space and the stored text. Characters that are not\n"
    "printable text are shown as \\xNN or \\uXXXX escapes.\n"
    "Exit status: 0, or 2 when the file cannot be read.\n";

namespace {

bool singleFileArgument(const Args& args, std::string_view command, std::string& file) {
    if (args.size() != 1 || args[0].empty()) {
        usageError(command,
                   args.empty() ? "a snapshot file is needed" : "one snapshot file, please");
        return false;
    }
    file = std::string(args[0]);
    return true;
}

} // namespace

int runInfo(const Args& args) {
    std::string file;
    if (!singleFileArgument(args, "info", file)) {
        return kExitFailure;
    }
    SnapshotTree tree;
    LoadStats stats;
    if (!loadOrReport(file, tree, stats)) {
        return kExitFailure;
    }
    std::cout << "Roots:\t" << stats.roots << "\nFolders:\t" << stats.folders << "\nFiles:\t"
              << stats.files << "\nRecords:\t" << stats.records << "\nDeepest level:\t"
              << stats.deepestLevel << "\nUTF-16 names:\t" << stats.utf16Records << '\n';
    if (stats.firstRecordDeep) {
        std::cout << "Defect: the first record is deeper than 0\n";
    }
    if (stats.orphanRecords > 0) {
        std::cout << "Defect: " << stats.orphanRecords
                  << " record(s) climb above the top level and became roots\n";
    }
    if (stats.depthJumps > 0) {
        std::cout << "Defect: " << stats.depthJumps
                  << " record(s) are more than one level below the record before\n";
    }
    if (stats.kindsAbove11 > 0) {
        std::cout << "Defect: " << stats.kindsAbove11 << " record(s) have a kind above 11\n";
    }
    if (stats.truncatedName) {
        std::cout << "Defect: the last name is cut off by the end of the file\n";
    }
    if (stats.truncatedRecord) {
        std::cout << "Defect: the file ends after a kind byte\n";
    }
    if (stats.longNames > 0) {
        std::cout << "Note: " << stats.longNames << " name(s) are longer than 1023 characters\n";
    }
    std::cout << (stats.wellFormed() ? "Well formed\n" : "Not well formed\n");
    return stats.wellFormed() ? kExitOk : kExitDefect;
}

int runList(const Args& args) {
    std::string file;
    if (!singleFileArgument(args, "list", file)) {
        return kExitFailure;
    }
    SnapshotTree tree;
    LoadStats stats;
    if (!loadOrReport(file, tree, stats)) {
        return kExitFailure;
    }
    std::string out;
    walkPreOrder(tree, [&](NodeId node, std::size_t level) {
        out.append(level * 2, ' ');
        out += std::to_string(tree.kind(node));
        out += ' ';
        out += utf16ToDisplay(tree.text(node));
        out += '\n';
        if (out.size() > (1u << 16)) {
            std::cout << out;
            out.clear();
        }
    });
    std::cout << out << std::flush;
    return kExitOk;
}

} // namespace zelvane::cli
