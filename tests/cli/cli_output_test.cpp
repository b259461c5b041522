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

// Fifty random records at the depths of a round, of names made of letters (the first one
// most), at least shortest long (a fifth of them long enough for every block the escapes
// read at once), in either form: damaged files too (jumps, orphans).
std::string randomRecords(std::mt19937& random, int round, std::u16string_view letters = u"abcAB ",
                          unsigned shortest = 0) {
    std::string bytes;
    for (int i = 0, depth = round % 3; i < 50; ++i) {
        std::u16string pool(letters), name(random() % (i % 5 == 0 ? 40 : 4) + shortest, u' ');
        const bool narrow = random() % 2 == 0; // of the letters up to U+00FF
        std::erase_if(pool, [narrow](char16_t u) { return narrow && u > 0xFF; });
        std::generate(name.begin(), name.end(), [&] { // long runs of the first letter too
            return pool[random() % 2 == 0 ? 0 : random() % pool.size()];
        });
        bytes.append({static_cast<char>(random() % 12), static_cast<char>(depth)});
        if (narrow) {
            bytes.append(name.begin(), name.end()).push_back('\0');
        } else {
            bytes.append({'\xFF', '\xFF'});
            for (const char16_t unit : name) {
                bytes.append({static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)});
            }
            bytes.append(2, '\0');
        }
        depth = std::max(0, depth + static_cast<int>(random() % 4) - (random() % 3 == 0 ? 3 : 1));
    }
    return bytes;
}

// A search made while a file is read, a few bytes a part, finds the rows of a search of
// the tree the same read builds, in their order, in random files (damaged ones too) under
// each way of matching, the most wanted cutting them short.
TEST(CliOutput, RowsFoundWhileReadingAreThoseOfTheLoadedTree) {
    using enum MatchSyntax;
    // pattern, syntax, recursive, files only, full path
    const std::tuple<const char16_t*, MatchSyntax, bool, bool, bool> cases[] = {
        {u"a", Plain, true, false, false},  {u"b*", Glob, true, true, false},
        {u"*/a*", Glob, true, false, true}, {u"A", Plain, false, false, false},
        {u"**/ab", Glob, true, true, true}, {u"*b", Glob, false, false, true},
        {u"c+", Regex, true, false, false}};
    std::mt19937 random(3);
    testing::TempTree dir;
    const std::string file = dir.at("r.zelv"), out = dir.at("out");
    const std::size_t partBytes = readPartBytes();
    for (int round = 0; round < 30; ++round) {
        testing::writeBytes(file, randomRecords(random, round));
        setReadPartBytes(4 + round % 23);
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
            std::string fromTree, oracle;
            const std::size_t most = round % 4 == 0 ? nodes.size() / 2 : kNoDepth;
            for (std::size_t i = 0; i < nodes.size() && i < most; ++i) {
                describeNode(file, tree, nodes[i], row);
                appendJsonObject(fromTree, row);
                fromTree += '\n';
            }
            walkPreOrder(tree, [&](NodeId node, std::size_t level) { // each node on its own
                describeNode(file, tree, node, row);
                std::u16string text = fullPath ? slashPath(row.path) : u"";
                appendSlashStep(text, !fullPath || level == 0, matchedText(tree, node));
                if ((recursive || level == 0) && matcher.matches(text) &&
                    !(filesOnly && isContainerKind(row.kind))) {
                    appendJsonObject(oracle, row);
                    oracle += '\n';
                }
            });
            if (most == kNoDepth) {
                EXPECT_EQ(fromTree, oracle) << round;
            }
            const std::string patternText = utf16ToUtf8(pattern);
            Args args{file, "-e", patternText, "-s", "--format", "json", "-o", out};
            args.insert(args.end(), syntax == Glob ? 1 : 0, "-g");
            args.insert(args.end(), syntax == Regex ? 1 : 0, "-E");
            args.insert(args.end(), recursive ? 0 : 1, "--no-recursive");
            args.insert(args.end(), filesOnly ? 1 : 0, "--files-only");
            args.insert(args.end(), fullPath ? 1 : 0, "--full-path");
            const std::string mostText = std::to_string(most);
            args.insert(args.end(), {"-n", mostText});
            args.resize(args.size() - (most == kNoDepth ? 2 : 0));
            ::testing::internal::CaptureStderr();
            const int status = runCommand("search", args);
            ::testing::internal::GetCapturedStderr();
            EXPECT_EQ(std::pair(status, testing::readBytes(out)),
                      std::pair(fromTree.empty() ? 1 : 0, fromTree))
                << round << " " << static_cast<int>(syntax) << recursive << filesOnly << fullPath;
        }
    }
    setReadPartBytes(partBytes);
}

