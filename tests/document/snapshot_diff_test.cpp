#include "document/snapshot_diff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace zelvane {
namespace {

using Lines = std::vector<std::string>;

std::string pathOf(const SnapshotTree& tree, NodeId node) {
    std::string path;
    for (NodeId n = node; n != kNoNode; n = tree.parent(n)) {
        std::string text(tree.text(n).begin(), tree.text(n).end()); // ASCII only
        std::replace(text.begin(), text.end(), ' ', '_');
        path = text + (n == node ? "" : "/") + path;
    }
    return path;
}

// Outlines: pre-order tokens, a dot per level, "_" a space; entries "-path" or "+path".
Lines diff(const std::string& oldOutline, const std::string& newOutline,
           const TextBefore& before = {}) {
    SnapshotTree trees[2];
    for (int side = 0; side < 2; ++side) {
        std::vector<NodeId> parents;
        std::istringstream tokens(side == 0 ? oldOutline : newOutline);
        for (std::string token; tokens >> token;) {
            const std::size_t level = token.find_first_not_of('.');
            std::replace(token.begin(), token.end(), '_', ' ');
            parents.resize(level);
            const std::u16string text(token.begin() + static_cast<long>(level), token.end());
            parents.push_back(trees[side].insertLast(level ? parents.back() : kTopLevel, text));
            trees[side].setKind(parents.back(), level == 0 ? kKindDriveRoot : kKindOther);
        }
    }
    Lines lines;
    for (const DiffEntry& e : diffSnapshots(trees[0], trees[1], before)) {
        const SnapshotTree& tree = trees[e.change == DiffChange::Removed ? 0 : 1];
        EXPECT_EQ(e.level, tree.level(e.node));
        lines.push_back(static_cast<char>(e.change) + pathOf(tree, e.node));
    }
    return lines;
}

TEST(SnapshotDiff, ListsWhatEachSideHoldsAloneInMergedTreeOrder) {
    const TextBefore codeUnits = [](std::u16string_view a, std::u16string_view b) { return a < b; };
    const TextBefore ignoringCase = [](std::u16string_view a, std::u16string_view b) {
        return std::tolower(static_cast<int>(a[0])) < std::tolower(static_cast<int>(b[0]));
    };
    const struct {
        std::string oldOutline, newOutline;
        Lines expected;
        TextBefore before = {};
    } cases[] = {
        {"", "D .a", {"+D", "+D/a"}},
        {"D ._x ..a E", "", {"-D", "-D/_x", "-D/_x/a", "-E"}},
        {"D ._a .z",
         "D ._a ._m ..x ...deep ..y .z",
         {"+D/_m", "+D/_m/x", "+D/_m/x/deep", "+D/_m/y"}},
        {"D ._a", "D .a", {"-D/_a", "+D/a"}}, // a folder and a file of one name differ
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
    for (const auto& c : cases) {
        EXPECT_EQ(diff(c.oldOutline, c.newOutline, c.before), c.expected) << c.oldOutline;
    }
}

// A path is told apart from its same-text siblings by its place among them.
TEST(SnapshotDiff, RandomTreesDifferByExactlyThePathsTheEntriesName) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::string outlines[2];
        std::map<std::string, std::string> paths[2]; // numbered path -> path
        for (int side = 0; side < 2; ++side) {
            std::vector<std::string> open, numbered; // of the node last seen at each level
            std::map<std::string, int> seen;
            for (int i = static_cast<int>(random() % 40); i > 0; --i) {
                const std::size_t level = std::min<std::size_t>(open.size(), random() % 4);
                open.resize(level);
                numbered.resize(level);
                const std::string text(1, static_cast<char>('a' + random() % 3));
                const std::string parent = level == 0 ? "" : numbered.back() + "/";
                numbered.push_back(parent + text + std::to_string(seen[parent + text]++));
                open.push_back((level == 0 ? "" : open.back() + "/") + text);
                outlines[side] += std::string(level, '.') + text + " ";
                paths[side].emplace(numbered.back(), open.back());
            }
        }
        Lines expected, named = diff(outlines[0], outlines[1]);
        for (int side = 0; side < 2; ++side) {
            for (const auto& [key, path] : paths[side]) {
                if (paths[1 - side].count(key) == 0) {
                    expected.push_back((side == 0 ? "-" : "+") + path);
                }
            }
        }
        std::sort(expected.begin(), expected.end());
        std::sort(named.begin(), named.end());
        ASSERT_EQ(named, expected) << outlines[0] << "-> " << outlines[1];
    }
}

} // namespace
} // namespace zelvane
