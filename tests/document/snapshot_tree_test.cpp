#include "document/snapshot_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zelvane {
namespace {

std::vector<std::u16string> childTexts(const SnapshotTree& tree, NodeId parent) {
    std::vector<std::u16string> texts;
    for (NodeId n = tree.firstChild(parent); n != kNoNode; n = tree.nextSibling(n)) {
        texts.emplace_back(tree.text(n));
    }
    return texts;
}

// Records what the observer hears, one line per call.
class RecordingObserver : public TreeObserver {
public:
    std::vector<std::string> calls;
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

TEST(SnapshotTree, InsertedNodesStartPlainAndKeepTheirOrder) {
    SnapshotTree tree;
    EXPECT_EQ(tree.firstRoot(), kNoNode);
    const NodeId root = tree.insertLast(kTopLevel, u"Backup");
    const NodeId a = tree.insertLast(root, u"a");
    const NodeId b = tree.insertLast(root, u"b");
    EXPECT_EQ(tree.kind(a), 0);
    EXPECT_FALSE(tree.isBold(a));
    EXPECT_EQ(tree.firstRoot(), root);
    EXPECT_EQ(tree.firstChild(root), a);
    EXPECT_EQ(tree.nextSibling(a), b);
    EXPECT_EQ(tree.nextSibling(b), kNoNode);
    EXPECT_EQ(tree.parent(a), root);
    EXPECT_EQ(tree.parent(root), kNoNode);
    EXPECT_TRUE(tree.hasChildren(root));
    EXPECT_FALSE(tree.hasChildren(a));
    EXPECT_EQ(tree.row(b), 1u);
    EXPECT_EQ(tree.level(b), 1u);
    EXPECT_EQ(tree.childAt(root, 1), b);
    EXPECT_EQ(tree.childAt(root, 2), kNoNode);
    EXPECT_EQ(tree.firstChild(kTopLevel), root);
}

TEST(SnapshotTree, TextKindAndBoldChangeIndependently) {
    SnapshotTree tree;
    const NodeId root = tree.insertLast(kTopLevel, u"r");
    const NodeId folder = tree.insertLast(root, u"docs");
    tree.setTextAndBold(folder, u" docs");
    tree.setKind(folder, kKindFolder);
    // Renaming keeps bold and kind.
    tree.setText(folder, u" papers");
    EXPECT_EQ(tree.text(folder), u" papers");
    EXPECT_TRUE(tree.isBold(folder));
    EXPECT_EQ(tree.kind(folder), kKindFolder);
    // A kind from a damaged file is kept as it is.
    tree.setKind(folder, 200);
    EXPECT_EQ(tree.kind(folder), 200);
    tree.setText(folder, u"");
    EXPECT_EQ(tree.text(folder), u"");
}

TEST(SnapshotTree, TextsSurviveManyInsertionsAcrossArenaChunks) {
    SnapshotTree tree;
    std::vector<NodeId> ids;
    const NodeId root = tree.insertLast(kTopLevel, u"root");
    for (int i = 0; i < 100000; ++i) {
        ids.push_back(tree.insertLast(root, u"name-" + std::u16string(i % 17, u'a')));
    }
    ids.push_back(tree.insertLast(root, std::u16string(600000, u'L')));
    for (int i = 0; i < 100000; ++i) {
        ASSERT_EQ(tree.text(ids[i]).size(), 5u + i % 17);
    }
    EXPECT_EQ(tree.text(ids.back()).size(), 600000u);
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
    EXPECT_EQ(childTexts(tree, root), (std::vector<std::u16string>{u"a1", u"a2", u"b", u"c"}));
    EXPECT_EQ(childTexts(tree, c), (std::vector<std::u16string>{u"z", u"y"}));
    for (NodeId n = tree.firstChild(root); n != kNoNode; n = tree.nextSibling(n)) {
        EXPECT_EQ(tree.childAt(root, tree.row(n)), n);
    }
}

TEST(SnapshotTree, RemoveTakesTheSubtreeAndMovesTheSelection) {
    SnapshotTree tree;
    const NodeId r1 = tree.insertLast(kTopLevel, u"r1");
    const NodeId a = tree.insertLast(r1, u"a");
    const NodeId deep = tree.insertLast(a, u"deep");
    const NodeId b = tree.insertLast(r1, u"b");
    tree.select(deep);
    tree.remove(a);
    EXPECT_FALSE(tree.isValid(a));
    EXPECT_FALSE(tree.isValid(deep));
    EXPECT_EQ(tree.selected(), b); // the next sibling of the removed branch
    EXPECT_EQ(tree.row(b), 0u);
    EXPECT_EQ(tree.size(), 2u);

    // The only child goes: the selection climbs to the parent.
    tree.remove(b);
    EXPECT_EQ(tree.selected(), r1);
    EXPECT_FALSE(tree.hasChildren(r1));
    // A removal outside the selected branch leaves the selection alone.
    const NodeId c = tree.insertLast(r1, u"c");
    tree.remove(c);
    EXPECT_EQ(tree.selected(), r1);
    // Slots are reused and handles of living nodes stay valid.
    const NodeId d = tree.insertLast(r1, u"d");
    EXPECT_TRUE(tree.isValid(d));
    EXPECT_EQ(tree.text(r1), u"r1");
    tree.remove(r1);
    EXPECT_TRUE(tree.empty());
    EXPECT_EQ(tree.firstRoot(), kNoNode);
}

TEST(SnapshotTree, VeryDeepBranchIsRemovedWithoutRecursion) {
    SnapshotTree tree;
    NodeId n = tree.insertLast(kTopLevel, u"root");
    const NodeId root = n;
    for (int i = 0; i < 100000; ++i) {
        n = tree.insertLast(n, u"level");
    }
    EXPECT_EQ(tree.level(n), 100000u);
    tree.remove(root);
    EXPECT_TRUE(tree.empty());
}

TEST(SnapshotTree, ObserverHearsEveryChangeAndBulkUpdatesOnlyAsReset) {
    SnapshotTree tree;
    RecordingObserver observer;
    tree.setObserver(&observer);
    const NodeId root = tree.insertLast(kTopLevel, u"r");
    const NodeId x = tree.insertLast(root, u"x");
    tree.insertLast(root, u"w");
    tree.setKind(x, 5);
    tree.setText(x, u"y");
    tree.sortChildren(root, [&](NodeId p, NodeId q) { return tree.text(p) < tree.text(q); });
    tree.select(x);
    tree.remove(x);
    EXPECT_EQ(observer.calls,
              (std::vector<std::string>{
                  "beforeInsert top 0", "afterInsert", "beforeInsert node 0", "afterInsert",
                  "beforeInsert node 1", "afterInsert", "changed", "changed", "beforeReorder",
                  "afterReorder", "selection", "beforeRemove", "afterRemove node 1", "selection"}));
    observer.calls.clear();
    {
        SnapshotTree::BulkUpdate outer(tree);
        tree.removeAll();
        SnapshotTree::BulkUpdate inner(tree);
        tree.insertLast(kTopLevel, u"a");
    }
    EXPECT_EQ(observer.calls, (std::vector<std::string>{"beforeReset", "afterReset"}));
    observer.calls.clear();
    tree.removeAll();
    EXPECT_EQ(observer.calls, (std::vector<std::string>{"beforeReset", "afterReset"}));
}

TEST(WalkPreOrder, VisitsNodeThenSubtreeThenSiblingWithLevels) {
    SnapshotTree tree;
    const NodeId r1 = tree.insertLast(kTopLevel, u"r1");
    const NodeId a = tree.insertLast(r1, u"a");
    tree.insertLast(a, u"a1");
    tree.insertLast(r1, u"b");
    tree.insertLast(kTopLevel, u"r2");
    std::u16string seen;
    walkPreOrder(tree, [&](NodeId n, std::size_t level) {
        seen += std::u16string(level, u'.');
        seen += tree.text(n);
        seen += u' ';
    });
    EXPECT_EQ(seen, u"r1 .a ..a1 .b r2 ");
}

} // namespace
} // namespace zelvane
