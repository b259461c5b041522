// The search engine over small trees built by hand: the Path cells, the matching rules,
// the options, and trees whose texts and depth go past any fixed buffer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/snapshot_tree.h"
#include "document/utf.h"
#include "search/search_engine.h"

namespace zelvane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct Row {
    std::u16string path;
    std::u16string item;
    bool operator==(const Row&) const = default;
};

// Printed by gtest as UTF-8.
void PrintTo(const Row& row, std::ostream* os) {
    std::string path(row.path.begin(), row.path.end());
    std::string item(row.item.begin(), row.item.end());
    *os << "{\"" << path << "\", \"" << item << "\"}";
}

std::vector<Row> rowsOf(const SearchResults& results) {
    std::vector<Row> rows;
    for (std::size_t i = 0; i < results.size(); ++i) {
        rows.push_back({std::u16string(results.path(i)), std::u16string(results.item(i))});
    }
    return rows;
}

SearchOptions opts(std::u16string pattern) {
    SearchOptions o;
    o.pattern = std::move(pattern);
    return o;
}

NodeId add(SnapshotTree& tree, NodeId parent, std::u16string_view text, int kind) {
    const NodeId id = tree.insertLast(parent, text);
    tree.setKind(id, kind);
    return id;
}

// R (drive root)
//   " F"
//     " G"
//       "deep.txt"
//     "mid.txt"
//   " H"
//     "other.txt"
//   "top.txt"
// S (CD root)
//   "cd.txt"
class SearchTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        r = add(tree, kTopLevel, u"R", kKindDriveRoot);
        f = add(tree, r, u" F", kKindFolder);
        g = add(tree, f, u" G", kKindFolder);
        deep = add(tree, g, u"deep.txt", kKindDocument);
        mid = add(tree, f, u"mid.txt", kKindDocument);
        h = add(tree, r, u" H", kKindFolder);
        other = add(tree, h, u"other.txt", kKindDocument);
        top = add(tree, r, u"top.txt", kKindDocument);
        s = add(tree, kTopLevel, u"S", kKindCdRomRoot);
        cd = add(tree, s, u"cd.txt", kKindDocument);
    }

    std::vector<Row> search(const SearchOptions& o) {
        SearchResults results;
        engine.run(tree, o, results);
        EXPECT_EQ(engine.matchCount(), results.size());
        return rowsOf(results);
    }

    SnapshotTree tree;
    SearchEngine engine;
    NodeId r, f, g, deep, mid, h, other, top, s, cd;
};

TEST_F(SearchTreeTest, GlobalPathsNameEveryLevelFromTheRoot) {
    EXPECT_THAT(search(opts(u".txt")),
                ElementsAre(Row{u" R\\ F\\ G", u"deep.txt"}, Row{u" R\\ F", u"mid.txt"},
                            Row{u" R\\ H", u"other.txt"}, Row{u" R", u"top.txt"},
                            Row{u" S", u"cd.txt"}));
    // A root found by a global search has an empty path.
    EXPECT_THAT(search(opts(u"S")), ElementsAre(Row{u"", u"S"}));
}

TEST_F(SearchTreeTest, RowsCarryTheNodeItsKindAndItsTextUnchanged) {
    SearchResults results;
    engine.run(tree, opts(u"f"), results);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results.item(0), u" F"); // the folder's space and its own letter case
    EXPECT_EQ(results.kind(0), kKindFolder);
    EXPECT_EQ(results.node(0), f);
}

TEST_F(SearchTreeTest, LocalSearchStartsAtTheSelectedNodesParent) {
    SearchOptions o = opts(u"t");
    o.isLocalSearch = true;

    // Selected node directly under folder F: the path starts with F's own text only.
    tree.select(mid);
    EXPECT_THAT(search(o), ElementsAre(Row{u" F\\ G", u"deep.txt"}, Row{u" F", u"mid.txt"}));

    // Selected node directly under root R: the root's text, without a leading space.
    tree.select(h);
    EXPECT_THAT(search(o), ElementsAre(Row{u"R\\ F\\ G", u"deep.txt"}, Row{u"R\\ F", u"mid.txt"},
                                       Row{u"R\\ H", u"other.txt"}, Row{u"R", u"top.txt"}));
}

