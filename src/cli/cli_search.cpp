// zelvane-cli search: the desktop program's search, from a shell.
#include <iostream>
#include <string>

#include "cli/cli_common.h"
#include "search/search_engine.h"
#include "text/utf.h"

namespace zelvane::cli {

extern const char kSearchUsage[] =
    "Usage: zelvane-cli search FILE PATTERN [--match-case] [--whole] [--files-only]\n"
    "                          [--no-recursive]\n"
    "Searches the names of a snapshot file as the Search dialog does: the pattern is found\n"
    "anywhere in a node's stored text (a folder's text begins with one space), with the\n"
    "letters a to z matching A to Z, and no character is a wildcard.\n"
    "  --match-case     letter case must match too\n"
    "  --whole          the whole stored text must equal the pattern\n"
    "  --files-only     matching roots and folders are not listed (their contents are)\n"
    "  --no-recursive   only the roots are examined\n"
    "  --               every argument after it is FILE or PATTERN, even if it begins with -\n"
    "Prints one line a match, in the order of the tree: the path, a tab, the stored text;\n"
    "then the line \"N matches found.\". Characters that are not printable text are shown\n"
    "as \\xNN or \\uXXXX escapes, and a backslash as \\\\.\n"
    "Exit status: 0, or 2 when the file cannot be read or the arguments are wrong.\n";

int runSearch(const Args& args) {
    SearchOptions options;
    std::vector<std::string_view> positional;
    bool flagsEnded = false;
    for (std::string_view a : args) {
        if (!flagsEnded && a.size() > 1 && a[0] == '-') {
            if (a == "--") {
                flagsEnded = true;
            } else if (a == "--match-case") {
                options.isMatchCase = true;
            } else if (a == "--whole") {
                options.isMatchWholePatternOnly = true;
            } else if (a == "--files-only") {
                options.isFilesOnly = true;
            } else if (a == "--no-recursive") {
                options.isRecursiveSearch = false;
            } else {
                return usageError("search", "unknown option '" + std::string(a) + "'");
            }
            continue;
        }
        positional.push_back(a);
    }
    if (positional.size() != 2) {
        return usageError("search", positional.size() < 2
                                        ? "a snapshot file and a pattern are needed"
                                        : "one snapshot file and one pattern, please");
    }
    if (positional[0].empty()) {
        return usageError("search", "the snapshot file name is empty");
    }
    if (positional[1].empty()) {
        return usageError("search", "the pattern is empty");
    }
    options.pattern = utf8ToUtf16(positional[1]);

    const std::string file(positional[0]);
    SnapshotTree tree;
    LoadStats stats;
    if (!loadOrReport(file, tree, stats)) {
        return kExitFailure;
    }

    SearchEngine engine;
    SearchResults results;
    engine.run(tree, options, results);

    std::string out;
    std::u16string path;
    for (std::size_t i = 0; i < results.size(); ++i) {
        path.clear();
        results.appendPath(i, path);
        out += utf16ToDisplay(path);
        out += '\t';
        out += utf16ToDisplay(results.item(i));
        out += '\n';
        if (out.size() > (1u << 16)) {
            std::cout << out;
            out.clear();
        }
    }
    out += std::to_string(engine.matchCount());
    out += " matches found.\n";
    std::cout << out << std::flush;
    return kExitOk;
}

} // namespace zelvane::cli
