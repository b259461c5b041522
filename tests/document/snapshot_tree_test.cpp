#include "document/snapshot_tree.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace zelvane {
namespace {

using Lines = std::vector<std::string>;

// The tree as one line: each node's text preceded by a dot per level.
std::string outline(const SnapshotTree& tree) {
    std::string out;
    walkPreOrder(tree, [&](NodeId n, std::size_t level) {
        out +=
            std::string(level, '.') + std::string(tree.text(n).begin(), tree.text(n).end()) + ' ';
    });
    return out;
}

// Records what the observer hears, one line per call.
struct RecordingObserver : TreeObserver {
    Lines calls;
    static std::string at(NodeId parent, std::size_t row) {
        return (parent == kTopLevel ? " top " : " node ") + std::to_string(row);
    }
    void beforeInsert(NodeId p, std::size_t row) override {
        calls.push_back("insert" + at(p, row));
    }
    void beforeRemove(NodeId) override { calls.push_back("remove"); }
    void afterRemove(NodeId p, std::size_t row) override {
        calls.push_back("removed" + at(p, row));
    }
    void nodeChanged(NodeId) override { calls.push_back("changed"); }
    void beforeReorder(NodeId) override { calls.push_back("reorder"); }
    void afterReorder(NodeId) override { calls.push_back("reordered"); }
    void beforeReset() override { calls.push_back("reset"); }
    void afterReset() override { calls.push_back("was reset"); }
    void selectionChanged(NodeId n) override {
        calls.push_back(n == kNoNode ? "unselect" : "select");
    }
};

TEST(SnapshotTree, NavigationAndQueries) {
    SnapshotTree tree;
    EXPECT_EQ(tree.firstRoot(), kNoNode);
    const NodeId root = tree.insertLast(kTopLevel, u"Backup");
    const NodeId a = tree.insertLast(root, u"a");
    const NodeId b = tree.insertLast(root, u"b");
    const NodeId b1 = tree.insertLast(b, u"b1");
    const NodeId root2 = tree.insertLast(kTopLevel, u"");
    EXPECT_EQ(outline(tree), "Backup .a .b ..b1  ");
    EXPECT_EQ((std::vector<NodeId>{
                  tree.firstRoot(), tree.firstChild(kTopLevel), tree.nextSibling(root),
                  tree.nextSibling(root2), tree.firstChild(root), tree.firstChild(a),
                  tree.nextSibling(a), tree.nextSibling(b), tree.parent(b1), tree.parent(root),
                  tree.childAt(root, 1), tree.childAt(root, 2), tree.childAt(kTopLevel, 1)}),
              (std::vector<NodeId>{root, root, root2, kNoNode, a, kNoNode, b, kNoNode, b, kNoNode,
                                   b, kNoNode, root2}));
    EXPECT_EQ(
        (std::vector<std::size_t>{tree.row(b), tree.row(root2), tree.level(b1), tree.level(root2),
                                  tree.childCount(root), tree.childCount(a),
                                  tree.childCount(kTopLevel), tree.size()}),
        (std::vector<std::size_t>{1, 1, 2, 0, 2, 0, 2, 5}));
    EXPECT_TRUE(tree.hasChildren(root) && !tree.hasChildren(a));
    EXPECT_TRUE(tree.kind(a) == 0 && !tree.isBold(a));
    EXPECT_FALSE(tree.isValid(static_cast<NodeId>(tree.idBound())));
}

TEST(SnapshotTree, TextKindAndBoldChangeIndependentlyAndEachChangeIsReported) {
    SnapshotTree tree;
    RecordingObserver observer;
    const NodeId folder = tree.insertLast(kTopLevel, u"docs");
    tree.setObserver(&observer);
    tree.setTextAndBold(folder, u" docs");
    tree.setKind(folder, kKindFolder);
    tree.setKind(folder, kKindFolder); // no change, no report
    tree.setText(folder, u" papers");
    tree.setKind(folder, 200); // a kind from a damaged file is kept as it is
    EXPECT_EQ(tree.text(folder), u" papers");
    EXPECT_TRUE(tree.isBold(folder));
    EXPECT_EQ(tree.kind(folder), 200);
    EXPECT_EQ(observer.calls, (Lines{"changed", "changed", "changed", "changed"}));
}

TEST(SnapshotTree, TextsSurviveManyInsertionsAcrossArenaChunks) {
    SnapshotTree tree;
    auto nameOf = [](int i) {
        return i == 10 ? std::u16string(300000, u'L') : std::u16string(1 + i % 300, u'a' + i % 26);
    };
    std::vector<NodeId> ids;
    const NodeId root = tree.insertLast(kTopLevel, u"root");
    for (int i = 0; i < 20000; ++i) {
        ids.push_back(tree.insertLast(root, nameOf(i)));
    }
    for (int i = 0; i < 20000; ++i) {
        ASSERT_EQ(tree.text(ids[i]), nameOf(i)) << i;
    }
    tree.removeAll();
    EXPECT_TRUE(tree.empty() && tree.idBound() == 0);
    EXPECT_LT(tree.memoryUsage(), 64u); // the nodes and the texts are given back
    EXPECT_EQ(tree.text(tree.insertLast(kTopLevel, u"again")), u"again");
}

TEST(SnapshotTree, SortChildrenIsOneLevelAndStable) {
    SnapshotTree tree;
    const NodeId root = tree.insertLast(kTopLevel, u"r");
    const NodeId c = tree.insertLast(root, u"c");
    tree.insertLast(c, u"z");
    tree.insertLast(c, u"y");
    for (const char16_t* text : {u"a1", u"b", u"a2"}) {
        tree.insertLast(root, text);
    }
    // Compare on the first character only: a1 and a2 are equal and keep their order.
    tree.sortChildren(root, [&](NodeId x, NodeId y) { return tree.text(x)[0] < tree.text(y)[0]; });
    EXPECT_EQ(outline(tree), "r .a1 .a2 .b .c ..z ..y ");
    for (std::size_t row = 0; row < tree.childCount(root); ++row) {
        EXPECT_EQ(tree.row(tree.childAt(root, row)), row);
    }
}

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
                EXPECT_EQ(tree.childAt(tree.parent(node) == kNoNode ? kTopLevel : tree.parent(node),
                                       tree.row(node)),
                          node);
            }
        }
    }
}

