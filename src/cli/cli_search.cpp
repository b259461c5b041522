// zelvane-cli search: the desktop program's search over one or many snapshots, from a shell.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>

#include "cli/cli_common.h"
#include "cli/cli_output.h"
#include "document/node_text.h"
#include "search/name_matchers.h"
#include "search/search_engine.h"
#include "text/utf.h"

namespace zelvane::cli {

namespace {

enum : int {
    kOptPattern = 1,
    kOptGlob,
    kOptRegex,
    kOptFullPath,
    kOptCaseSensitive,
    kOptIgnoreCase,
    kOptDialogRules,
    kOptWhole,
    kOptFilesOnly,
    kOptNoRecursive,
    kOptKind,
    kOptRoot,
    kOptCount,
    kOptQuiet,
    kOptMax,
};

} // namespace

const CommandSpec& specSearch() {
    static const CommandSpec spec = withCommonOptions({
        "search",
        "lists the nodes whose names match a pattern",
        "Usage: zelvane-cli search [OPTIONS] FILE... PATTERN\n"
        "       zelvane-cli search [OPTIONS] -e PATTERN FILE...\n"
        "Searches the names of one or more snapshot files (- is standard input), in the order\n"
        "given, for a pattern found anywhere in a name, letter case ignored by full Unicode\n"
        "case folding (\u00F6 matches \u00D6, \u00DF matches SS), and prints one match a line: "
        "its\n"
        "whole slash path (Root/Folder/name). The desktop program's Search dialog follows\n"
        "another rule, which --dialog-rules gives.\n",
        withOptions(
            {
                {kOptPattern, 'e', "regexp", ValueKind::Text, "PATTERN",
                 "the pattern, whatever it holds (-e -h searches for -h); every\n"
                 "operand is then a FILE"},
                {kOptGlob, 'g', "glob", ValueKind::None, "",
                 "the pattern is a shell wildcard over the whole name: * ? [abc]\n"
                 "[a-z] [!a-z] {jpg,png}, \\ quotes the next character"},
                {kOptRegex, 'E', "regex", ValueKind::None, "",
                 "the pattern is an ICU regular expression, found anywhere in the name"},
                {kOptFullPath, 'p', "full-path", ValueKind::None, "",
                 "match the glob or the regular expression against the whole slash\n"
                 "path; in a glob * and ? then stay within one name and ** crosses\n"
                 "folders (Disk/**/2024/*.jpg)"},
                {kOptCaseSensitive, 's', "case-sensitive", ValueKind::None, "",
                 "letter case must match"},
                {kOptCaseSensitive, '\0', "match-case", ValueKind::None, "",
                 "the same as --case-sensitive"},
                {kOptIgnoreCase, 'i', "ignore-case", ValueKind::None, "",
                 "ignore letter case by full Unicode case folding (the default)"},
                {kOptIgnoreCase, '\0', "ignore-case-unicode", ValueKind::None, "",
                 "the same as --ignore-case"},
                {kOptDialogRules, '\0', "dialog-rules", ValueKind::None, "",
                 "the Search dialog's rule: the pattern anywhere in the stored text\n"
                 "(a folder's begins with one space), only a to z matching A to Z"},
                {kOptWhole, 'x', "whole", ValueKind::None, "",
                 "the whole name must match (a glob always does)"},
                {kOptFilesOnly, '\0', "files-only", ValueKind::None, "",
                 "leave out matching roots and folders (their contents are searched)"},
                {kOptNoRecursive, '\0', "no-recursive", ValueKind::None, "",
                 "examine only the roots"},
                {kOptKind, 't', "kind", ValueKind::Text, "KIND",
                 "only nodes of KIND, a number (0 to 11) or a name (folder, document,\n"
                 "media-file ...); repeat it for several kinds",
                 kindNames()},
                {kOptRoot, '\0', "root", ValueKind::Text, "TITLE",
                 "only below the roots titled TITLE; repeat it for several roots"},
                {kOptCount, 'c', "count", ValueKind::None, "",
                 "print only the number of matches (with several files, FILE:N each)"},
                {kOptQuiet, 'q', "quiet", ValueKind::None, "",
                 "print nothing; the exit status tells whether anything matched"},
                {kOptMax, 'n', "max-results", ValueKind::Number, "N", "stop after N matches"},
            },
            listingOptionSpecs()),
        ValueKind::Snapshot,
        "Text: each match's slash path; with several files, FILE: first; --path-style native\n"
        "prints the Path column and a tab and the stored text instead. -0: each match's whole\n"
        "path as the file system's bytes, followed by a NUL (with several files FILE:PATH).\n"
        "tsv: file, path, name, kind, kind name; json: one object a line with file, path\n"
        "(the stored texts from the root down), name, kind, kindName and fullPath.\n"
        "Then the line \"N matches found.\" on standard error. In text, characters that are\n"
        "not printable are shown as \\xNN or \\uXXXX escapes.\n"
        "Exit status: 0 when something matched, 1 when nothing did, 2 when a file could not be\n"
        "read (the others are still searched) or the arguments are wrong.\n",
    });
    return spec;
}

namespace {

struct SearchRequest {
    SearchOptions dialog;
    NameMatchOptions names;
    bool dialogRules = false; // the Search dialog's own engine
    bool patternLast = false; // the pattern was the last operand, not -e's
    OutputOptions output;
    std::vector<std::string_view> files;
    std::vector<int> kinds; // empty: every kind
    std::vector<std::u16string> roots;
    bool count = false;
    bool quiet = false;
    std::size_t maxResults = static_cast<std::size_t>(-1);
};

// KIND as a number from 0 to 11 or a name of the kind table; -1 when it is neither.
int kindNamed(std::string_view text) {
    for (int kind = 0; kind < kKindCount; ++kind) {
        if (text == kindName(kind) || text == std::to_string(kind)) {
            return kind;
        }
    }
    return -1;
}

std::optional<SearchRequest> parseArguments(const CommandLine& line) {
    const auto options = outputOptionsOf("search", line);
    if (!options) {
        return std::nullopt;
    }
    SearchRequest request;
    request.output = *options;
    request.files = line.operands;
    std::optional<std::string_view> pattern = line.last(kOptPattern);
    if (!pattern) {
        if (request.files.size() < 2) {
            usageError("search", "a snapshot file and a pattern are needed");
            return std::nullopt;
        }
        pattern = request.files.back();
        request.files.pop_back();
        request.patternLast = true;
    } else if (request.files.empty()) {
        usageError("search", "a snapshot file is needed");
        return std::nullopt;
    }
    if (std::find(request.files.begin(), request.files.end(), "") != request.files.end()) {
        reportFileError("", ENOENT); // before any other file is searched
        return std::nullopt;
    }
    if (pattern->empty()) {
        usageError("search", "the pattern is empty");
        return std::nullopt;
    }
    const bool glob = line.has(kOptGlob);
    const bool regex = line.has(kOptRegex);
    if (glob && regex) {
        usageError("search", "--glob and --regex do not go together");
        return std::nullopt;
    }
    request.dialogRules = line.has(kOptDialogRules);
    if (request.dialogRules && (glob || regex || line.has(kOptFullPath))) {
        usageError("search", "--dialog-rules does not go with --glob, --regex or --full-path");
        return std::nullopt;
    }
    // The last of -s and -i counts, as in grep.
    bool exact = false;
    for (const GivenOption& o : line.options) {
        exact = o.id == kOptCaseSensitive ? true : o.id == kOptIgnoreCase ? false : exact;
    }
    for (const GivenOption& o : line.options) {
        if (o.id == kOptKind) {
            const int kind = kindNamed(o.value);
            if (kind < 0) {
                usageError("search", "the kind is a number from 0 to 11 or a name such as "
                                     "folder or document, not '" +
                                         displayArgument(o.value) + "'");
                return std::nullopt;
            }
            request.kinds.push_back(kind);
        } else if (o.id == kOptRoot) {
            request.roots.push_back(utf8ToUtf16(o.value));
        }
    }
    request.count = line.has(kOptCount);
    request.quiet = line.has(kOptQuiet);
    if (line.has(kOptMax)) {
        request.maxResults = numberValue(*line.last(kOptMax));
    }
    request.dialog.pattern = utf8ToUtf16(*pattern);
    request.dialog.isMatchCase = exact;
    request.dialog.isMatchWholePatternOnly = line.has(kOptWhole);
    request.dialog.isFilesOnly = line.has(kOptFilesOnly);
    request.dialog.isRecursiveSearch = !line.has(kOptNoRecursive);
    request.names.syntax = glob    ? MatchSyntax::Glob
                           : regex ? MatchSyntax::Regex
                                   : MatchSyntax::Plain;
    request.names.caseRule = exact ? CaseRule::Exact : CaseRule::Unicode;
    request.names.whole = request.dialog.isMatchWholePatternOnly;
    request.names.fullPath = line.has(kOptFullPath);
    return request;
}

// Whether a node of kind, under the root of rootText and rootKind, passes --kind and --root.
bool wanted(int kind, std::u16string_view rootText, int rootKind, const SearchRequest& request) {
    if (!request.kinds.empty() &&
        std::find(request.kinds.begin(), request.kinds.end(), kind) == request.kinds.end()) {
        return false;
    }
    if (request.roots.empty()) {
        return true;
    }
    const std::u16string_view title = listedName(rootText, rootKind, true);
    return std::find(request.roots.begin(), request.roots.end(), title) != request.roots.end();
}

bool wanted(const SnapshotTree& tree, NodeId node, const SearchRequest& request) {
    NodeId root = node;
    while (tree.parent(root) != kNoNode) {
        root = tree.parent(root);
    }
    std::u16string wide;
    return wanted(tree.kind(node), tree.text(root).utf16(wide), tree.kind(root), request);
}

// What a search of one file found.
struct FileMatches {
    LoadStats stats;
    std::size_t found = 0;
};

// The matches in a part of a file, tested (and their rows written) on a helper thread.
class FoundPart final : public TextPart {
public:
    FoundPart(std::string_view file, const SearchRequest& request, bool listed, bool severalFiles,
              const std::atomic<bool>& enough)
        : test_(compiled(matcher_, request), request.dialog.isRecursiveSearch,
                request.dialog.isFilesOnly),
          file_(file), request_(request), listed_(listed), severalFiles_(severalFiles),
          enough_(enough) {}
    bool visit(const ReadChain& chain) override;
    // Empties what the part found, for another part.
    void clear() {
        text.clear();
        ends.clear();
        unlisted = 0;
        slowAt.reset();
        fresh_ = true;
    }