TEST_F(SearchTreeTest, LocalSearchNeverExaminesTheParentItself) {
    SearchOptions o = opts(u"F");
    o.isLocalSearch = true;
    tree.select(g);
    EXPECT_THAT(search(o), IsEmpty()); // " F" is the start, " G" and below do not match
    o.pattern = u"G";
    EXPECT_THAT(search(o), ElementsAre(Row{u" F", u" G"}));
}

TEST_F(SearchTreeTest, LocalSearchFromARootOrWithoutSelectionIsGlobal) {
    SearchOptions local = opts(u"t");
    local.isLocalSearch = true;
    const std::vector<Row> global = search(opts(u"t"));
    ASSERT_EQ(global.size(), 5u);

    tree.select(kNoNode);
    EXPECT_EQ(search(local), global);
    tree.select(s);
    EXPECT_EQ(search(local), global);
}

TEST_F(SearchTreeTest, WholePatternComparesTheWholeStoredText) {
    SearchOptions o = opts(u"F");
    o.isMatchWholePatternOnly = true;
    EXPECT_THAT(search(o), IsEmpty()); // the folder's text is " F"
    o.pattern = u" F";
    EXPECT_THAT(search(o), ElementsAre(Row{u" R", u" F"}));
    o.pattern = u"r";
    EXPECT_THAT(search(o), ElementsAre(Row{u"", u"R"}));
    o.pattern = u"R ";
    EXPECT_THAT(search(o), IsEmpty()); // nothing is trimmed
}

TEST_F(SearchTreeTest, RecursiveOffExaminesOneLevel) {
    SearchOptions o = opts(u"");
    o.pattern = u"t";
    o.isRecursiveSearch = false;
    EXPECT_THAT(search(o), IsEmpty()); // only R and S are looked at
    o.pattern = u"S";
    EXPECT_THAT(search(o), ElementsAre(Row{u"", u"S"}));

    // From the current folder: the selected node and its siblings only.
    o.isLocalSearch = true;
    o.pattern = u"t";
    tree.select(top);
    EXPECT_THAT(search(o), ElementsAre(Row{u"R", u"top.txt"}));
}

TEST_F(SearchTreeTest, FilesOnlyWithholdsRootsAndFoldersButSearchesBelowThem) {
    // A file-kind node that has children still counts as a file: the kind decides alone.
    const NodeId odd = add(tree, g, u"odd", kKindOther);
    add(tree, odd, u"in", kKindOther);
    SearchOptions o = opts(u"");
    o.isFilesOnly = true;
    o.pattern = u" ";
    EXPECT_THAT(search(o), IsEmpty()); // only folders contain a space
    o.pattern = u"D";
    EXPECT_THAT(search(o), ElementsAre(Row{u" R\\ F\\ G", u"deep.txt"}, Row{u" R\\ F\\ G", u"odd"},
                                       Row{u" R\\ F", u"mid.txt"}, Row{u" S", u"cd.txt"}));
    o.isFilesOnly = false;
    o.pattern = u"R";
    EXPECT_THAT(search(o), ElementsAre(Row{u"", u"R"}, Row{u" R\\ H", u"other.txt"}));
    o.isFilesOnly = true;
    EXPECT_THAT(search(o), ElementsAre(Row{u" R\\ H", u"other.txt"}));
}

TEST_F(SearchTreeTest, AMatchComesBeforeItsMatchingDescendants) {
    EXPECT_THAT(search(opts(u"G")), ElementsAre(Row{u" R\\ F", u" G"}));
    const NodeId gg = add(tree, g, u" GG", kKindFolder);
    add(tree, gg, u"g.txt", kKindDocument);
    EXPECT_THAT(search(opts(u"G")), ElementsAre(Row{u" R\\ F", u" G"}, Row{u" R\\ F\\ G", u" GG"},
                                                Row{u" R\\ F\\ G\\ GG", u"g.txt"}));
}

