// zelvane-cli search: the desktop program's search over one or many snapshots, from a shell.
#include <iostream>
#include <optional>
#include <string>

#include "cli/cli_common.h"
#include "cli/cli_output.h"
#include "search/name_matchers.h"
#include "search/search_engine.h"
#include "text/utf.h"

namespace zelvane::cli {

extern const char kSearchUsage[] =
    "Usage: zelvane-cli search FILE... PATTERN [OPTIONS]\n"
    "       zelvane-cli search -e PATTERN FILE... [OPTIONS]\n"
    "Searches the names of one or more snapshot files (- is standard input) as the Search\n"
    "dialog does: the pattern is found anywhere in a node's stored text (a folder's text\n"
    "begins with one space), with the letters a to z matching A to Z, and no character is\n"
    "a wildcard. The files are searched in the order given.\n"
    "  -e PATTERN             the pattern; every other argument is then a FILE\n"
    "  --match-case           letter case must match too\n"
    "  --whole                the whole stored text must equal the pattern\n"
    "  --files-only           matching roots and folders are not listed (their contents are)\n"
    "  --no-recursive         only the roots are examined\n"
    "  --glob                 the pattern is a shell wildcard (* ? [...] [!...], \\ quotes)\n"
    "                         over the whole name (a folder's without its leading space)\n"
    "  --regex                the pattern is an ICU regular expression, found anywhere in\n"
    "                         the name (the whole name with --whole); case is ignored by\n"
    "                         ICU's Unicode rules unless --match-case\n"
    "  --ignore-case-unicode  ignore letter case by full Unicode case folding (\u00DF matches SS)\n"
    "                         instead of a to z only\n"
    "  --format text|tsv|json text: the path, a tab, the stored text (with several files,\n"
    "                         the file and a colon first); tsv: file, path, name, kind, kind\n"
    "                         name; json: one object a line with file, path (the texts from\n"
    "                         the root down), name, kind and kindName\n"
    "  -0, --null             each match's whole path, as stored, followed by a NUL (with\n"
    "                         several files: the file and a NUL first)\n"
    "  --path-style slash     paths as Root/Folder/name, without the folders' leading spaces\n"
    "  --kinds numbers|names  text: add a tab and the node's kind to each line\n"
    "  --                     every argument after it is a FILE or the PATTERN\n"
    "Then the line \"N matches found.\" on standard error. In text, characters that are not\n"
    "printable are shown as \\xNN or \\uXXXX escapes.\n"
    "Exit status: 0 when something matched, 1 when nothing did, 2 when a file could not be\n"
    "read (the others are still searched) or the arguments are wrong.\n";

namespace {

struct SearchRequest {
    SearchOptions dialog;
    NameMatchOptions names;
    bool ownMatcher = false; // --glob, --regex or --ignore-case-unicode
    OutputOptions output;
    std::vector<std::string_view> files;
};

std::optional<SearchRequest> parseArguments(const Args& args) {
    SearchRequest request;
    std::vector<std::string_view> positional;
    std::optional<std::string_view> pattern;
    bool glob = false;
    bool regex = false;
    bool unicode = false;
    const bool read = readArguments(args, positional, [&](std::string_view a, std::size_t& i) {
        if (a == "--match-case") {
            request.dialog.isMatchCase = true;
        } else if (a == "--whole") {
            request.dialog.isMatchWholePatternOnly = true;
        } else if (a == "--files-only") {
            request.dialog.isFilesOnly = true;
        } else if (a == "--no-recursive") {
            request.dialog.isRecursiveSearch = false;
        } else if (a == "--glob") {
            glob = true;
        } else if (a == "--regex") {
            regex = true;
        } else if (a == "--ignore-case-unicode") {
            unicode = true;
        } else if (a == "-e") {
            if (i + 1 >= args.size()) {
                usageError("search", "-e needs a pattern");
                return false;
            }
            pattern = args[++i];
        } else {
            return takeOutputOption("search", args, i, request.output);
        }
        return true;
    });
    if (!read) {
        return std::nullopt;
    }
    if (!pattern) {
        if (positional.size() < 2) {
            usageError("search", "a snapshot file and a pattern are needed");
            return std::nullopt;
        }
        pattern = positional.back();
        positional.pop_back();
    } else if (positional.empty()) {
        usageError("search", "a snapshot file is needed");
        return std::nullopt;
    }
    for (std::string_view file : positional) {
        if (file.empty()) {
            usageError("search", "the snapshot file name is empty");
            return std::nullopt;
        }
    }
    if (pattern->empty()) {
        usageError("search", "the pattern is empty");
        return std::nullopt;
    }
    if (glob && regex) {
        usageError("search", "--glob and --regex do not go together");
        return std::nullopt;
    }
    if (unicode && request.dialog.isMatchCase) {
        usageError("search", "--ignore-case-unicode and --match-case do not go together");
        return std::nullopt;
    }
    if (!checkOutputOptions("search", request.output)) {
        return std::nullopt;
    }
    request.files = std::move(positional);
    request.dialog.pattern = utf8ToUtf16(*pattern);
    request.ownMatcher = glob || regex || unicode;
    request.names.syntax = glob    ? MatchSyntax::Glob
                           : regex ? MatchSyntax::Regex
                                   : MatchSyntax::Plain;
    request.names.caseRule = request.dialog.isMatchCase ? CaseRule::Exact
                             : unicode                  ? CaseRule::Unicode
                                                        : CaseRule::AsciiLetters;
    request.names.whole = request.dialog.isMatchWholePatternOnly;
    return request;
}

void appendRow(std::string& out, const NodeRow& row, const OutputOptions& options,
               bool severalFiles) {
    if (options.null) {
        if (severalFiles) {
            out += row.file;
            out += '\0';
        }
        appendWholePath(out, row, options.pathStyle, Escape::Raw);
        out += '\0';
        return;
    }
    switch (options.format) {
    case Format::Json:
        appendJsonObject(out, row);
        break;
    case Format::Tsv:
        appendTsvFields(out, row, options.pathStyle);
        break;
    case Format::Text:
        if (severalFiles) {
            out += displayArgument(row.file);
            out += ':';
        }
        if (options.pathStyle == PathStyle::Slash) {
            appendWholePath(out, row, PathStyle::Slash, Escape::Display);
        } else {
            appendPath(out, row, PathStyle::Native, Escape::Display);
            out += '\t';
            appendName(out, row, PathStyle::Native, Escape::Display);
        }
        if (options.kindsShown) {
            out += '\t';
            out += options.kinds == KindStyle::Names ? std::string(kindName(row.kind))
                                                     : std::to_string(row.kind);
        }
        break;
    }
    out += '\n';
}

} // namespace

int runSearch(const Args& args) {
    const std::optional<SearchRequest> request = parseArguments(args);
    if (!request) {
        return kExitFailure;
    }
    NameMatcher matcher;
    if (request->ownMatcher) {
        std::string error;
        if (!matcher.compile(request->dialog.pattern, request->names, error)) {
            return usageError("search", error);
        }
    }

    Output out;
    bool unreadable = false;
    std::size_t total = 0;
    const bool severalFiles = request->files.size() > 1;
    SnapshotTree tree;
    SearchEngine engine;
    SearchResults results;
    std::vector<NodeId> nodes;
    NodeRow row;
    for (std::string_view file : request->files) {
        LoadStats stats;
        if (!loadOrReport(file, tree, stats)) {
            unreadable = true;
            continue;
        }
        nodes.clear();
        if (request->ownMatcher) {
            searchNames(tree, matcher, request->dialog.isRecursiveSearch,
                        request->dialog.isFilesOnly, nodes);
        } else {
            engine.run(tree, request->dialog, results);
            nodes.reserve(results.size());
            for (std::size_t i = 0; i < results.size(); ++i) {
                nodes.push_back(results.node(i));
            }
            results.clear();
        }
        for (const NodeId node : nodes) {
            describeNode(file, tree, node, row);
            appendRow(out.buffer(), row, request->output, severalFiles);
            out.flushIfFull();
            if (out.failed()) {
                return kExitFailure;
            }
        }
        total += nodes.size();
    }
    if (!out.finish()) {
        return kExitFailure;
    }
    std::cerr << total << " matches found.\n" << std::flush;
    if (unreadable) {
        return kExitFailure;
    }
    return total > 0 ? kExitOk : kExitDefect;
}

} // namespace zelvane::cli