    std::vector<std::size_t> ends;     // where each row ends in text
    std::size_t unlisted = 0;          // matches counted without a row
    std::optional<std::string> slowAt; // the path at which the pattern was too slow

private:
    // The matcher, made ready for the test that is made with it.
    static NameMatcher& compiled(NameMatcher& matcher, const SearchRequest& request) {
        std::string error; // compiled once already
        matcher.compile(request.dialog.pattern, request.names, error);
        return matcher;
    }

    NameMatcher matcher_;
    PreOrderNameTest test_;
    std::string_view file_;
    const SearchRequest& request_;
    bool listed_;
    bool severalFiles_;
    const std::atomic<bool>& enough_; // the most wanted matches are found
    NodeRow row_;
    bool fresh_ = true; // no node of the part met yet
};

bool FoundPart::visit(const ReadChain& chain) {
    const std::size_t level = chain.size() - 1;
    if (fresh_) { // the part may start below the roots
        for (std::size_t up = 0; up < level; ++up) {
            test_.follow(up, chain.stored(up), chain.kind(up));
        }
        fresh_ = false;
    }
    if (!test_.matches(level, chain.stored(level), chain.kind(level))) {
        if (test_.tooSlow()) {
            describeNode(file_, chain, row_);
            slowAt.emplace();
            appendWholePath(*slowAt, row_, PathStyle::Slash, Escape::Display);
            return false;
        }
        return true;
    }
    if (enough_.load(std::memory_order_relaxed) ||
        !wanted(chain.kind(level), chain.text(0), chain.kind(0), request_)) {
        return true;
    }
    if (listed_) {
        describeNode(file_, chain, row_);
        appendFoundRow(text, row_, request_.output, severalFiles_);
        ends.push_back(text.size());
    } else {
        ++unlisted;
    }
    return true;
}

// The name search of one file, matched while the file is read, a part at a time on the
// helper threads: no tree is built, and the rows, written to out in the file's order, are
// those of a search of the loaded tree. Matches past the most wanted are not counted, but
// the file is read to its end, for its errors (unless out fails). nullopt when the pattern
// was too slow (told).
std::optional<FileMatches> searchWhileReading(std::string_view file,
                                              const std::vector<std::string>& needles,
                                              const SearchRequest& request, std::size_t before,
                                              bool listed, bool severalFiles, Output& out) {
    FileMatches result;
    std::atomic<bool> enough = before >= request.maxResults;
    bool slow = false;
    result.stats = visitSnapshotFileInParts(
        inputPath(file),
        [&] { return std::make_unique<FoundPart>(file, request, listed, severalFiles, enough); },
        [&](PartVisitor& visitor) {
            auto& part = static_cast<FoundPart&>(visitor);
            const std::size_t room = request.maxResults - (before + result.found);
            const std::size_t taken = std::min(part.ends.size() + part.unlisted, room);
            if (listed && taken > 0) {
                out.put(std::string_view(part.text).substr(0, part.ends[taken - 1]));
            }
            result.found += taken;
            enough = before + result.found >= request.maxResults;
            if (part.slowAt) {
                std::cerr << "zelvane-cli: pattern too slow for " << *part.slowAt << '\n';
                slow = true;
            }
            part.clear();
            return !slow && !out.failed();
        },
        {}, needles);
    if (slow) {
        return std::nullopt;
    }
    return result;
}

// The hint for "search PATTERN FILE", grep's order: the file was not found and the last
// operand, taken for the pattern, is a file.
void hintAtOrder(const SearchRequest& request, int error) {
    struct stat st;
    const std::string last = utf16ToUtf8(request.dialog.pattern);
    if (request.patternLast && error == ENOENT && ::stat(last.c_str(), &st) == 0) {
        std::cerr << "zelvane-cli search: hint: the pattern comes after the files (search "
                  << displayArgument(last) << " PATTERN), or give it with -e PATTERN\n";
    }
}

} // namespace

int runSearch(const CommandLine& line) {
    const std::optional<SearchRequest> request = parseArguments(line);
    if (!request) {
        return kExitFailure;
    }
    NameMatcher matcher;
    if (!request->dialogRules) {
        std::string error;
        if (!matcher.compile(request->dialog.pattern, request->names, error)) {
            return usageError("search", error);
        }
    }

    // What every name the pattern matches holds: most of a large file need not be matched.
    const std::vector<std::string> needles = needlesFor(matcher.requiredUnits());
    bool unreadable = false;
    bool hinted = false;
    std::size_t total = 0;
    const bool severalFiles = request->files.size() > 1;
    const bool listed = !request->count && !request->quiet;
    const bool counted = request->count && !request->quiet;
    SnapshotTree tree;
    SearchEngine engine;
    SearchResults results;
    std::vector<NodeId> nodes;
    NodeRow row;
    const bool written = writeOutput(line, request->files, [&](Output& out) {
        for (std::string_view file : request->files) {
            if (total >= request->maxResults) {
                break;
            }
            std::optional<FileMatches> matches;
            LoadStats stats;
            if (!request->dialogRules) {
                matches =
                    searchWhileReading(file, needles, *request, total, listed, severalFiles, out);
                if (!matches || out.failed()) {
                    return false;
                }
                stats = matches->stats;
            }
            if (matches ? !readOrReport(file, stats) : !loadOrReport(file, tree, stats)) {
                if (!hinted) {
                    hintAtOrder(*request, stats.error);
                    hinted = true;
                }
                unreadable = true;
                continue;
            }
            std::size_t found = 0;
            nodes.clear();
            if (matches) {
                found = matches->found;
            } else {
                engine.run(tree, request->dialog, results);
                nodes.reserve(results.size());
                for (std::size_t i = 0; i < results.size(); ++i) {
                    nodes.push_back(results.node(i));
                }
                results.clear();
            }
            for (const NodeId node : nodes) {
                if (total + found >= request->maxResults) {
                    break;
                }
                if (!wanted(tree, node, *request)) {
                    continue;
                }
                ++found;
                if (listed) {
                    describeNode(file, tree, node, row);
                    appendFoundRow(out.buffer(), row, request->output, severalFiles);
                    out.flushIfFull();
                    if (out.failed()) {
                        return false;
                    }
                }
            }
            if (counted) {
                if (severalFiles) {
                    out.buffer().append(displayArgument(file)).append(":");
                }
                out.buffer().append(std::to_string(found)).append("\n");
            }
            total += found;
        }
        return !out.failed();
    });
    if (!written) {
        return kExitFailure;
    }
    if (listed) {
        std::cerr << total << (total == 1 ? " match found.\n" : " matches found.\n") << std::flush;
    }
    if (unreadable) {
        return kExitFailure;
    }
    return total > 0 ? kExitOk : kExitDefect;
}

} // namespace zelvane::cli
