// The command line's escapes in each form (C1 controls, kept bytes of names that are not
// UTF-8, lone surrogates, text that turns the line around), its checked writer, and the
// rows of a search made while a file is read.
#include "support/test_common.h"

#include "cli/cli_common.h"
#include "cli/cli_output.h"
#include "document/node_text.h"
#include "search/name_matchers.h"
#include "support/temp_tree.h"
#include "text/utf.h"

namespace zelvane::cli {
namespace {

constexpr std::size_t kNoDepth = static_cast<std::size_t>(-1);

TEST(CliOutput, EscapesEachOddCharacterInEachForm) {
    // text, then as shown, in TSV ("=": as shown) and in JSON, unquoted ("=": as in TSV)
    const std::tuple<std::u16string, std::string, std::string, std::string> cases[] = {
        {u"plain.txt", "plain.txt", "=", "="},
        {u"q\"", "q\"", "=", "q\\\""},
        {u"t\tn\nr\r", "t\\x09n\\x0Ar\\x0D", "t\\tn\\nr\\r", "="},
        {u"\x1B]0;x\a", "\\x1B]0;x\\x07", "=", "\\u001B]0;x\\u0007"},
        {u"\x1F\x20\x7E\x7F", "\\x1F ~\\x7F", "=", "\\u001F ~\\u007F"},
        {u"\x80\x9F\xA0\xFF", "\\u0080\\u009F\u00A0\u00FF", "=", "="},
        {u"b\xDCE9", "b\\xE9", "=", "b\\uDCE9"},
        {std::u16string(u"\xD800x", 2), "\\uD800x", "=", "="},
        {u"\xDC7F\xDC80\xDCFF\xDD00", "\\uDC7F\\x80\\xFF\\uDD00", "=",
         "\\uDC7F\\uDC80\\uDCFF\\uDD00"},
        {u"\xDBFF", "\\uDBFF", "=", "="},
        {u"\xDFFF\xE000", "\\uDFFF\uE000", "=", "="},
        {u"\x061C\x200D\x200E\x200F", "\\u061C\u200D\\u200E\\u200F", "=", "="},
        {u"\x2027\x2028\x202E\x202F", "\u2027\\u2028\\u202E\u202F", "=", "="},
        {u"\x2065\x2066\x2069\x206A", "\u2065\\u2066\\u2069\u206A", "=", "="},
        {u"\u03A9 \u65E5\U0001F600\U00010000\U0010FFFF",
         "\u03A9 \u65E5\U0001F600\U00010000\U0010FFFF", "=", "="},
        {u"", "", "=", "="},
    };
    for (auto [text, display, tsv, json] : cases) {
        tsv = tsv == "=" ? display : tsv;
        json = '"' + (json == "=" ? tsv : json) + '"';
        // Each view ends where its text goes on, with a low surrogate that must not be read.
        const std::u16string padded = text + u"\xDC00";
        const std::u16string_view view(padded.data(), text.size());
        std::string out;
        for (const Escape form : {Escape::Display, Escape::Tsv, Escape::Json}) {
            appendEscaped(out, view, form);
            out += '|';
        }
        EXPECT_EQ(out, display + '|' + tsv + '|' + json + '|');
    }
}

TEST(CliOutputWriter, WritesWholeBlocksAndTellsAFailureOnce) {
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    Output out(full);
    out.buffer() = std::string(1000, 'a');
    ::testing::internal::CaptureStderr();
    out.flushIfFull(); // under one block: kept, nothing written yet
    EXPECT_EQ(std::pair(out.buffer().size(), out.failed()), std::pair(std::size_t{1000}, false));
    out.buffer() += std::string(70000, 'b');
    out.flushIfFull();
    EXPECT_EQ(std::pair(out.buffer().size(), out.failed()), std::pair(std::size_t{0}, true));
    out.buffer().assign(1, 'y'); // not = "y": GCC 12 at -O3 warns of an overlapping copy
    EXPECT_FALSE(out.finish());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "zelvane-cli: cannot write the output: No space left on device\n");
    ::close(full);
}

// Fifty random records at the depths of a round, of names made of letters: damaged files
// too (jumps, orphans).
std::string randomRecords(std::mt19937& random, int round,
                          std::u16string_view letters = u"abcAB ") {
    std::string bytes;
    for (int i = 0, depth = round % 3; i < 50; ++i) {
        bytes.append({static_cast<char>(random() % 12), static_cast<char>(depth), '\xFF', '\xFF'});
        for (auto k = random() % 4; k > 0; --k) {
            const char16_t unit = letters[random() % letters.size()];
            bytes.append({static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)});
        }
        bytes.append(2, '\0');
        depth = std::max(0, depth + static_cast<int>(random() % 4) - (random() % 3 == 0 ? 3 : 1));
    }
    return bytes;
}

