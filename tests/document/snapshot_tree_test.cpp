#include "document/snapshot_tree.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace zelvane {
namespace {

using Lines = std::vector<std::string>;

// The tree on one line: each node's text after a dot per level.
std::string outline(const SnapshotTree& tree) {
    std::string out;
    walkPreOrder(tree, [&](NodeId n, std::size_t level) {
        out +=
            std::string(level, '.') + std::string(tree.text(n).begin(), tree.text(n).end()) + ' ';
    });
    return out;
}

struct RecordingObserver : TreeObserver {
    Lines calls;
    void add(std::string what, NodeId p, std::size_t row) {
        calls.push_back(what + (p == kTopLevel ? " top " : " node ") + std::to_string(row));
    }
    void beforeInsert(NodeId p, std::size_t row) override { add("insert", p, row); }
    void beforeRemove(NodeId) override { calls.push_back("remove"); }
    void afterRemove(NodeId p, std::size_t row) override { add("removed", p, row); }
    void nodeChanged(NodeId) override { calls.push_back("changed"); }
    void beforeReorder(NodeId) override { calls.push_back("reorder"); }
    void afterReorder(NodeId) override { calls.push_back("reordered"); }
    void beforeReset() override { calls.push_back("reset"); }
    void afterReset() override { calls.push_back("was reset"); }
    void selectionChanged(NodeId n) override { calls.push_back(n == kNoNode ? "none" : "select"); }
};

TEST(SnapshotTree, RemovingTheSelectionMovesItToNextSiblingElsePreviousElseParent) {
    struct Case {
        std::string selected, removed, expected, left;
    };
    const Case cases[] = {
        {"b", "b", "c", "r1 .a ..deep .c r2 "},    {"c", "c", "b", "r1 .a ..deep .b r2 "},
        {"deep", "a", "b", "r1 .b .c r2 "},        {"deep", "deep", "a", "r1 .a .b .c r2 "},
        {"r2", "r2", "r1", "r1 .a ..deep .b .c "}, {"deep", "r1", "r2", "r2 "},
        {"b", "a", "b", "r1 .b .c r2 "},           {"deep", "c", "deep", "r1 .a ..deep .b r2 "},
        {"", "b", "", "r1 .a ..deep .c r2 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selected + " " + c.removed);
        SnapshotTree tree;
        std::map<std::string, NodeId> id{{"", kNoNode}, {"r1", tree.insertLast(kTopLevel, u"r1")}};
        id["a"] = tree.insertLast(id["r1"], u"a");
        id["deep"] = tree.insertLast(id["a"], u"deep");
        id["b"] = tree.insertLast(id["r1"], u"b");
        id["c"] = tree.insertLast(id["r1"], u"c");
        id["r2"] = tree.insertLast(kTopLevel, u"r2");
        tree.select(id[c.selected]);
        tree.remove(id[c.removed]);
        EXPECT_EQ(tree.selected(), id[c.expected]);
        EXPECT_EQ(outline(tree), c.left);
        for (const auto& [name, node] : id) {
            EXPECT_EQ(tree.isValid(node), !name.empty() && c.left.find(name + " ") != c.left.npos);
            if (tree.isValid(node)) {
                const NodeId parent = tree.parent(node) == kNoNode ? kTopLevel : tree.parent(node);
                EXPECT_EQ(tree.childAt(parent, tree.row(node)), node);
                EXPECT_EQ(tree.hasChildren(node), tree.firstChild(node) != kNoNode);
            }
        }
        tree.remove(id[c.removed]); // already gone: nothing happens
        tree.select(id[c.removed]);
        EXPECT_EQ(tree.selected(), id[c.expected]);
        tree.insertLast(kTopLevel, u"new"); // in a freed slot
        EXPECT_EQ(tree.idBound(), 6u);
    }
}

TEST(SnapshotTree, ManyTextsAndAVeryDeepBranchNeedNoRecursion) {
    SnapshotTree tree, deep;
    auto nameOf = [](int i) {
        return i == 10 ? std::u16string(300000, u'L') : std::u16string(1 + i % 30, u'a' + i % 26);
    };
    std::vector<NodeId> ids{tree.insertLast(kTopLevel, u"root")};
    NodeId leaf = deep.insertLast(kTopLevel, u"root");
    for (int i = 0; i < 100000; ++i) {
        ids.push_back(tree.insertLast(ids.back(), nameOf(i)));
        leaf = deep.insertLast(leaf, u"level");
    }
    for (int i = 0; i < 100000; ++i) {
        ASSERT_EQ(tree.text(ids[i + 1]), nameOf(i)) << i;
    }
    for (int i = 0; i < 1000; ++i) {
        tree.insertLast(kTopLevel, u"root");
    }
    tree.remove(ids[1]); // the freed slots are listed for reuse
    tree.removeAll();
    EXPECT_EQ(tree.idBound(), 0u);
    EXPECT_LT(tree.memoryUsage(), 64u); // the nodes and the texts are given back
    std::size_t visits = 0;
    walkPreOrder(deep, [&](NodeId, std::size_t level) { visits += level == visits ? 1 : 0; });
    EXPECT_EQ(visits, 100001u);
    EXPECT_EQ(deep.level(leaf), 100000u);
    deep.select(leaf);
    deep.remove(deep.firstRoot());
    EXPECT_TRUE(deep.empty() && deep.selected() == kNoNode);
}

TEST(SnapshotTree, NavigationChangesAndWhatTheObserverHears) {
    SnapshotTree tree;
    RecordingObserver observer;
    tree.setObserver(&observer);
    EXPECT_EQ(tree.firstRoot(), kNoNode);
    const NodeId root = tree.insertLast(kTopLevel, u"r"), x = tree.insertLast(root, u"x");
    tree.setTextAndBold(x, u" x");
    tree.setKind(x, kKindFolder);
    tree.setKind(x, kKindFolder); // no change, no report
    tree.setText(x, u" y");
    tree.setKind(x, 200); // a kind from a damaged file is kept as it is
    EXPECT_TRUE(tree.text(x) == u" y" && tree.isBold(x) && tree.kind(x) == 200);
    const NodeId z = tree.insertLast(x, u"z");
    tree.insertLast(x, u"b");
    const NodeId b = tree.insertLast(root, u"b"), a1 = tree.insertLast(root, u"a1"),
                 a2 = tree.insertLast(root, u"a2"), root2 = tree.insertLast(kTopLevel, u"");
    // On the first character only: one level, and a1 and a2 keep their order.
    tree.sortChildren(root, [&](NodeId p, NodeId q) { return tree.text(p)[0] < tree.text(q)[0]; });
    tree.sortChildren(z, [](NodeId, NodeId) { return false; }); // no children: no report
    EXPECT_EQ(outline(tree), "r . y ..z ..b .a1 .a2 .b  ");
    EXPECT_EQ((std::vector<NodeId>{tree.firstChild(kTopLevel), tree.nextSibling(root),
                                   tree.nextSibling(root2), tree.firstChild(root),
                                   tree.firstChild(z), tree.nextSibling(a1), tree.nextSibling(b),
                                   tree.parent(z), tree.parent(root), tree.childAt(root, 2),
                                   tree.childAt(root, 4), tree.childAt(kTopLevel, 1)}),
              (std::vector<NodeId>{root, root2, kNoNode, x, kNoNode, a2, kNoNode, x, kNoNode, a2,
                                   kNoNode, root2}));
    EXPECT_EQ(
        (std::vector<std::size_t>{tree.row(a2), tree.row(root2), tree.level(z), tree.level(root2),
                                  tree.childCount(root), tree.childCount(z),
                                  tree.childCount(kTopLevel), tree.size()}),
        (std::vector<std::size_t>{2, 1, 2, 0, 4, 0, 2, 8}));
    EXPECT_TRUE(tree.hasChildren(root) && !tree.hasChildren(z) && tree.kind(z) == 0 &&
                !tree.isBold(z));
    EXPECT_FALSE(tree.isValid(static_cast<NodeId>(tree.idBound())));
    tree.select(x);
    tree.remove(x);
    {
        SnapshotTree::BulkUpdate outer(tree);
        tree.removeAll();
        SnapshotTree::BulkUpdate inner(tree);
        tree.select(tree.insertLast(kTopLevel, u"a"));
    }
    tree.removeAll();
    EXPECT_EQ(tree.selected(), kNoNode);
    EXPECT_EQ(
        observer.calls,
        (Lines{"insert top 0",  "insert node 0",  "changed",       "changed",       "changed",
               "changed",       "insert node 0",  "insert node 1", "insert node 1", "insert node 2",
               "insert node 3", "insert top 1",   "reorder",       "reordered",     "select",
               "remove",        "removed node 0", "select",        "reset",         "was reset",
               "reset",         "was reset"}));
}

} // namespace
} // namespace zelvane
