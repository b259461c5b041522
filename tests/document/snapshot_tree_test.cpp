#include "document/snapshot_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "document/node_text.h"
#include "document/snapshot_diff.h"

namespace zelvane {
namespace {

using Lines = std::vector<std::string>;

std::string event(const std::string& what, NodeId parent, std::size_t row) {
    return what + (parent == kTopLevel ? " top " : " node ") + std::to_string(row);
}

struct RecordingObserver : TreeObserver {
    Lines calls;
    void beforeInsert(NodeId p, std::size_t r) override { calls.push_back(event("insert", p, r)); }
    void beforeRemove(NodeId) override { calls.push_back("remove"); }
    void afterRemove(NodeId p, std::size_t r) override { calls.push_back(event("removed", p, r)); }
    void nodeChanged(NodeId) override { calls.push_back("changed"); }
    void beforeReorder(NodeId) override { calls.push_back("reorder"); }
    void afterReorder(NodeId) override { calls.push_back("reordered"); }
    void beforeReset() override { calls.push_back("reset"); }
    void afterReset() override { calls.push_back("was reset"); }
    void selectionChanged(NodeId n) override { calls.push_back(n == kNoNode ? "none" : "select"); }
};

// A bad id stops a debug build; in release it answers as a removed node does.
TEST(SnapshotTree, GoneAndBadIdsFreedSlotsAndBulkUpdatesAsTheObserverHearsThem) {
    SnapshotTree tree;
    RecordingObserver observer;
    const NodeId r = tree.insertLast(kTopLevel, u"r"), a = tree.insertLast(r, u"a");
    const NodeId deep = tree.insertLast(a, u"deep"), x = tree.insertLast(r, u"x");
    tree.setObserver(&observer);
    tree.select(deep);
    tree.remove(a);
    tree.remove(a); // already gone: nothing happens
    tree.select(deep);
    EXPECT_TRUE(tree.selected() == x && tree.size() == 2);
    EXPECT_TRUE(tree.childCount(a) == 0 && tree.childAt(a, 0) == kNoNode);
    tree.markInOrder();
    const std::function<bool(NodeId)> operations[] = {
        [&](NodeId id) { return tree.text(id).empty(); },
        [&](NodeId id) { return tree.kind(id) == 0; },
        [&](NodeId id) { return !tree.isBold(id); },
        [&](NodeId id) { return tree.nextSibling(id) == kNoNode && tree.parent(id) == kNoNode; },
        [&](NodeId id) { return !tree.hasChildren(id) && tree.row(id) == 0 && !tree.level(id); },
        [&](NodeId id) { return tree.insertLast(id, u"x") == kNoNode; },
        [&](NodeId id) { return (tree.setKind(id, 3), tree.setTextAndBold(id, u"x"), true); },
    };
    for (const NodeId bad : {deep, NodeId{4} /* one past */, NodeId{1000}, kNoNode}) {
        for (const auto& operation : operations) {
            EXPECT_DEBUG_DEATH(EXPECT_TRUE(operation(bad)), "not the id");
        }
    }
    EXPECT_TRUE(tree.inOrder() && tree.size() == 2 && !tree.hasChildren(x));
    const NodeId top = tree.insertLast(kTopLevel, u"new"), under = tree.insertLast(x, u"new");
    EXPECT_TRUE(tree.idBound() == 4u && tree.nextSibling(r) == top && tree.parent(under) == x);
    {
        SnapshotTree::BulkUpdate outer(tree);
        tree.removeAll();
        SnapshotTree::BulkUpdate inner(tree);
        tree.select(tree.insertLast(kTopLevel, u"a"));
    }
    EXPECT_EQ(observer.calls, (Lines{"select", "remove", "removed node 0", "select", "insert top 1",
                                     "insert node 0", "reset", "was reset"}));
}

TEST(SnapshotTree, BigTreesCostTheirTextAndAFewLinksAndNeedNoRecursion) {
    SnapshotTree tree;
    std::vector<NodeId> ids{tree.insertLast(kTopLevel, u"root")};
    for (std::size_t i = 1; i < 300000; ++i) {
        const NodeId node = tree.insertLast(ids[i % ids.size()], u"name-of-twenty-units");
        if (i % 10 == 0) {
            ids.push_back(node);
        }
    }
    tree.childAt(ids[0], 5);                                 // an index for that parent only
    const std::size_t perNode = tree.memoryUsage() / 300000; // the 40 bytes of text and links
    EXPECT_TRUE(perNode >= 68u && perNode <= 80u) << perNode;
    tree.removeAll();
    auto nameOf = [](int i) {
        return i == 10 ? std::u16string(600000, u'L') : std::u16string(1 + i % 30, u'a' + i % 26);
    };
    ids = {tree.insertLast(kTopLevel, u"root")};
    for (int i = 0; i < 100000; ++i) {
        ids.push_back(tree.insertLast(ids.back(), nameOf(i)));
    }
    EXPECT_EQ(tree.text(ids[11]), nameOf(10));
    std::size_t visits = 0;
    walkPreOrder(tree, [&](NodeId, std::size_t level) { visits += level == visits ? 1 : 0; });
    EXPECT_TRUE(visits == 100001u && tree.level(ids.back()) == 100000u);
    tree.select(ids.back());
    const std::size_t full = tree.memoryUsage();
    tree.remove(ids[0]);
    EXPECT_TRUE(tree.empty() && tree.selected() == kNoNode);
    EXPECT_GT(tree.memoryUsage(), full); // the freed slots are listed for reuse
    tree.insertLast(kTopLevel, u"root");
    tree.removeAll();
    EXPECT_EQ(tree.idBound(), 0u);
    EXPECT_LT(tree.memoryUsage(), 64u); // the nodes and the texts are given back
}

// A plain model: each node's fields and its parent's list of children.
struct PlainTree {
    struct Node {
        std::u16string text;
        int kind = 0;
        bool bold = false;
        NodeId parent = kTopLevel;
    };
    std::map<NodeId, Node> nodes;
    std::map<NodeId, std::vector<NodeId>> children; // kTopLevel for the roots
    NodeId selected = kNoNode;