// Matching while a file is read finds the rows of a search of the tree the same read builds,
// in their order, in random files (damaged ones too) under each way of matching.
TEST(CliOutput, RowsFoundWhileReadingAreThoseOfTheLoadedTree) {
    using enum MatchSyntax;
    // pattern, syntax, recursive, files only, full path
    const std::tuple<const char16_t*, MatchSyntax, bool, bool, bool> cases[] = {
        {u"a", Plain, true, false, false},  {u"b*", Glob, true, true, false},
        {u"*/a*", Glob, true, false, true}, {u"A", Plain, false, false, false},
        {u"**/ab", Glob, true, true, true}, {u"*b", Glob, false, false, true}};
    std::mt19937 random(3);
    testing::TempTree dir;
    const std::string file = dir.at("r.zelv");
    NodeRow streamed; // one row for every read, as a row may be
    for (int round = 0; round < 30; ++round) {
        testing::writeBytes(file, randomRecords(random, round));
        SnapshotTree tree;
        readSnapshotFile(file, tree);
        for (const auto& [pattern, syntax, recursive, filesOnly, fullPath] : cases) {
            NameMatcher matcher;
            std::string error;
            ASSERT_TRUE(
                matcher.compile(pattern, {syntax, CaseRule::Exact, false, fullPath}, error));
            std::vector<NodeId> nodes;
            searchNames(tree, matcher, recursive, filesOnly, nodes);
            NodeRow row;
            std::string fromTree, whileReading, oracle;
            for (const NodeId node : nodes) {
                describeNode("f", tree, node, row);
                appendJsonObject(fromTree, row);
            }
            walkPreOrder(tree, [&](NodeId node, std::size_t level) { // each node on its own
                describeNode("f", tree, node, row);
                std::u16string text = fullPath ? slashPath(row.path) : u"";
                appendSlashStep(text, !fullPath || level == 0, matchedText(tree, node));
                if ((recursive || level == 0) && matcher.matches(text) &&
                    !(filesOnly && isContainerKind(row.kind))) {
                    appendJsonObject(oracle, row);
                }
            });
            EXPECT_EQ(fromTree, oracle) << round;
            PreOrderNameTest test(matcher, recursive, filesOnly);
            visitSnapshotFile(file, [&](const ReadChain& chain) {
                const std::size_t level = chain.size() - 1;
                if (test.matches(level, chain.text(level), chain.kind(level))) {
                    describeNode("f", chain, streamed);
                    appendJsonObject(whileReading, streamed);
                }
                return true;
            });
            EXPECT_EQ(whileReading, fromTree)
                << round << " " << static_cast<int>(syntax) << recursive << filesOnly << fullPath;
        }
    }
}