TEST(SnapshotTree, FreedSlotsAreReusedAndDeadNodesCannotBeSelected) {
    SnapshotTree tree;
    const NodeId r = tree.insertLast(kTopLevel, u"r");
    const NodeId a = tree.insertLast(r, u"a");
    tree.select(tree.insertLast(a, u"x"));
    tree.remove(a);
    EXPECT_EQ(tree.selected(), r);
    EXPECT_FALSE(tree.hasChildren(r));
    tree.remove(a); // already gone: nothing happens
    tree.select(a);
    EXPECT_EQ(tree.selected(), r);
    tree.insertLast(r, u"b");
    tree.insertLast(r, u"c");
    EXPECT_EQ(tree.idBound(), 3u);
    EXPECT_EQ(outline(tree), "r .b .c ");
}

TEST(SnapshotTree, VeryDeepBranchIsWalkedAndRemovedWithoutRecursion) {
    SnapshotTree tree;
    NodeId n = tree.insertLast(kTopLevel, u"root");
    for (int i = 0; i < 100000; ++i) {
        n = tree.insertLast(n, u"level");
    }
    std::size_t visits = 0;
    walkPreOrder(tree, [&](NodeId, std::size_t level) { visits += level == visits ? 1 : 0; });
    EXPECT_EQ(visits, 100001u);
    EXPECT_EQ(tree.level(n), 100000u);
    tree.select(n);
    tree.remove(tree.firstRoot());
    EXPECT_TRUE(tree.empty());
    EXPECT_EQ(tree.selected(), kNoNode);
}

TEST(SnapshotTree, ObserverHearsEveryChangeAndBulkUpdatesOnlyAsReset) {
    SnapshotTree tree;
    RecordingObserver observer;
    tree.setObserver(&observer);
    const NodeId root = tree.insertLast(kTopLevel, u"r");
    const NodeId x = tree.insertLast(root, u"x");
    tree.insertLast(root, u"w");
    tree.sortChildren(root, [&](NodeId p, NodeId q) { return tree.text(p) < tree.text(q); });
    tree.sortChildren(x, [](NodeId, NodeId) { return false; }); // no children: no report
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
    EXPECT_EQ(observer.calls, (Lines{"insert top 0", "insert node 0", "insert node 1", "reorder",
                                     "reordered", "select", "remove", "removed node 1", "select",
                                     "reset", "was reset", "reset", "was reset"}));
}

} // namespace
} // namespace zelvane
