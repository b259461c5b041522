#include "document/snapshot_diff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace zelvane {
namespace {

using Lines = std::vector<std::string>;

// Builds a tree from an outline: tokens in pre-order, each with one dot per level before
// its text; an underscore in a text stands for a space (a folder's " name").
void build(SnapshotTree& tree, const std::string& outline) {
    std::vector<NodeId> parents;
    std::size_t start = 0;
    while (start < outline.size()) {
        std::size_t end = outline.find(' ', start);
        if (end == std::string::npos) {
            end = outline.size();
        }
        std::string token = outline.substr(start, end - start);
        start = end + 1;
        if (token.empty()) {
            continue;
        }
        const std::size_t level = token.find_first_not_of('.');
        std::u16string text;
        for (char c : token.substr(level)) {
            text.push_back(c == '_' ? u' ' : static_cast<char16_t>(c));
        }
        parents.resize(level);
        const NodeId node = tree.insertLast(level == 0 ? kTopLevel : parents.back(), text);
        tree.setKind(node, level == 0 ? kKindDriveRoot : kKindOther);
        parents.push_back(node);
    }
}

std::string pathOf(const SnapshotTree& tree, NodeId node) {
    std::string path;
    for (NodeId n = node; n != kNoNode; n = tree.parent(n)) {
        std::string text;
        for (char16_t c : tree.text(n)) {
            text.push_back(c == u' ' ? '_' : static_cast<char>(c));
        }
        path = path.empty() ? text : text + "/" + path;
    }
    return path;
}

// Each entry as "-path" or "+path", in the order given; checks each entry's level.
Lines render(const SnapshotTree& oldTree, const SnapshotTree& newTree,
             const std::vector<DiffEntry>& entries) {
    Lines lines;
    for (const DiffEntry& e : entries) {
        const SnapshotTree& tree = e.change == DiffChange::kRemoved ? oldTree : newTree;
        const std::string path = pathOf(tree, e.node);
        EXPECT_EQ(e.level, tree.level(e.node)) << path;
        lines.push_back(static_cast<char>(e.change) + path);
    }
    return lines;
}

Lines diff(const std::string& oldOutline, const std::string& newOutline,
           const TextBefore& before = {}) {
    SnapshotTree oldTree;
    SnapshotTree newTree;
    build(oldTree, oldOutline);
    build(newTree, newOutline);
    return render(oldTree, newTree, diffSnapshots(oldTree, newTree, before));
}

TEST(SnapshotDiff, ListsWhatEachSideHoldsAloneInMergedTreeOrder) {
    struct Case {
        const char* what;
        std::string oldOutline, newOutline;
        Lines expected;
    };
    const Case cases[] = {
        {"equal", "D ._Docs ..a ..b .c", "D ._Docs ..a ..b .c", {}},
        {"both empty", "", "", {}},
        {"all new", "", "D .a", {"+D", "+D/a"}},
        {"all gone", "D ._x ..a E", "", {"-D", "-D/_x", "-D/_x/a", "-E"}},
        {"one file added among others", "D .a .c .e", "D .a .b .c .d .e", {"+D/b", "+D/d"}},
        {"one file removed, the last", "D .a .b", "D .a", {"-D/b"}},
        {"a folder added with its subtree, levels below it",
         "D ._a .z",
         "D ._a ._m ..x ...deep ..y .z",
         {"+D/_m", "+D/_m/x", "+D/_m/x/deep", "+D/_m/y"}},
        {"changes in nested folders, in the order of the tree",
         "D ._a ..1 ..2 ._b ..3 .f",
         "D ._a ..1 ._b ..3 ..4 .g",
         {"-D/_a/2", "+D/_b/4", "-D/f", "+D/g"}},
        {"a renamed root is a whole tree removed and another added",
         "Old .a",
         "New .a",
         {"-Old", "-Old/a", "+New", "+New/a"}},
        {"a folder and a file of the same name are different paths",
         "D ._a",
         "D .a",
         {"-D/_a", "+D/a"}},
        {"same paths in another order are equal", "D .b .a E", "E D .a .b", {}},
        {"pairs follow the old order, one-sided nodes stay where their side has them",
         "D .b ..x .a ..y",
         "D .a .b .c",
         {"-D/b/x", "-D/a/y", "+D/c"}},
        {"duplicate siblings pair in order of appearance",
         "D .a ..x .a ..y",
         "D .a ..y",
         {"-D/a/x", "+D/a/y", "-D/a", "-D/a/y"}},
        {"a third duplicate added after two kept", "D .a .a", "D .a .a .a", {"+D/a"}},
        {"without an order the removed go first between shared nodes",
         "D .b .d",
         "D .a .c .d",
         {"-D/b", "+D/a", "+D/c"}},
        {"an added node before a shared one comes before it",
         "D .b ..x",
         "D .a .b ..y",
         {"+D/a", "-D/b/x", "+D/b/y"}},
        {"nothing shared below a shared root", "D .a .b", "D .c", {"-D/a", "-D/b", "+D/c"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(diff(c.oldOutline, c.newOutline), c.expected) << c.what;
    }
}

TEST(SnapshotDiff, AnOrderInterleavesTheRemovedAndAddedBetweenSharedNodes) {
    const TextBefore codeUnits = [](std::u16string_view a, std::u16string_view b) { return a < b; };
    EXPECT_EQ(diff("D .b .d .f", "D .a .c .d .e", codeUnits),
              (Lines{"+D/a", "-D/b", "+D/c", "+D/e", "-D/f"}));
    // Equal in the order (here: letter case ignored), the removed node goes first.
    const TextBefore ignoringCase = [](std::u16string_view a, std::u16string_view b) {
        return std::tolower(static_cast<int>(a[0])) < std::tolower(static_cast<int>(b[0]));
    };
    EXPECT_EQ(diff("D .a", "D .A", ignoringCase), (Lines{"-D/a", "+D/A"}));
    EXPECT_EQ(diff("D .A", "D .a", ignoringCase), (Lines{"-D/A", "+D/a"}));
}

// The path of every node with the number of its text among its earlier siblings, as a
// multiset: what the entries must add up to, whatever their order.
std::multiset<std::string> numberedPaths(const SnapshotTree& tree) {
    std::multiset<std::string> paths;
    std::map<NodeId, std::string> pathOfNode;
    walkPreOrder(tree, [&](NodeId node, std::size_t) {
        const NodeId parent = tree.parent(node);
        int seen = 0;
        for (NodeId s = tree.firstChild(parent == kNoNode ? kTopLevel : parent); s != node;
             s = tree.nextSibling(s)) {
            seen += tree.text(s) == tree.text(node) ? 1 : 0;
        }
        const std::string own =
            pathOf(tree, node).substr(parent == kNoNode ? 0 : pathOf(tree, parent).size() + 1) +
            "#" + std::to_string(seen);
        pathOfNode[node] = parent == kNoNode ? own : pathOfNode[parent] + "/" + own;
        paths.insert(pathOfNode[node]);
    });
    return paths;
}

TEST(SnapshotDiff, RandomTreesDifferByExactlyThePathsTheEntriesName) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        SnapshotTree trees[2];
        for (SnapshotTree& tree : trees) {
            std::vector<NodeId> open;
            const int size = static_cast<int>(random() % 40);
            for (int i = 0; i < size; ++i) {
                open.resize(std::min<std::size_t>(open.size(), random() % 4));
                const char16_t text[] = {static_cast<char16_t>(u'a' + random() % 3), 0};
                open.push_back(tree.insertLast(open.empty() ? kTopLevel : open.back(), text));
            }
        }
        const std::vector<DiffEntry> entries = diffSnapshots(trees[0], trees[1]);
        std::multiset<std::string> removed;
        std::multiset<std::string> added;
        for (const DiffEntry& e : entries) {
            const bool isRemoved = e.change == DiffChange::kRemoved;
            (isRemoved ? removed : added).insert(pathOf(trees[isRemoved ? 0 : 1], e.node));
        }
        const auto oldPaths = numberedPaths(trees[0]);
        const auto newPaths = numberedPaths(trees[1]);
        std::multiset<std::string> onlyOld;
        std::multiset<std::string> onlyNew;
        std::set_difference(oldPaths.begin(), oldPaths.end(), newPaths.begin(), newPaths.end(),
                            std::inserter(onlyOld, onlyOld.end()));
        std::set_difference(newPaths.begin(), newPaths.end(), oldPaths.begin(), oldPaths.end(),
                            std::inserter(onlyNew, onlyNew.end()));
        auto stripNumbers = [](const std::multiset<std::string>& paths) {
            std::multiset<std::string> plain;
            for (std::string p : paths) {
                for (std::size_t hash; (hash = p.find('#')) != std::string::npos;) {
                    p.erase(hash, p.find('/', hash) - hash); // npos: to the end
                }
                plain.insert(p);
            }
            return plain;
        };
        ASSERT_EQ(removed, stripNumbers(onlyOld)) << "round " << round;
        ASSERT_EQ(added, stripNumbers(onlyNew)) << "round " << round;
    }
}

} // namespace
} // namespace zelvane