// A list made while the file is read holds the rows of the loaded tree, in its order, in
// every form, for the whole file and for the nodes at a path, at every depth.
TEST(CliOutput, ListedWhileReadingAreTheRowsOfTheLoadedTree) {
    std::mt19937 random(5);
    testing::TempTree dir;
    const std::string file = dir.at("r.zelv"), out = dir.at("out");
    const std::vector<std::vector<std::string_view>> forms = {
        {},
        {"--kinds", "names"},
        {"--path-style", "slash"},
        {"--format", "tsv"},
        {"--format", "tsv", "--path-style", "native"},
        {"--format", "json"},
        {"-0"},
        {"-0", "--path-style", "native"}};
    for (int round = 0; round < 20; ++round) {
        testing::writeBytes(file, randomRecords(random, round, u"abcA \\\t\u00E9\u0444\u202E"));
        SnapshotTree tree;
        readSnapshotFile(file, tree);
        NodeRow row;
        auto whole = [&](NodeId node, PathStyle style, Escape escape) {
            describeNode(file, tree, node, row);
            std::string text;
            appendWholePath(text, row, style, escape);
            return text;
        };
        // A path names the nodes it leads to when no name on the way is empty.
        auto named = [&](NodeId node) {
            for (; tree.parent(node) != kNoNode; node = tree.parent(node)) {
                if (listedName(tree.text(node), tree.kind(node), false).empty()) {
                    return false;
                }
            }
            return true;
        };
        std::string path = "x";
        walkPreOrder(tree, [&](NodeId node, std::size_t) {
            path = named(node) && random() % 8 == 0 ? whole(node, PathStyle::Slash, Escape::Raw)
                                                    : path;
        });
        for (std::size_t form = 0; form < forms.size(); ++form) {
            for (const auto& [withPath, depth] :
                 {std::pair{false, kNoDepth}, {false, 1}, {true, kNoDepth}, {true, 0}}) {
                std::string expected;
                std::size_t start = kNoDepth; // the level of the node at path being listed
                walkPreOrder(tree, [&](NodeId node, std::size_t level) {
                    start = start != kNoDepth && level <= start ? kNoDepth : start;
                    if (withPath && start == kNoDepth && named(node) &&
                        whole(node, PathStyle::Slash, Escape::Raw) == path) {
                        start = level;
                    }
                    const std::size_t at = !withPath           ? level
                                           : start == kNoDepth ? kNoDepth
                                                               : level - start;
                    if (at == kNoDepth || at > depth) {
                        return;
                    }
                    const int kind = tree.kind(node);
                    const std::string names =
                        form == 1 ? std::string(kindName(kind)) : std::to_string(kind);
                    describeNode(file, tree, node, row);
                    if (form < 2) {
                        expected.append(at * 2, ' ').append(names).append(" ");
                        appendDisplay(expected, tree.text(node));
                    } else if (form == 2) {
                        expected.append(names).append(" ").append(
                            whole(node, PathStyle::Slash, Escape::Display));
                    } else if (form < 5) {
                        appendTsvFields(expected, row,
                                        form == 3 ? PathStyle::Slash : PathStyle::Native);
                    } else if (form == 5) {
                        appendJsonObject(expected, row);
                    }
                    expected += form < 6
                                    ? "\n"
                                    : whole(node, form == 6 ? PathStyle::Slash : PathStyle::Native,
                                            Escape::Raw) +
                                          '\0';
                });
                Args args = {file};
                args.insert(args.end(), forms[form].begin(), forms[form].end());
                const std::string depthText = std::to_string(depth);
                if (withPath) {
                    args.push_back(path);
                }
                if (depth != kNoDepth) {
                    args.insert(args.end(), {"--depth", depthText});
                }
                args.insert(args.end(), {"-o", out});
                testing::writeBytes(out, "");
                EXPECT_EQ(runCommand("list", args), withPath && expected.empty() ? 1 : 0);
                EXPECT_EQ(testing::readBytes(out), expected)
                    << round << " " << form << withPath << depth;
            }
        }
    }
}

// An export made while the files are read holds the rows of their loaded trees, in order.
TEST(CliOutput, ExportedWhileReadingAreTheRowsOfTheLoadedTrees) {
    std::mt19937 random(7);
    testing::TempTree dir;
    const std::string files[] = {dir.at("a.zelv"), dir.at("b.zelv")}, out = dir.at("out");
    for (int round = 0; round < 10; ++round) {
        std::string csv = "path,name,kind,kind_name,depth\r\n", json, names, depths, kinds;
        for (const std::string& file : files) {
            testing::writeBytes(file, randomRecords(random, round));
            SnapshotTree tree;
            readSnapshotFile(file, tree);
            NodeRow row;
            walkPreOrder(tree, [&](NodeId node, std::size_t level) {
                describeNode(file, tree, node, row);
                appendWholePath(csv, row, PathStyle::Slash, Escape::Raw);
                csv += ',';
                appendName(csv, row, PathStyle::Slash, Escape::Raw);
                csv.append(",").append(std::to_string(row.kind)).append(",");
                csv.append(kindName(row.kind))
                    .append(",")
                    .append(std::to_string(level))
                    .append("\r\n");
                appendJsonObject(json, row);
                json += '\n';
                names.append(depths.empty() ? "" : "\\u0000").append(utf16ToUtf8(row.name));
                depths += static_cast<char>('0' + level);
                kinds += static_cast<char>('0' + row.kind);
            });
        }
        const std::string page =
            "\"names\":\"" + names + "\",\"depth\":\"" + depths + "\",\"kind\":\"" + kinds + "\"}";
        for (const auto& [format, expected] :
             {std::pair{"csv", csv}, {"json", json}, {"html", page}}) {
            EXPECT_EQ(runCommand("export", {files[0], files[1], "-f", format, "-o", out}), 0);
            const std::string written = testing::readBytes(out);
            EXPECT_EQ(expected == page ? written.substr(written.find("\"names\""), page.size())
                                       : written,
                      expected)
                << round;
        }
    }
}

} // namespace
} // namespace zelvane::cli