TEST_F(SearchTreeTest, ASecondSearchStartsAfresh) {
    SearchResults results;
    engine.run(tree, opts(u"txt"), results);
    EXPECT_EQ(engine.matchCount(), 5u);
    engine.run(tree, opts(u"nowhere"), results);
    EXPECT_EQ(engine.matchCount(), 0u);
    EXPECT_TRUE(results.empty());
}

TEST(SearchMatching, CaseFoldsOnlyAToZ) {
    SnapshotTree tree;
    add(tree, kTopLevel, u"README.TXT", kKindDocument);
    add(tree, kTopLevel, u"ReadMe.txt", kKindDocument);
    add(tree, kTopLevel, u"readme", kKindDocument);
    add(tree, kTopLevel, u"\u00e9t\u00e9", kKindDocument); // été
    add(tree, kTopLevel, u"\u00c9T\u00c9", kKindDocument); // ÉTÉ
    add(tree, kTopLevel, u"\u0131", kKindDocument);        // dotless i: no locale rules
    add(tree, kTopLevel, u"tile", kKindDocument);

    EXPECT_THAT(rowsOf(searchTree(tree, opts(u"readme"))),
                ElementsAre(Row{u"", u"README.TXT"}, Row{u"", u"ReadMe.txt"}, Row{u"", u"readme"}));
    EXPECT_THAT(rowsOf(searchTree(tree, opts(u"\u00e9t\u00e9"))),
                ElementsAre(Row{u"", u"\u00e9t\u00e9"}));
    EXPECT_THAT(rowsOf(searchTree(tree, opts(u"I"))), ElementsAre(Row{u"", u"tile"}));

    SearchOptions exact = opts(u"ReadMe");
    exact.isMatchCase = true;
    EXPECT_THAT(rowsOf(searchTree(tree, exact)), ElementsAre(Row{u"", u"ReadMe.txt"}));
}

// The matching scans several units at a time: compare it with the plain definition for
// texts of every length around that width and patterns at every place in them.
TEST(SearchMatching, AgreesWithAPlainFoldedComparison) {
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
            SearchOptions o = opts(pattern);
            o.isMatchCase = matchCase;
            std::size_t expected = 0;
            const std::u16string wanted = matchCase ? pattern : foldAsciiUpper(pattern);
            for (const std::u16string& text : texts) {
                const std::u16string compared = matchCase ? text : foldAsciiUpper(text);
                expected += compared.find(wanted) != std::u16string::npos ? 1 : 0;
            }
            EXPECT_EQ(searchTree(tree, o).size(), expected) << round << (matchCase ? " case" : "");
        }
    }
}

TEST(SearchMatching, NoCharacterIsAWildcard) {
    SnapshotTree tree;
    add(tree, kTopLevel, u"a*b", kKindOther);
    add(tree, kTopLevel, u"ab", kKindOther);
    add(tree, kTopLevel, u"a?b", kKindOther);
    add(tree, kTopLevel, u"a\\b", kKindOther);
    EXPECT_THAT(rowsOf(searchTree(tree, opts(u"*"))), ElementsAre(Row{u"", u"a*b"}));
    EXPECT_THAT(rowsOf(searchTree(tree, opts(u"?"))), ElementsAre(Row{u"", u"a?b"}));
    EXPECT_THAT(rowsOf(searchTree(tree, opts(u"\\"))), ElementsAre(Row{u"", u"a\\b"}));
    EXPECT_THAT(rowsOf(searchTree(tree, opts(u"a*"))), ElementsAre(Row{u"", u"a*b"}));
}

TEST(SearchMatching, ASpaceFindsEveryFolderAndNamesWithSpaces) {
    SnapshotTree tree;
    const NodeId root = add(tree, kTopLevel, u"Disk", kKindDriveRoot);
    add(tree, root, u" music", kKindFolder);
    add(tree, root, u"my file.txt", kKindDocument);
    add(tree, root, u"plain.txt", kKindDocument);
    add(tree, kTopLevel, u"Backup 2", kKindDriveRoot);
    EXPECT_THAT(rowsOf(searchTree(tree, opts(u" "))),
                ElementsAre(Row{u" Disk", u" music"}, Row{u" Disk", u"my file.txt"},
                            Row{u"", u"Backup 2"}));
}