    std::size_t rowOf(NodeId node) {
        const std::vector<NodeId>& s = children[nodes[node].parent];
        return static_cast<std::size_t>(std::find(s.begin(), s.end(), node) - s.begin());
    }
    void drop(NodeId node) {
        for (NodeId child : children[node]) {
            drop(child);
        }
        children.erase(node);
        nodes.erase(node);
    }
    void expectSame(const SnapshotTree& tree) {
        ASSERT_TRUE(tree.size() == nodes.size() && tree.selected() == selected);
        for (NodeId id = 0; id < tree.idBound(); ++id) {
            ASSERT_EQ(tree.isValid(id), nodes.count(id) == 1) << id;
        }
        for (auto& [id, n] : nodes) {
            ASSERT_EQ(tree.text(id), n.text) << id;
            ASSERT_TRUE(tree.kind(id) == n.kind && tree.isBold(id) == n.bold);
            ASSERT_EQ(tree.parent(id), n.parent == kTopLevel ? kNoNode : n.parent);
            ASSERT_EQ(tree.hasChildren(id), !children[id].empty());
            ASSERT_EQ(tree.row(id), rowOf(id));
            ASSERT_EQ(tree.level(id), n.parent == kTopLevel ? 0 : tree.level(n.parent) + 1);
        }
        children[kTopLevel];
        for (auto& [parent, kids] : children) {
            ASSERT_EQ(tree.childCount(parent), kids.size());
            ASSERT_EQ(tree.firstChild(parent), kids.empty() ? kNoNode : kids.front());
            // Backwards: a large parent's children then come from an index.
            for (std::size_t r = kids.size() + 1; r-- > 0;) {
                ASSERT_EQ(tree.childAt(parent, r), r < kids.size() ? kids[r] : kNoNode);
                ASSERT_EQ(r < kids.size() ? tree.nextSibling(kids[r]) : kNoNode,
                          r + 1 < kids.size() ? kids[r + 1] : kNoNode);
            }
        }
        ASSERT_EQ(tree.firstRoot(), tree.firstChild(kTopLevel));
    }
};

// Random edits checked against the plain model after each step, with what the observer heard;
// a second run after removeAll finds nothing of the first one's nodes and child lists.
TEST(SnapshotTree, RandomEditsAnswerAsAPlainTreeDoes) {
    std::mt19937 random(3);
    SnapshotTree tree;
    RecordingObserver observer;
    tree.setObserver(&observer);
    for (int run = 0; run < 2; ++run) {
        PlainTree plain;
        auto anyNode = [&] {
            return std::next(plain.nodes.begin(), static_cast<long>(random() % plain.nodes.size()))
                ->first;
        };
        for (int step = 0; step < 1500; ++step) {
            observer.calls.clear();
            const unsigned op = plain.nodes.empty() ? 0 : random() % 10;
            Lines heard;
            if (op < 5) { // most go to a few parents, so that some groups grow large
                const NodeId parent = plain.nodes.empty() || random() % 8 == 0 ? kTopLevel
                                      : random() % 2 == 0 ? plain.nodes.begin()->first
                                                          : anyNode();
                const std::u16string text =
                    std::u16string(random() % 4, static_cast<char16_t>(u'a' + random() % 3)) +
                    (random() % 5 == 0 ? u"\u0416" : u"");
                heard = {event("insert", parent, plain.children[parent].size())};
                const NodeId id = tree.insertLast(parent, text);
                ASSERT_EQ(plain.nodes.count(id), 0u);
                plain.nodes[id] = {text, 0, false, parent};
                plain.children[parent].push_back(id);
            } else if (op == 5) {
                const NodeId id = anyNode(), from = anyNode();
                const bool bold = random() % 2 == 0;
                plain.nodes[id].text = tree.text(from); // read from the arena while it grows
                plain.nodes[id].bold = plain.nodes[id].bold || bold;
                bold ? tree.setTextAndBold(id, tree.text(from)) : tree.setText(id, tree.text(from));
                heard = {"changed"};
            } else if (op == 6) {
                const NodeId id = anyNode();
                const int kind = static_cast<int>(random() % 256);
                heard = plain.nodes[id].kind == kind ? Lines{} : Lines{"changed"};
                tree.setKind(id, kind);
                plain.nodes[id].kind = kind;
            } else if (op == 7) {
                const NodeId parent = random() % 4 == 0 ? kTopLevel : anyNode();
                tree.sortChildren(parent,
                                  [&](NodeId a, NodeId b) { return tree.text(a) < tree.text(b); });
                std::vector<NodeId>& kids = plain.children[parent];
                std::stable_sort(kids.begin(), kids.end(), [&](NodeId a, NodeId b) {
                    return plain.nodes[a].text < plain.nodes[b].text;
                });
                heard = kids.size() > 1 ? Lines{"reorder", "reordered"} : Lines{};
            } else if (op == 8) {
                const NodeId id = anyNode(), parent = plain.nodes[id].parent;
                std::vector<NodeId>& siblings = plain.children[parent];
                const std::size_t row = plain.rowOf(id);
                bool inside = false;
                for (NodeId s = plain.selected; s < kTopLevel && !inside;
                     s = plain.nodes[s].parent) {
                    inside = s == id;
                }
                tree.remove(id);
                heard = {"remove", event("removed", parent, row)};
                if (inside) {
                    plain.selected = row + 1 < siblings.size() ? siblings[row + 1]
                                     : row > 0                 ? siblings[row - 1]
                                     : parent != kTopLevel     ? parent
                                                               : kNoNode;
                    heard.push_back(plain.selected == kNoNode ? "none" : "select");
                }
                siblings.erase(siblings.begin() + static_cast<long>(row));
                plain.drop(id);
            } else {
                plain.selected = random() % 5 == 0 ? kNoNode : anyNode();
                tree.select(plain.selected);
                heard = {plain.selected == kNoNode ? "none" : "select"};
            }
            ASSERT_EQ(observer.calls, heard) << step;
            plain.expectSame(tree);
        }
        EXPECT_GT(tree.size(), 100u);
        tree.removeAll();
        EXPECT_EQ(observer.calls.back(), "was reset");
    }
}

TEST(NodeText, EachFormOfEachKindOfNode) {
    using View = std::u16string_view; // text, kind, root; display, listed, renamed to "n"
    const std::tuple<View, int, bool, View, View, View> rows[] = {
        {u" Docs", kKindFolder, false, u"Docs", u"Docs", u" n"},
        {u"  two", kKindFolder, false, u" two", u" two", u" n"}, // only one space goes
        {u" odd.txt", kKindDocument, false, u"odd.txt", u" odd.txt", u" n"},
        {u" Title", kKindFolder, true, u"Title", u" Title", u" n"}, // a root is its label
        {u"a.txt", kKindFolder, false, u"a.txt", u"a.txt", u"n"},
        {u"", kKindDriveRoot, true, u"", u"", u"n"},
    };
    for (const auto& [text, kind, root, display, listed, renamed] : rows) {
        EXPECT_EQ(displayName(text), display) << kind;
        EXPECT_EQ(listedName(text, kind, root), listed) << kind;
        EXPECT_EQ(renamedText(text, u"n"), renamed) << kind;
    }
    std::u16string folder = u"old";
    assignFolderText(folder, u"Docs");
    EXPECT_EQ(folder, u" Docs");

    const PathElement chain[] = {
        {u"R", kKindDriveRoot}, {u" F", kKindFolder}, {u" f.x", kKindOther}, {u" G", kKindFolder}};
    const PathElement spacedRoot[] = {{u" S", kKindFolder}, {u"", kKindFolder}};
    EXPECT_EQ(columnPath({}), u"");
    EXPECT_EQ(slashPath({}), u"");
    EXPECT_EQ(columnPath(chain), u" R\\ F\\ f.x\\ G");
    EXPECT_EQ(slashPath(chain), u"R/F/ f.x/G");
    EXPECT_EQ(columnPath(spacedRoot), u"  S\\");
    EXPECT_EQ(slashPath(spacedRoot), u" S/");
}

std::string pathOf(const SnapshotTree& tree, NodeId node) {
    std::string path;
    for (NodeId n = node; n != kNoNode; n = tree.parent(n)) {
        path =
            std::string(tree.text(n).begin(), tree.text(n).end()) + (n == node ? "" : "/") + path;
    }
    return path;
}

// Outlines: pre-order ASCII tokens, a dot per level; entries "-path" or "+path".
Lines diff(const std::string& oldOutline, const std::string& newOutline,
           const TextBefore& before = {}) {
    SnapshotTree trees[2];
    for (int side = 0; side < 2; ++side) {
        std::vector<NodeId> parents;
        std::istringstream tokens(side == 0 ? oldOutline : newOutline);
        for (std::string token; tokens >> token;) {
            const std::size_t level = token.find_first_not_of('.');
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
    const std::tuple<std::string, std::string, Lines, TextBefore> cases[] = {
        {"", "D .a", {"+D", "+D/a"}, {}},
        {"D ._x ..a E", "", {"-D", "-D/_x", "-D/_x/a", "-E"}, {}},
        {"D ._a .z", "D ._a .m ..x ...d ..y .z", {"+D/m", "+D/m/x", "+D/m/x/d", "+D/m/y"}, {}},
        {"D ._a", "D .a", {"-D/_a", "+D/a"}, {}}, // one leading unit more: another name
        // Pairs follow the old order; duplicates pair in order of appearance.
        {"D .b .a E", "E D .a .b", {}, {}},
        {"D .a ..x .a ..y", "D .a ..y", {"-D/a/x", "+D/a/y", "-D/a", "-D/a/y"}, {}},
        // Without an order the removed go first between shared nodes.
        {"D .b .d", "D .a .c .d", {"-D/b", "+D/a", "+D/c"}, {}},
        {"D .b ..x", "D .a .b ..y", {"+D/a", "-D/b/x", "+D/b/y"}, {}},
        // An order interleaves them; equal in the order, the removed goes first.
        {"D .b .d .f", "D .a .c .d .e", {"+D/a", "-D/b", "+D/c", "+D/e", "-D/f"}, codeUnits},
        {"D .a", "D .A", {"-D/a", "+D/A"}, ignoringCase},
    };
    for (const auto& [oldOutline, newOutline, expected, before] : cases) {
        EXPECT_EQ(diff(oldOutline, newOutline, before), expected) << oldOutline;
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
