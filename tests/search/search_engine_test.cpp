// The search engine over small trees built by hand: the Path cells, the matching rules,
// the options, and trees whose texts and depth go past any fixed buffer.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "document/snapshot_tree.h"
#include "text/utf.h"
#include "search/search_engine.h"

namespace zelvane {
namespace {

// The rows as "Path|Item" joined by "; " (the texts here are ASCII).
std::string rowsOf(const SearchResults& results) {
    std::string rows;
    for (std::size_t i = 0; i < results.size(); ++i) {
        const std::u16string path = results.path(i);
        rows += (i == 0 ? "" : "; ") + std::string(path.begin(), path.end()) + "|" +
                std::string(results.item(i).begin(), results.item(i).end());
    }
    return rows;
}

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

TEST(SearchEngine, PathCellsAndOptions) {
    SnapshotTree tree;
    const NodeId r = add(tree, kTopLevel, u"R", kKindDriveRoot);
    const NodeId f = add(tree, r, u" F", kKindFolder);
    const NodeId g = add(tree, f, u" G", kKindFolder);
    add(tree, g, u"deep.txt", kKindDocument);
    // A file-kind node with children still counts as a file: the kind decides alone.
    add(tree, add(tree, g, u"odd", kKindOther), u"in", kKindOther);
    const NodeId mid = add(tree, f, u"mid.txt", kKindDocument);
    const NodeId h = add(tree, r, u" H", kKindFolder);
    add(tree, h, u"other.txt", kKindDocument);
    const NodeId top = add(tree, r, u"top.txt", kKindDocument);
    const NodeId s = add(tree, kTopLevel, u"S", kKindCdRomRoot);
    add(tree, s, u"cd.txt", kKindDocument);

    const std::string allTxt =
        " R\\ F\\ G|deep.txt;  R\\ F|mid.txt;  R\\ H|other.txt;  R|top.txt;  S|cd.txt";
    const struct {
        std::u16string pattern;
        int flags;
        NodeId selected;
        std::string rows;
    } cases[] = {
        {u".txt", 0, kNoNode, allTxt},
        {u"S", 0, kNoNode, "|S"}, // a root found globally has an empty path
        {u"in", 0, kNoNode, " R\\ F\\ G\\odd|in"},
        // A match comes before its matching descendants.
        {u" ", 0, kNoNode, " R| F;  R\\ F| G;  R| H"},
        // Local: from the selected node's parent, with the parent's own text as the path.
        {u"t", kLocal, mid, " F\\ G|deep.txt;  F|mid.txt"},
        {u"t", kLocal, h, "R\\ F\\ G|deep.txt; R\\ F|mid.txt; R\\ H|other.txt; R|top.txt"},
        {u"F", kLocal, g, ""}, // the parent itself is never examined
        {u"G", kLocal, g, " F| G"},
        {u"t", kLocal, kNoNode, allTxt}, // no selection or a root selected: global
        {u"t", kLocal, s, allTxt},
        // Whole pattern: the whole stored text, folded, nothing trimmed.
        {u"F", kWhole, kNoNode, ""},
        {u" F", kWhole, kNoNode, " R| F"},
        {u"r", kWhole, kNoNode, "|R"},
        {u"R ", kWhole, kNoNode, ""},
        // One level: the roots, or the selected node and its siblings.
        {u"t", kOneLevel, kNoNode, ""},
        {u"S", kOneLevel, kNoNode, "|S"},
        {u"t", kOneLevel | kLocal, top, "R|top.txt"},
        // Files only: roots and folders withheld, but searched below.
        {u" ", kFiles, kNoNode, ""},
        {u"D", kFiles, kNoNode, " R\\ F\\ G|deep.txt;  R\\ F\\ G|odd;  R\\ F|mid.txt;  S|cd.txt"},
        {u"R", 0, kNoNode, "|R;  R\\ H|other.txt"},
        {u"R", kFiles, kNoNode, " R\\ H|other.txt"},
        {u"nowhere", 0, kNoNode, ""},
    };
    // One engine and one set of rows for all: every run starts afresh.
    SearchEngine engine;
    SearchResults results;
    for (const auto& c : cases) {
        tree.select(c.selected);
        engine.run(tree, opts(c.pattern, c.flags), results);
        EXPECT_EQ(rowsOf(results), c.rows) << c.rows << " " << c.flags;
        EXPECT_EQ(engine.matchCount(), results.size()) << c.rows;
    }
}

TEST(SearchEngine, MatchingFoldsOnlyAToZAndHasNoWildcards) {
    SnapshotTree tree;
    for (const char16_t* text :
         {u"README.TXT", u"ReadMe.txt", u"readme", u"\u00e9t\u00e9", u"\u00c9T\u00c9", u"\u0131",
          u"tile", u"a*b", u"ab", u"a?b", u"a\\b"}) {
        add(tree, kTopLevel, text, kKindDocument);
    }
    const std::tuple<std::u16string, int, std::string> cases[] = {
        {u"readme", 0, "|README.TXT; |ReadMe.txt; |readme"},
        {u"ReadMe", kCase, "|ReadMe.txt"},
        {u"\u00e9t\u00e9", 0, "|\xe9t\xe9"},
        {u"I", 0, "|tile"}, // not the dotless i: no locale rules
        {u"*", 0, "|a*b"},
        {u"?", 0, "|a?b"},
        {u"\\", 0, "|a\\b"},
        {u"a*", 0, "|a*b"}};
    for (const auto& [pattern, flags, rows] : cases) {
        EXPECT_EQ(rowsOf(searchTree(tree, opts(pattern, flags))), rows)
            << std::string(pattern.begin(), pattern.end());
    }

    SnapshotTree empty;
    std::size_t count = 99;
    EXPECT_TRUE(searchTree(empty, opts(u"a"), &count).empty());
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(searchTree(empty, opts(u"a", kLocal)).empty());
}

// The matching scans several units at a time: compare it with the plain definition for
// texts of every length around that width and patterns at every place in them.
TEST(SearchEngine, AgreesWithAPlainFoldedComparison) {
    std::uint32_t seed = 7;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    const char16_t letters[] = {u'a', u'A', u'b', u'B', u'\u00e9', u'\u00c9', u' ', u'*'};
    SnapshotTree tree;
    std::vector<std::u16string> texts;
    for (std::size_t length = 0; length <= 40; ++length) {
        for (int copy = 0; copy < 6; ++copy) {
            std::u16string text;
            for (std::size_t i = 0; i < length; ++i) {
                text.push_back(letters[next() % 8]);
            }
            texts.push_back(text);
            add(tree, kTopLevel, text, kKindOther);
        }
    }
    for (int round = 0; round < 300; ++round) {
        const std::u16string& source = texts[next() % texts.size()];
        std::u16string pattern;
        if (!source.empty()) {
            const std::size_t from = next() % source.size();
            pattern = source.substr(from, 1 + next() % (source.size() - from));
        }
        if (pattern.empty() || next() % 4 == 0) {
            pattern.push_back(letters[next() % 8]);
        }
        for (bool matchCase : {false, true}) {
            std::size_t expected = 0;
            const std::u16string wanted = matchCase ? pattern : foldAsciiUpper(pattern);
            for (const std::u16string& text : texts) {
                const std::u16string compared = matchCase ? text : foldAsciiUpper(text);
                expected += compared.find(wanted) != std::u16string::npos ? 1 : 0;
            }
            EXPECT_EQ(searchTree(tree, opts(pattern, matchCase ? kCase : 0)).size(), expected)
                << round << (matchCase ? " case" : "");
        }
    }
}

TEST(SearchLimits, LongTextsAndPathsAreComparedAndShownWhole) {
    SnapshotTree tree;
    const std::u16string longName(3000, u'x');
    NodeId parent = add(tree, kTopLevel, longName, kKindDriveRoot);
    std::u16string expectedPath = u" " + longName;
    for (int i = 0; i < 5; ++i) {
        parent = add(tree, parent, u" " + longName, kKindFolder);
        expectedPath += u"\\ " + longName;
    }
    add(tree, parent, longName + u"END", kKindOther);
    const SearchResults results = searchTree(tree, opts(std::u16string(1500, u'X') + u"END"));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results.item(0), longName + u"END");
    EXPECT_EQ(results.path(0), expectedPath);
}

TEST(SearchLimits, AVeryDeepTreeIsWalkedWithoutRecursion) {
    SnapshotTree tree;
    constexpr int kDepth = 10000;
    NodeId node = add(tree, kTopLevel, u"root", kKindDriveRoot);
    NodeId middle = node;
    for (int i = 1; i < kDepth; ++i) {
        node = add(tree, node, u" d", kKindFolder);
        middle = i == kDepth / 2 ? node : middle;
    }
    add(tree, node, u"leaf", kKindOther);
    add(tree, middle, u"hello", kKindOther);
    add(tree, kTopLevel, u"second", kKindDriveRoot);

    const SearchResults results = searchTree(tree, opts(u"e", kFiles));
    ASSERT_EQ(results.size(), 2u);
    // Pre-order: the leaf at the bottom of the chain comes before the node that was
    // appended later half way up, and the second root's subtree is reached afterwards.
    EXPECT_EQ(results.item(0), u"leaf");
    EXPECT_EQ(results.item(1), u"hello");
    EXPECT_EQ(results.path(0).size(), 5 + 3 * std::size_t{kDepth - 1});
    EXPECT_EQ(results.path(1).size(), 5 + 3 * std::size_t{kDepth / 2});
    EXPECT_EQ(results.path(0).substr(0, 8), u" root\\ d");

    const SearchResults all = searchTree(tree, opts(u"d"));
    EXPECT_EQ(all.size(), std::size_t{kDepth}); // the folders and "second"
    // Every row has its own path, 15 000 characters on average: the rows share the pieces
    // of their paths instead of holding 300 MB of copies.
    EXPECT_EQ(all.pathLength(kDepth - 2), 5 + 3 * std::size_t{kDepth - 2});
    EXPECT_EQ(all.path(kDepth - 1), u"");
    EXPECT_LT(all.memoryUsage(), std::size_t{4} << 20);
}

} // namespace
} // namespace zelvane
