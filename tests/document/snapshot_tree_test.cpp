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
        out += std::string(level, '.');
        for (char16_t u : tree.text(n)) {
            out += static_cast<char>(u);
        }
        out += ' ';
    });
    return out;
}

// Records what the observer hears, one line per call.
class RecordingObserver : public TreeObserver {
public:
    Lines calls;
    void beforeInsert(NodeId parent, std::size_t row) override {
        calls.push_back("beforeInsert " + name(parent) + " " + std::to_string(row));
    }
    void afterInsert(NodeId) override { calls.push_back("afterInsert"); }
    void beforeRemove(NodeId) override { calls.push_back("beforeRemove"); }
    void afterRemove(NodeId parent, std::size_t row) override {
        calls.push_back("afterRemove " + name(parent) + " " + std::to_string(row));
    }
    void nodeChanged(NodeId) override { calls.push_back("changed"); }
    void beforeReorder(NodeId) override { calls.push_back("beforeReorder"); }
    void afterReorder(NodeId) override { calls.push_back("afterReorder"); }
    void beforeReset() override { calls.push_back("beforeReset"); }
    void afterReset() override { calls.push_back("afterReset"); }
    void selectionChanged(NodeId node) override {
        calls.push_back(node == kNoNode ? "selection none" : "selection");
    }

private:
    static std::string name(NodeId n) { return n == kTopLevel ? "top" : "node"; }
};

TEST(SnapshotTree, NavigationAndQueries) {
    SnapshotTree tree;
    EXPECT_EQ(tree.firstRoot(), kNoNode);
    EXPECT_EQ(tree.firstChild(kTopLevel), kNoNode);
    const NodeId root = tree.insertLast(kTopLevel, u"Backup");
    const NodeId a = tree.insertLast(root, u"a");
    const NodeId b = tree.insertLast(root, u"b");
    const NodeId b1 = tree.insertLast(b, u"b1");
    const NodeId root2 = tree.insertLast(kTopLevel, u"");
    EXPECT_EQ(tree.kind(a), 0);
    EXPECT_FALSE(tree.isBold(a));
    EXPECT_EQ(tree.firstRoot(), root);
    EXPECT_EQ(tree.firstChild(kTopLevel), root);
    EXPECT_EQ(tree.nextSibling(root), root2);
    EXPECT_EQ(tree.nextSibling(root2), kNoNode);
    EXPECT_EQ(tree.firstChild(root), a);
    EXPECT_EQ(tree.firstChild(a), kNoNode);
    EXPECT_EQ(tree.nextSibling(a), b);
    EXPECT_EQ(tree.nextSibling(b), kNoNode);
    EXPECT_EQ(tree.parent(b1), b);
    EXPECT_EQ(tree.parent(root), kNoNode);
    EXPECT_TRUE(tree.hasChildren(root));
    EXPECT_FALSE(tree.hasChildren(a));
    EXPECT_EQ((Lines{std::to_string(tree.row(b)), std::to_string(tree.row(root2)),
                     std::to_string(tree.level(b1)), std::to_string(tree.level(root2)),
                     std::to_string(tree.childCount(root)), std::to_string(tree.childCount(a)),
                     std::to_string(tree.childCount(kTopLevel)), std::to_string(tree.size())}),
              (Lines{"1", "1", "2", "0", "2", "0", "2", "5"}));
    EXPECT_EQ(tree.childAt(root, 1), b);
    EXPECT_EQ(tree.childAt(root, 2), kNoNode);
    EXPECT_EQ(tree.childAt(kTopLevel, 1), root2);
    EXPECT_EQ(outline(tree), "Backup .a .b ..b1  ");
    EXPECT_FALSE(tree.isValid(tree.idBound()));
    EXPECT_GT(tree.memoryUsage(), 0u);
}

TEST(SnapshotTree, TextKindAndBoldChangeIndependently) {
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
    tree.setText(folder, u"");
    EXPECT_EQ(tree.text(folder), u"");
}

TEST(SnapshotTree, TextsSurviveManyInsertionsAcrossArenaChunks) {
    SnapshotTree tree;
    std::vector<NodeId> ids;
    const NodeId root = tree.insertLast(kTopLevel, u"root");
    auto nameOf = [](int i) {
        return std::u16string(1 + i % 300, static_cast<char16_t>(u'a' + i % 26));
    };
    const std::u16string big(300000, u'L'), medium(200000, u'M');
    for (int i = 0; i < 30000; ++i) {
        ids.push_back(tree.insertLast(root, i == 10 ? big : i == 20000 ? medium : nameOf(i)));
    }
    for (int i = 0; i < 30000; ++i) {
        ASSERT_EQ(tree.text(ids[i]), i == 10 ? big : i == 20000 ? medium : nameOf(i)) << i;
    }
    tree.removeAll();
    EXPECT_TRUE(tree.empty());
    EXPECT_EQ(tree.idBound(), 0u);
    EXPECT_EQ(tree.text(tree.insertLast(kTopLevel, u"again")), u"again");
}

