// The search engine: random trees against the plain definition, and trees past any buffer.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "document/snapshot_tree.h"
#include "search/search_engine.h"
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

bool plainMatch(std::u16string text, std::u16string pattern, const SearchOptions& o) {
    if (!o.isMatchCase) {
        text = foldAsciiUpper(text);
        pattern = foldAsciiUpper(pattern);
    }
    return o.isMatchWholePatternOnly ? text == pattern : text.find(pattern) != text.npos;
}

void plainChildren(const SnapshotTree& tree, NodeId parent, std::u16string& path,
                   const SearchOptions& o, std::vector<PlainRow>& rows) {
    for (NodeId n = tree.firstChild(parent); n != kNoNode; n = tree.nextSibling(n)) {
        const std::u16string text(tree.text(n));
        if (plainMatch(text, o.pattern, o) && !(o.isFilesOnly && isContainerKind(tree.kind(n)))) {
            rows.emplace_back(path, text, tree.kind(n), n);
        }
        if (o.isRecursiveSearch && tree.hasChildren(n)) {
            const std::size_t length = path.size();
            path += (length == 0 ? u" " : u"\\") + text;
            plainChildren(tree, n, path, o, rows);
            path.resize(length);
        }
    }
}

// Random forests with renamed nodes, removed branches and file-kind nodes with children,
// under every combination of the options; texts at the folded range's edges and wildcards.
TEST(SearchEngine, GivesTheRowsOfThePlainDefinitionOnRandomTrees) {
    std::mt19937 random(11);
    const std::u16string letters = u"abAB zZ{@`\u00e9\u00c9\u0416x*?\\";
    auto draw = [&](std::size_t length) {
        std::u16string text;
        while (text.size() < length) {
            text.push_back(letters[random() % letters.size()]);
        }
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
        for (int i = 0; i < 400; ++i) {
            const NodeId parent = random() % 6 == 0 ? kNoNode : live();
            const int kind = static_cast<int>(random() % kKindCount);
            const std::u16string text = (kind == kKindFolder ? u" " : u"") + draw(random() % 30);
            nodes.push_back(add(tree, parent == kNoNode ? kTopLevel : parent, text, kind));
            if (const NodeId renamed = live(); renamed != kNoNode && random() % 9 == 0) {
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
                const std::u16string_view text = tree.text(pick);
                pattern = text.substr(random() % (text.size() + 1), 1 + random() % 9);
            }
            const SearchOptions o = opts(pattern, search);
            engine.run(tree, o, results);
            std::vector<PlainRow> rows, plain;
            for (std::size_t r = 0; r < results.size(); ++r) {
                rows.emplace_back(results.path(r), results.item(r), results.kind(r),
                                  results.node(r));
            }
            NodeId start = kTopLevel;
            std::u16string path;
            if (o.isLocalSearch && tree.selected() != kNoNode &&
                tree.parent(tree.selected()) != kNoNode) {
                start = tree.parent(tree.selected());
                path = tree.text(start);
            }
            plainChildren(tree, start, path, o, plain);
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
        while (text.size() < length) {
            text += unit;
        }
        text.resize(length);
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
    EXPECT_TRUE(searchTree(tree, opts(u"a"), &count).empty());
    EXPECT_EQ(count, 0u);
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

} // namespace
} // namespace zelvane