// Lists and exports made while the file is read, a few bytes a part, hold the rows of the
// loaded tree, in its order, in every form, for the whole file and for the nodes at a path,
// at every depth.
TEST(CliOutput, ListedAndExportedWhileReadingAreTheRowsOfTheLoadedTree) {
    std::mt19937 random(5);
    testing::TempTree dir;
    const std::string file = dir.at("r.zelv"), out = dir.at("out");
    auto run = [&](std::string_view command, Args args) {
        args.insert(args.begin(), file);
        args.insert(args.end(), {"-o", out});
        const int status = runCommand(command, args);
        return std::pair(status, testing::readBytes(out));
    };
    const std::size_t partBytes = readPartBytes();
    for (int round = 0; round < 20; ++round) { // no name empty: a path leads to every node
        setReadPartBytes(3 + round % 31);
        testing::writeBytes(file,
                            randomRecords(random, round, u"abcA \\\x01\u00E9\u0444\u202E", 1));
        SnapshotTree tree;
        readSnapshotFile(file, tree);
        std::vector<std::tuple<NodeRow, std::size_t, std::string>> rows; // row, level, path
        std::string csv = "path,name,kind,kind_name,depth\r\n", names = "\"names\":\"", codes[2],
                    json;
        walkPreOrder(tree, [&](NodeId node, std::size_t level) {
            auto& [row, at, path] = rows.emplace_back(NodeRow(), level, "");
            describeNode(file, tree, node, row);
            appendJsonObject(json, row);
            json += '\n';
            appendWholePath(path, row, PathStyle::Slash, Escape::Raw);
            csv.append(path).append(",");
            appendName(csv, row, PathStyle::Slash, Escape::Raw);
            csv.append(",").append(std::to_string(row.kind)).append(",").append(kindName(row.kind));
            csv.append(",").append(std::to_string(level)).append("\r\n");
            std::string name;
            appendJsonString(name, row.name);
            names.append(codes[0].empty() ? "" : "\\u0000").append(name, 1, name.size() - 2);
            codes[0] += static_cast<char>('0' + level);
            codes[1] += static_cast<char>('0' + row.kind);
        });
        const std::string path = std::get<2>(rows[random() % rows.size()]);
        for (const Args& form :
             std::initializer_list<Args>{{},
                                         {"--kinds", "names"},
                                         {"--path-style", "slash"},
                                         {"--format", "tsv"},
                                         {"--format", "tsv", "--path-style", "native"},
                                         {"--format", "json"},
                                         {"-0"},
                                         {"-0", "--path-style", "native"}}) {
            for (const auto& [withPath, depth] :
                 {std::pair{false, kNoDepth}, {false, 1}, {true, kNoDepth}, {true, 0}}) {
                const auto options = outputOptionsOf("list", *parseCommandLine(specList(), form));
                std::string expected;
                std::size_t start = kNoDepth; // the level of the node at path being listed
                for (const auto& [row, level, at] : rows) {
                    start = start != kNoDepth && level <= start ? kNoDepth : start;
                    start = withPath && start == kNoDepth && at == path ? level : start;
                    const std::size_t shown = !withPath           ? level
                                              : start == kNoDepth ? kNoDepth
                                                                  : level - start;
                    if (shown != kNoDepth && shown <= depth) {
                        appendListedRow(expected, row, shown, *options);
                    }
                }
                Args args = form;
                const std::string depthText = std::to_string(depth);
                args.insert(args.end(), {"--depth", depthText});
                args.resize(form.size() + (depth == kNoDepth ? 0 : 2));
                args.insert(args.end(), withPath ? 1 : 0, path);
                EXPECT_EQ(run("list", args), std::pair(0, expected)) << round;
            }
        }
        // Levels from 12 on are written from '<' on, which the page writes as \u003c.
        const auto scriptSafe = [](std::string text) {
            for (std::size_t at; (at = text.find('<')) != std::string::npos;) {
                text.replace(at, 1, "\\u003c");
            }
            return text;
        };
        const std::string page =
            names + "\",\"depth\":\"" + scriptSafe(codes[0]) + "\",\"kind\":\"" + codes[1] + "\"}";
        for (const auto& [format, expected] :
             {std::pair{"csv", csv}, {"html", page}, {"json", json}}) {
            auto [status, written] = run("export", {"-f", format});
            written =
                expected == page ? written.substr(written.find("\"names\""), page.size()) : written;
            EXPECT_EQ(std::pair(status, written), std::pair(0, expected)) << round;
        }
    }
    setReadPartBytes(partBytes);
}

} // namespace
} // namespace zelvane::cli
