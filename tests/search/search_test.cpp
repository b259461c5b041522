// The search engine against the plain definition on random trees and past any buffer; the
// command line's name matchers under each case rule; the Search command through the
// scripted user interface.
#include "support/test_common.h"

#include "document/snapshot_tree.h"
#include "search/name_matchers.h"
#include "search/search_command.h"
#include "search/search_engine.h"
#include "support/scripted_ui.h"
#include "text/text.h"
#include "text/utf.h"

namespace zelvane {
namespace {

enum Flags { kCase = 1, kWhole = 2, kLocal = 4, kOneLevel = 8, kFiles = 16 };

SearchOptions opts(std::u16string pattern, int flags = 0) {
    return {std::move(pattern),    (flags & kLocal) != 0,    (flags & kCase) != 0,
            (flags & kWhole) != 0, (flags & kOneLevel) == 0, (flags & kFiles) != 0};
}

NodeId add(SnapshotTree& tree, NodeId parent, std::u16string_view text, int kind) {
    const NodeId id = tree.insertLast(parent, text);
    tree.setKind(id, kind);
    return id;
}

// The plain definition of a search, node by node, folding every text.
using PlainRow = std::tuple<std::u16string, std::u16string, int, NodeId>; // path, item, kind

bool plainMatch(std::u16string t, std::u16string p, const SearchOptions& o) {
    t = o.isMatchCase ? t : foldAsciiUpper(t);
    p = o.isMatchCase ? p : foldAsciiUpper(p);
    return o.isMatchWholePatternOnly ? t == p : t.find(p) != t.npos;
}

void plainChildren(const SnapshotTree& tree, NodeId parent, const std::u16string& path,
                   const SearchOptions& o, std::vector<PlainRow>& rows) {
    for (NodeId n = tree.firstChild(parent); n != kNoNode; n = tree.nextSibling(n)) {
        const std::u16string text(tree.text(n));
        if (plainMatch(text, o.pattern, o) && !(o.isFilesOnly && isContainerKind(tree.kind(n)))) {
            rows.emplace_back(path, text, tree.kind(n), n);
        }
        if (o.isRecursiveSearch && tree.hasChildren(n)) {
            plainChildren(tree, n, path + (path.empty() ? u" " : u"\\") + text, o, rows);
        }
    }
}

// Random forests with renamed nodes, removed branches and file-kind nodes with children,
// under every combination of the options; texts at the folded range's edges and wildcards;
// matches common and rare.
TEST(SearchEngine, GivesTheRowsOfThePlainDefinitionOnRandomTrees) {
    std::mt19937 random(11);
    const std::u16string letters = u"abAB zZ{@`\u00e9\u00c9\u0416\u0016x*?\\";
    auto draw = [&](std::size_t length) {
        std::u16string text(length, u' ');
        std::generate(text.begin(), text.end(), [&] { return letters[random() % letters.size()]; });
        return text;
    };
    SearchEngine engine;
    SearchResults results;
    for (int round = 0; round < 60; ++round) {
        SnapshotTree tree;
        std::vector<NodeId> nodes;
        auto live = [&] {
            const NodeId pick = nodes.empty() ? kNoNode : nodes[random() % nodes.size()];
            return tree.isValid(pick) ? pick : kNoNode;
        };
        // The first tree is long runs of UTF-16 texts alone: more than a block of one form.
        // The second is large enough to be tested on two processors, and its longer
        // patterns are rare enough for the walk through the marked nodes alone.
        const bool oneForm = round == 0;
        for (int i = 0; i < (oneForm ? 1500 : round == 1 ? 80000 : 400); ++i) {
            const NodeId parent = random() % 6 == 0 ? kNoNode : live();
            const int kind = static_cast<int>(random() % kKindCount);
            const std::u16string text = (kind == kKindFolder ? u" " : u"") + draw(random() % 30) +
                                        (oneForm ? u"\u0416" : u"");
            nodes.push_back(add(tree, parent == kNoNode ? kTopLevel : parent, text, kind));
            if (const NodeId renamed = live();
                !oneForm && renamed != kNoNode && random() % 9 == 0) {
                tree.setText(renamed, draw(random() % 30));
            }
            if (random() % 40 == 0) {
                tree.remove(nodes[random() % nodes.size()]);
            }
        }
        for (int search = 0; search < 32; ++search) {
            const NodeId pick = live();
            tree.select(search % 4 == 0 ? kNoNode : pick);
            std::u16string pattern = draw(search % 8 == 7 ? 5 : 1 + random() % 3);
            if (search % 8 == 3 && pick != kNoNode) { // a piece of a text that is there
                const std::u16string text = tree.text(pick).toU16();
                pattern = text.substr(random() % (text.size() + 1), 1 + random() % 9);
            }
            const SearchOptions o = opts(pattern, search);
            engine.run(tree, o, results);
            std::vector<PlainRow> rows, plain;
            for (std::size_t r = 0; r < results.size(); ++r) {
                rows.emplace_back(results.path(r), results.item(r), results.kind(r),
                                  results.node(r));
            }
            const NodeId up = tree.selected() == kNoNode ? kNoNode : tree.parent(tree.selected());
            const bool local = o.isLocalSearch && up != kNoNode;
            plainChildren(tree, local ? up : kTopLevel, local ? std::u16string(tree.text(up)) : u"",
                          o, plain);
            ASSERT_EQ(rows, plain) << round << " " << search;
            EXPECT_EQ(engine.matchCount(), rows.size());
        }
    }
}

// Long periodic texts: a candidate start agrees with the pattern for a long way before it
// fails, and the matcher must change its method half way through a text.
TEST(TextMatcher, AgreesWithThePlainDefinitionOnPeriodicTexts) {
    std::mt19937 random(5);
    const std::u16string letters = u"aAb";
    auto periodic = [&](std::size_t length) {
        const std::size_t period = 1 + random() % 40;
        std::u16string unit, text;
        for (std::size_t i = 0; i < period; ++i) {
            unit.push_back(letters[random() % (i + 1 == period ? 3 : 2)]);
        }
        for (std::size_t i = 0; i < length; ++i) {
            text.push_back(unit[i % period]);
        }
        if (random() % 2 == 0 && length > 0) {
            text[random() % length] = letters[random() % 3];
        }
        return text;
    };
    for (int round = 0; round < 3000; ++round) {
        const std::u16string text = periodic(random() % 3000);
        std::u16string pattern = periodic(1 + random() % 600);
        if (round % 3 == 0 && text.size() > 1) {
            const std::size_t from = random() % text.size();
            pattern = text.substr(from, 1 + random() % (text.size() - from));
        }
        SearchOptions o = opts(pattern, round % 4 == 3 ? kWhole | (round & kCase) : round & kCase);
        TextMatcher matcher;
        matcher.prepare(o.isMatchCase ? pattern : foldAsciiUpper(pattern), o.isMatchCase,
                        o.isMatchWholePatternOnly);
        ASSERT_EQ(matcher.matches(text), plainMatch(text, pattern, o)) << round;
    }
}

TEST(SearchLimits, LongTextsAndADeepTreeAreWalkedWhole) {
    SnapshotTree tree;
    std::size_t count = 99;
    EXPECT_TRUE(searchTree(tree, opts(u"a"), &count).empty() && count == 0) << count;
    const std::u16string longName = std::u16string(3000, u'x') + u"EN!";
    constexpr std::size_t kDepth = 10000;
    NodeId node = add(tree, kTopLevel, u"root", kKindDriveRoot), middle = node;
    for (std::size_t i = 1; i < kDepth; ++i) {
        node = add(tree, node, u" d", kKindFolder);
        middle = i == kDepth / 2 ? node : middle;
    }
    add(tree, node, longName, kKindOther);
    add(tree, middle, u"hello", kKindOther);
    add(tree, kTopLevel, u"second", kKindDriveRoot);
    const SearchResults results = searchTree(tree, opts(u"E", kFiles));
    ASSERT_EQ(results.size(), 2u); // pre-order: the chain's bottom before the later node
    EXPECT_EQ(results.item(0), longName);
    EXPECT_EQ(results.path(1).size(), 5 + 3 * (kDepth / 2));
    EXPECT_EQ(results.path(0).substr(0, 11), u" root\\ d\\ d");
    EXPECT_EQ(searchTree(tree, opts(std::u16string(2999, u'X') + u"XEN!")).size(), 1u);
    // The rows share their paths' pieces (not 300 MB of copies); a second run reuses them.
    SearchEngine engine;
    SearchResults all;
    engine.run(tree, opts(u"d"), all);
    const std::size_t usage = all.memoryUsage();
    engine.run(tree, opts(u"d"), all);
    EXPECT_EQ(all.size(), kDepth); // the folders and "second"
    EXPECT_EQ(all.pathLength(kDepth - 2), 5 + 3 * (kDepth - 2));
    EXPECT_TRUE(all.path(kDepth - 1).empty());
    EXPECT_EQ(all.memoryUsage(), usage);
    EXPECT_TRUE(usage > kDepth * 8 && usage < std::size_t{4} << 20) << usage;
}

using enum MatchSyntax;
using enum CaseRule;

TEST(NameMatchers, MatchEachSyntaxUnderEachCaseRule) {
    const std::tuple<MatchSyntax, CaseRule, bool, std::u16string, std::u16string, bool> cases[] = {
        // Plain: the dialog's rule, with the case rule chosen.
        {Plain, AsciiLetters, false, u"readme", u"Docs README.TXT", true},
        {Plain, Exact, false, u"readme", u"README.TXT", false},
        {Plain, AsciiLetters, false, u"\u00E9", u"\u00C9t\u00E9", true},
        {Plain, AsciiLetters, false, u"\u00E9t", u"\u00C9t\u00C9", false},
        {Plain, Unicode, false, u"\u00E9t", u"\u00C9T\u00C9", true},
        {Plain, Unicode, false, u"strasse", u"Stra\u00DFe.txt", true},
        {Plain, Unicode, true, u"docs", u" Docs", false},
        {Plain, AsciiLetters, false, u"*", u"abc", false},
        // Glob: over the whole name.
        {Glob, AsciiLetters, false, u"*.txt", u"a.TXT", true},
        {Glob, Exact, false, u"*.txt", u"a.TXT", false},
        {Glob, AsciiLetters, false, u"??.txt", u"ab.txt", true},
        {Glob, AsciiLetters, false, u"?", u"\U0001F600", true},
        {Glob, AsciiLetters, false, u"[abc]*", u"b1", true},
        {Glob, AsciiLetters, false, u"[!abc]*", u"b1", false},
        {Glob, AsciiLetters, false, u"[^abc]*", u"d1", true},
        {Glob, AsciiLetters, false, u"[a-c]x", u"bx", true},
        {Glob, AsciiLetters, false, u"[a-]", u"-", true},
        {Glob, AsciiLetters, false, u"[]]", u"]", true},
        {Glob, AsciiLetters, false, u"[x", u"[x", true},
        {Glob, AsciiLetters, false, u"\\*", u"*", true},
        {Glob, AsciiLetters, false, u"a\\", u"a\\", true},
        {Glob, AsciiLetters, false, u"*a*b", u"xxaxxb", true},
        {Glob, AsciiLetters, false, u"*aab*", u"xaaabx", true}, // a run that overlaps itself
        {Glob, AsciiLetters, false, u"*", u"", true},
        {Glob, AsciiLetters, false, u"a*a*a*a*b", std::u16string(40, u'a'), false},
        // A star gives back only what it took: what lies before it stays matched.
        {Glob, AsciiLetters, false, u"aa*ab", u"aab", false},
        // Lone surrogates are one character each, whichever half they are.
        {Glob, AsciiLetters, false, u"??", u"\xDC00\xDC01", true},
        {Glob, AsciiLetters, false, u"??", u"\xDBFF\xDC00", false},
        {Glob, Exact, false, u"[\U00010000-\U0001FFFF]", u"\U0001F600", true},
        // An unclosed class whose last member is an escape: the [ is itself.
        {Glob, AsciiLetters, false, u"[a-\\", u"[a-\\", true},
        {Glob, Unicode, false, u"*STRASSE*", u"die stra\u00DFe", true},
        {Glob, AsciiLetters, false, u"b\xDCE9*", u"b\xDCE9x", true},
        // Regex: found anywhere, or the whole name; ICU's folding whenever case is ignored.
        {Regex, AsciiLetters, false, u"^re.*d", u"README", true},
        {Regex, Exact, false, u"^re.*d", u"README", false},
        {Regex, AsciiLetters, true, u"is", u"Disk", false},
        {Regex, Unicode, false, u"\u03C9\\.mp3$", u"\u03A9.MP3", true},
        // With case kept, a carriage return still ends a line for $, as ICU's default has it.
        {Regex, Exact, false, u"a$", u"a\r", true},
        {Glob, Exact, false, u"a*", u"babbc", false}, // a glob after an expression
    };
    // One matcher for all, after a bad expression refused with its place.
    NameMatcher matcher;
    std::string error;
    EXPECT_FALSE(matcher.compile(u"a)", {Regex, AsciiLetters, false}, error));
    EXPECT_EQ(error, "not a valid regular expression (U_REGEX_MISMATCHED_PAREN after character 2)");
    for (const auto& [syntax, caseRule, whole, pattern, text, matches] : cases) {
        error.clear();
        ASSERT_TRUE(matcher.compile(pattern, {syntax, caseRule, whole}, error)) << error;
        EXPECT_EQ(matcher.matches(text), matches) << utf16ToUtf8(pattern);
    }
    // {a,b}; whole paths, where * ? and classes stop at a slash and ** does not.
    const std::tuple<bool, std::u16string, std::u16string, bool> globs[] = {
        {false, u"*.{jpg,png}", u"a.PNG", true}, {false, u"{a,b{c,d}}x", u"bdx", true},
        {false, u"{a,b{c,d}}x", u"bx", false},   {false, u"\\{a,b}", u"{a,b}", true},
        {false, u"{a}", u"{a}", true},           {true, u"D/*/x", u"D/a/x", true},
        {true, u"D/*", u"D/a/x", false},         {true, u"D/**/x", u"D/x", true},
        {true, u"D/**/x", u"D/a/b/x", true},     {true, u"D/**", u"D/a/b", true},
        {true, u"D/?", u"D//", false},           {true, u"D/[!a]", u"D//", false},
        {true, u"**x", u"a/bx", true},           {true, u"*/*a*a*a*b", u"x/aaaaaaaaaa", false},
    };
    for (const auto& [fullPath, pattern, text, matches] : globs) {
        ASSERT_TRUE(matcher.compile(pattern, {Glob, Unicode, false, fullPath}, error)) << error;
        EXPECT_EQ(matcher.matches(text), matches) << utf16ToUtf8(pattern);
    }
    std::u16string many;
    for (int i = 0; i < 13; ++i) {
        many += u"{a,b}"; // 8192 patterns
    }
    EXPECT_FALSE(matcher.compile(many, {Glob, Unicode}, error));
    EXPECT_EQ(error, "the pattern's {...} make more than 4096 patterns");
    EXPECT_EQ(foldCaseFull(u"\u00DF\u00DF\u00DF"), u"ssssss"); // folding grows the text
    EXPECT_EQ(foldCaseFull(u"A\xDCE9Z"), u"a\xDCE9z");
}

// The plain syntax's quick tests against its definition (fold both, then look), on random
// texts of letters whose folding is special, ASCII non-letters and lone surrogates; and
// what the test for the pattern's caseless run relies on in ICU's data: no character but
// an ASCII non-letter itself folds to anything holding one, and none folds to nothing.
TEST(NameMatchers, PlainAgreesWithFoldingBothTextsUnderEachCaseRule) {
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        const std::u16string one =
            cp < 0x10000 ? std::u16string(1, static_cast<char16_t>(cp))
                         : std::u16string{static_cast<char16_t>(0xD7C0 + (cp >> 10)),
                                          static_cast<char16_t>(0xDC00 | (cp & 0x3FF))};
        const std::u16string folded = foldCaseFull(one);
        ASSERT_FALSE(folded.empty()) << static_cast<unsigned>(cp);
        for (const char16_t u : folded) {
            const bool letter = (u | 0x20) >= u'a' && (u | 0x20) <= u'z';
            ASSERT_TRUE(u >= 0x80 || letter || one == folded) << static_cast<unsigned>(cp);
        }
    }
    std::mt19937 random(3);
    const std::u16string letters =
        u"aAzZsS\u00DF\u1E9E\u212Ak\u00E9\u00C91.@[`{ \xD83D\xDE00\xDC00";
    auto draw = [&](std::size_t length) {
        std::u16string text(length, u' ');
        std::generate(text.begin(), text.end(), [&] { return letters[random() % letters.size()]; });
        return text;
    };
    const std::pair<CaseRule, std::u16string (*)(std::u16string_view)> rules[] = {
        {CaseRule::Exact, [](std::u16string_view t) { return std::u16string(t); }},
        {CaseRule::AsciiLetters, [](std::u16string_view t) { return foldAsciiUpper(t); }},
        {CaseRule::Unicode, foldCaseFull}};
    NameMatcher matcher;
    std::string error;
    for (int round = 0; round < 4000; ++round) {
        const auto& [rule, fold] = rules[round % 3];
        const bool whole = round % 7 == 0;
        const std::u16string text = draw(random() % 14);
        const std::u16string pattern =
            round % 5 == 0 ? text.substr(random() % (text.size() + 1)) : draw(random() % 5);
        ASSERT_TRUE(matcher.compile(pattern, {MatchSyntax::Plain, rule, whole}, error));
        const std::u16string t = fold(text), p = fold(pattern);
        ASSERT_EQ(matcher.matches(text), whole ? t == p : t.find(p) != t.npos)
            << round << " " << utf16ToUtf8(text) << " " << utf16ToUtf8(pattern);
    }
}

TEST(NameMatchers, WalkInPreOrderUnderTheDialogsOptions) {
    SnapshotTree tree;
    auto found = [&](std::u16string pattern, MatchSyntax syntax, bool recursive = true,
                     bool filesOnly = false) {
        NameMatcher matcher;
        std::string error, out;
        EXPECT_TRUE(matcher.compile(pattern, {syntax, AsciiLetters, false}, error));
        std::vector<NodeId> nodes;
        searchNames(tree, matcher, recursive, filesOnly, nodes);
        for (const NodeId node : nodes) {
            out.append(out.empty() ? "" : "|").append(utf16ToUtf8(tree.text(node)));
        }
        return out;
    };
    EXPECT_EQ(found(u"*", Glob), ""); // nothing in an empty tree
    const NodeId disk = add(tree, kTopLevel, u"Disk", 9), docs = add(tree, disk, u" Docs", 6);
    add(tree, add(tree, docs, u" d2", 6), u"d3.doc", 5);
    add(tree, disk, u" docsless", 8);  // a file whose name begins with a space
    add(tree, kTopLevel, u" Docs", 6); // a root of kind 6 keeps its space
    EXPECT_EQ(found(u"d*", Glob), "Disk| Docs| d2|d3.doc");
    EXPECT_EQ(found(u"d*", Glob, true, true), "d3.doc");
    EXPECT_EQ(found(u"*", Glob, false), "Disk| Docs");
    EXPECT_EQ(found(u" d*", Glob), " docsless| Docs");
    EXPECT_EQ(found(u"^docs$", Regex), " Docs");
    EXPECT_EQ(found(u" d", Plain), " docsless| Docs"); // names, as the globs
    NameMatcher path;
    std::string error;
    ASSERT_TRUE(path.compile(u"^disk/docs/.*doc$", {Regex, Unicode, false, true}, error));
    std::vector<NodeId> nodes;
    searchNames(tree, path, true, false, nodes); // the slash path, the root's title first
    EXPECT_EQ(nodes, std::vector<NodeId>({tree.firstChild(tree.firstChild(docs))}));
}

std::string joined(const testing::Lines& lines) {
    return std::accumulate(
        lines.begin(), lines.end(), std::string(),
        [](const std::string& out, const std::string& l) { return out + l + '\n'; });
}

// Cancel keeps the options; an empty pattern is refused, spaces are a pattern; the boxes
// replace the options as a set; with nothing matched the window closes without running.
// Double-clicks select the row's node; one with no row selected, a row past the end or a row
// whose node went selects nothing. The pattern is cut to 510 units, never inside a character.
TEST(SearchCommand, RefusesEmptyPatternsListsMatchesAndSelectsOnDoubleClick) {
    SnapshotTree tree;
    const NodeId drive = tree.insertLast(kTopLevel, u"Drive");
    const NodeId folder = tree.insertLast(drive, u" Docs");
    const NodeId readme = tree.insertLast(folder, u"ReadMe.txt");
    const NodeId notes = tree.insertLast(drive, u"notes\t.txt");
    SearchOptions options{u"old", true, true, true, false, true};
    const SearchOptions before = options;
    testing::ScriptedUi ui;
    tree.select(notes);
    ui.cancelSearch();
    OnSearch(ui, tree, options);
    EXPECT_EQ(options, before);
    ui.search({{u"", true, true, true, true, true}, {u"  ", false, false, true, false, false}});
    OnSearch(ui, tree, options);
    EXPECT_EQ(options, (SearchOptions{u"  ", true, false, false, false, false}));
    EXPECT_EQ(tree.selected(), notes);
    tree.select(folder);
    ui.search({{u"T", false, false, false, true, false}}).results({1, std::nullopt, 2});
    OnSearch(ui, tree, options);
    EXPECT_EQ(
        joined(ui.transcript()),
        "search \"old\" [case whole local files] -> cancel\n"
        "search \"old\" [case whole local files] -> search \"\" [case whole local recursive "
        "files]\nmessage \"Please, fill pattern!\" | \"Error\" | Exclamation | Ok -> Ok\n"
        "search \"old\" [case whole local files] -> search \"  \" [local]\nresults open\n"
        "results 0 rows\nmessage \"0 matches found.\" | \"Information\" | Information | Ok "
        "-> Ok\nresults close\nsearch \"  \" [local] -> search \"T\" [recursive]\nresults open\n"
        "results 2 rows\nmessage \"2 matches found.\" | \"Information\" | Information | Ok "
        "-> Ok\nresults run\nresults double-click 1\nresults double-click none\n"
        "results double-click 2\nresults close\n");
    EXPECT_EQ(joined(ui.shownRows), " Drive\\ Docs\tReadMe.txt\n Drive\tnotes\t.txt\n");
    EXPECT_EQ(tree.selected(), notes);
    ui.clearTranscript(); // one match is enough for the window to stay
    ui.search({{u"readme.TXT", false, true, false, true, false}}).results({});
    ui.search({{std::u16string(509, u'x') + u"\U0001F600", false, false, false, true, false}});
    OnSearch(ui, tree, options);
    EXPECT_EQ(ui.transcript().at(4), "results run");
    OnSearch(ui, tree, options);
    EXPECT_EQ(options.pattern, std::u16string(509, u'x'));
    EXPECT_EQ(matchesFoundMessage(1234567), u"1234567 matches found.");
    const SearchResults results = searchTree(tree, {u"t", false, false, false, true, false});
    tree.select(readme);
    tree.remove(notes);
    selectSearchResult(tree, results, 1);
    EXPECT_EQ(tree.selected(), readme);
}

} // namespace
} // namespace zelvane