TEST(SearchMatching, EmptySnapshotGivesNoRows) {
    SnapshotTree tree;
    std::size_t count = 99;
    EXPECT_TRUE(searchTree(tree, opts(u"a"), &count).empty());
    EXPECT_EQ(count, 0u);
    SearchOptions local = opts(u"a");
    local.isLocalSearch = true;
    EXPECT_TRUE(searchTree(tree, local, &count).empty());
}

TEST(SearchLimits, LongTextsAndPathsAreComparedAndShownWhole) {
    SnapshotTree tree;
    const std::u16string longName(3000, u'x');
    const NodeId root = add(tree, kTopLevel, longName, kKindDriveRoot);
    NodeId parent = root;
    std::u16string expectedPath = u" " + longName;
    for (int i = 0; i < 5; ++i) {
        parent = add(tree, parent, u" " + longName, kKindFolder);
        expectedPath += u"\\ " + longName;
    }
    add(tree, parent, longName + u"END", kKindOther);
    const std::u16string pattern = std::u16string(1500, u'X') + u"END";
    const SearchResults results = searchTree(tree, opts(pattern));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results.item(0), longName + u"END");
    EXPECT_EQ(results.path(0), expectedPath);
}

TEST(SearchLimits, AVeryDeepTreeIsWalkedWithoutRecursion) {
    SnapshotTree tree;
    constexpr int kDepth = 10000;
    NodeId node = add(tree, kTopLevel, u"root", kKindDriveRoot);
    std::vector<NodeId> chain{node};
    for (int i = 1; i < kDepth; ++i) {
        node = add(tree, node, u" d", kKindFolder);
        chain.push_back(node);
    }
    add(tree, node, u"leaf", kKindOther);
    add(tree, chain[kDepth / 2], u"hello", kKindOther);
    add(tree, kTopLevel, u"second", kKindDriveRoot);

    SearchOptions o = opts(u"");
    o.pattern = u"e";
    o.isFilesOnly = true;
    const SearchResults results = searchTree(tree, o);
    ASSERT_EQ(results.size(), 2u);
    // Pre-order: the leaf at the bottom of the chain comes before the node that was
    // appended later half way up, and the second root's subtree is reached afterwards.
    EXPECT_EQ(results.item(0), u"leaf");
    EXPECT_EQ(results.item(1), u"hello");
    EXPECT_EQ(results.path(0).size(), 5 + 3 * std::size_t{kDepth - 1});
    EXPECT_EQ(results.path(1).size(), 5 + 3 * std::size_t{kDepth / 2});
    EXPECT_EQ(results.path(0).substr(0, 8), u" root\\ d");

    o.isFilesOnly = false;
    o.pattern = u"d";
    const SearchResults all = searchTree(tree, o);
    EXPECT_EQ(all.size(), std::size_t{kDepth}); // the folders and "second"
    // Every row has its own path, 15 000 characters on average: the rows share the pieces
    // of their paths instead of holding 300 MB of copies.
    EXPECT_EQ(all.pathLength(kDepth - 2), 5 + 3 * std::size_t{kDepth - 2});
    EXPECT_EQ(all.path(kDepth - 1), u"");
    EXPECT_LT(all.memoryUsage(), std::size_t{4} << 20);
}

TEST(SearchLimits, ThePathIsCutBackAfterEachDescent) {
    SnapshotTree tree;
    const NodeId root = add(tree, kTopLevel, u"root", kKindDriveRoot);
    const NodeId folder = add(tree, root, u" folder", kKindFolder);
    for (int i = 0; i < 100; ++i) {
        add(tree, folder, u"file", kKindOther);
    }
    add(tree, root, u"file", kKindOther);
    const SearchResults results = searchTree(tree, opts(u"file"));
    ASSERT_EQ(results.size(), 101u);
    EXPECT_EQ(results.path(99), u" root\\ folder");
    EXPECT_EQ(results.path(100), u" root"); // cut back after the folder
}

} // namespace
} // namespace zelvane