TEST(SnapshotTree, SortChildrenIsOneLevelAndStable) {
    SnapshotTree tree;
    const NodeId root = tree.insertLast(kTopLevel, u"r");
    const NodeId c = tree.insertLast(root, u"c");
    tree.insertLast(c, u"z");
    tree.insertLast(c, u"y");
    tree.insertLast(root, u"a1");
    tree.insertLast(root, u"b");
    tree.insertLast(root, u"a2");
    // Compare on the first character only: a1 and a2 are equal and keep their order.
    tree.sortChildren(root, [&](NodeId x, NodeId y) { return tree.text(x)[0] < tree.text(y)[0]; });
    EXPECT_EQ(outline(tree), "r .a1 .a2 .b .c ..z ..y ");
    for (std::size_t row = 0; row < tree.childCount(root); ++row) {
        EXPECT_EQ(tree.row(tree.childAt(root, row)), row);
    }
}

TEST(SnapshotTree, RemovingTheSelectionMovesItToNextSiblingElsePreviousElseParent) {
    struct Case {
        std::string selected, removed, expected;
    };
    // r1 { a { deep }, b, c }, r2
    const Case cases[] = {
        {"b", "b", "c"},       {"c", "c", "b"},    {"deep", "a", "b"},   {"deep", "deep", "a"},
        {"r2", "r2", "r1"},    {"r1", "r1", "r2"}, {"deep", "r1", "r2"}, {"b", "a", "b"},
        {"deep", "c", "deep"}, {"", "b", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selected + " " + c.removed);
        SnapshotTree tree;
        std::map<std::string, NodeId> id{{"", kNoNode}};
        id["r1"] = tree.insertLast(kTopLevel, u"r1");
        id["a"] = tree.insertLast(id["r1"], u"a");
        id["deep"] = tree.insertLast(id["a"], u"deep");
        id["b"] = tree.insertLast(id["r1"], u"b");
        id["c"] = tree.insertLast(id["r1"], u"c");
        id["r2"] = tree.insertLast(kTopLevel, u"r2");
        tree.select(id[c.selected]);
        tree.remove(id[c.removed]);
        EXPECT_EQ(tree.selected(), id[c.expected]);
        EXPECT_FALSE(tree.isValid(id[c.removed]));
    }
    SnapshotTree single;
    const NodeId only = single.insertLast(kTopLevel, u"only");
    single.select(only);
    single.remove(only);
    EXPECT_EQ(single.selected(), kNoNode);
    EXPECT_TRUE(single.empty());
}

TEST(SnapshotTree, RemoveTakesTheSubtreeAndRenumbersTheRows) {
    SnapshotTree tree;
    const NodeId r1 = tree.insertLast(kTopLevel, u"r1");
    const NodeId a = tree.insertLast(r1, u"a");
    const NodeId deep = tree.insertLast(a, u"deep");
    const NodeId b = tree.insertLast(r1, u"b");
    const NodeId c = tree.insertLast(r1, u"c");
    tree.remove(a);
    EXPECT_FALSE(tree.isValid(deep));
    EXPECT_EQ(tree.row(b), 0u);
    EXPECT_EQ(tree.row(c), 1u);
    EXPECT_EQ(tree.nextSibling(b), c);
    EXPECT_EQ(tree.size(), 3u);
    tree.remove(b);
    tree.remove(c);
    EXPECT_FALSE(tree.hasChildren(r1));
    tree.remove(c); // already gone: nothing happens
    // A freed slot is reused; the living nodes keep their handles and texts.
    const NodeId d = tree.insertLast(r1, u"d");
    EXPECT_LT(d, tree.idBound());
    EXPECT_EQ(tree.idBound(), 5u);
    EXPECT_EQ(outline(tree), "r1 .d ");
    tree.select(d);
    tree.select(deep); // not a living node: the selection stays
    EXPECT_EQ(tree.selected(), d);
}

TEST(SnapshotTree, VeryDeepBranchIsWalkedAndRemovedWithoutRecursion) {
    SnapshotTree tree;
    NodeId n = tree.insertLast(kTopLevel, u"root");
    const NodeId root = n;
    for (int i = 0; i < 100000; ++i) {
        n = tree.insertLast(n, u"level");
    }
    EXPECT_EQ(tree.level(n), 100000u);
    std::size_t visits = 0;
    walkPreOrder(tree, [&](NodeId, std::size_t level) { visits += level == visits ? 1 : 0; });
    EXPECT_EQ(visits, 100001u);
    tree.select(n);
    tree.remove(root);
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
    EXPECT_EQ(observer.calls,
              (Lines{"beforeInsert top 0", "afterInsert", "beforeInsert node 0", "afterInsert",
                     "beforeInsert node 1", "afterInsert", "beforeReorder", "afterReorder",
                     "selection", "beforeRemove", "afterRemove node 1", "selection"}));
    observer.calls.clear();
    {
        SnapshotTree::BulkUpdate outer(tree);
        tree.removeAll();
        SnapshotTree::BulkUpdate inner(tree);
        tree.select(tree.insertLast(kTopLevel, u"a"));
    }
    EXPECT_EQ(observer.calls, (Lines{"beforeReset", "afterReset"}));
    observer.calls.clear();
    tree.removeAll();
    EXPECT_EQ(tree.selected(), kNoNode);
    EXPECT_EQ(observer.calls, (Lines{"beforeReset", "afterReset"}));
}

} // namespace
} // namespace zelvane
