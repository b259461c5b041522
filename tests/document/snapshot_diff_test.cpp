#include "document/snapshot_diff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace zelvane {
namespace {

using Lines = std::vector<std::string>;

// An outline: pre-order tokens, one dot per level, "_" for a space.
void build(SnapshotTree& tree, const std::string& outline) {
    std::vector<NodeId> parents;
    std::istringstream tokens(outline);
    for (std::string token; tokens >> token;) {
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

std::string narrow(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        out.push_back(c == u' ' ? '_' : static_cast<char>(c));
    }
    return out;
}

std::string pathOf(const SnapshotTree& tree, NodeId node) {
    std::string path = narrow(tree.text(node));
    for (NodeId n = tree.parent(node); n != kNoNode; n = tree.parent(n)) {
        path = narrow(tree.text(n)) + "/" + path;
    }
    return path;
}

// Each entry as "-path" or "+path", in the order given; checks each entry's level.
Lines render(const SnapshotTree& oldTree, const SnapshotTree& newTree,
             const std::vector<DiffEntry>& entries) {
    Lines lines;
    for (const DiffEntry& e : entries) {
        const SnapshotTree& tree = e.change == DiffChange::Removed ? oldTree : newTree;
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
    const TextBefore codeUnits = [](std::u16string_view a, std::u16string_view b) { return a < b; };
    const TextBefore ignoringCase = [](std::u16string_view a, std::u16string_view b) {
        return std::tolower(static_cast<int>(a[0])) < std::tolower(static_cast<int>(b[0]));
    };
    struct Case {
        std::string oldOutline, newOutline;
        Lines expected;
        TextBefore before = {};
    };
    const Case cases[] = {
        {"", "D .a", {"+D", "+D/a"}},
        {"D ._x ..a E", "", {"-D", "-D/_x", "-D/_x/a", "-E"}},
        {"D .a .c .e", "D .a .b .c .d .e", {"+D/b", "+D/d"}},
        {"D ._a .z",
         "D ._a ._m ..x ...deep ..y .z",
         {"+D/_m", "+D/_m/x", "+D/_m/x/deep", "+D/_m/y"}},
        // A folder and a file of the same name are different paths.
        {"D ._a", "D .a", {"-D/_a", "+D/a"}},
        // Pairs follow the old order; duplicates pair in order of appearance.
        {"D .b .a E", "E D .a .b", {}},
        {"D .a ..x .a ..y", "D .a ..y", {"-D/a/x", "+D/a/y", "-D/a", "-D/a/y"}},
        // Without an order the removed go first between shared nodes.
        {"D .b .d", "D .a .c .d", {"-D/b", "+D/a", "+D/c"}},
        {"D .b ..x", "D .a .b ..y", {"+D/a", "-D/b/x", "+D/b/y"}},
        // An order interleaves them; equal in the order, the removed goes first.
        {"D .b .d .f", "D .a .c .d .e", {"+D/a", "-D/b", "+D/c", "+D/e", "-D/f"}, codeUnits},
        {"D .a", "D .A", {"-D/a", "+D/A"}, ignoringCase},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(diff(c.oldOutline, c.newOutline, c.before), c.expected)
            << c.oldOutline << " -> " << c.newOutline;
    }
}

// Every node's path, keyed by the path with each text numbered among same-text siblings.
std::map<std::string, std::string> numberedPaths(const SnapshotTree& tree) {
    std::map<std::string, std::string> paths;
    std::map<NodeId, std::string> numbered;
    walkPreOrder(tree, [&](NodeId node, std::size_t) {
        const NodeId parent = tree.parent(node);
        int seen = 0;
        for (NodeId s = tree.firstChild(parent == kNoNode ? kTopLevel : parent); s != node;
             s = tree.nextSibling(s)) {
            seen += tree.text(s) == tree.text(node) ? 1 : 0;
        }
        numbered[node] = (parent == kNoNode ? "" : numbered[parent] + "/") +
                         narrow(tree.text(node)) + "#" + std::to_string(seen);
        paths.emplace(numbered[node], pathOf(tree, node));
    });
    return paths;
}

TEST(SnapshotDiff, RandomTreesDifferByExactlyThePathsTheEntriesName) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
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
        std::multiset<std::string> named[2], expected[2];
        for (const DiffEntry& e : diffSnapshots(trees[0], trees[1])) {
            const int side = e.change == DiffChange::Removed ? 0 : 1;
            named[side].insert(pathOf(trees[side], e.node));
        }
        const std::map<std::string, std::string> paths[2] = {numberedPaths(trees[0]),
                                                             numberedPaths(trees[1])};
        for (int side = 0; side < 2; ++side) {
            for (const auto& [key, path] : paths[side]) {
                if (paths[1 - side].count(key) == 0) {
                    expected[side].insert(path);
                }
            }
        }
        ASSERT_EQ(named[0], expected[0]);
        ASSERT_EQ(named[1], expected[1]);
    }
}

} // namespace
} // namespace zelvane
