// The Qt model follows the snapshot tree through its observer: every kind of change is
// checked by Qt's own model tester, persistent indexes (expanded branches, the current
// item) follow their nodes through sorts, and loads arrive as one reset.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QSignalSpy>
#include <QTreeView>
#include <gtest/gtest.h>

#include "app/snapshot_tree_model_qt.h"
#include "app/snapshot_tree_view_qt.h"
#include "document/snapshot_file.h"

namespace zelvane {
namespace {

class TreeModelTest : public ::testing::Test {
protected:
    TreeModelTest()
        : model(tree), tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning) {}

    NodeId add(NodeId parent, const char16_t* text, int kind) {
        const NodeId node = tree.insertLast(parent, text);
        tree.setKind(node, kind);
        return node;
    }

    QString textAt(const QModelIndex& index) const { return model.data(index).toString(); }

    SnapshotTree tree;
    SnapshotTreeModel model;
    QAbstractItemModelTester tester;
};

// Qt's model tester reports through qWarning; make its reports fail the test.
class FailOnWarnings {
public:
    FailOnWarnings() { previous_ = qInstallMessageHandler(&handler); }
    ~FailOnWarnings() { qInstallMessageHandler(previous_); }

private:
    static void handler(QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type != QtDebugMsg && type != QtInfoMsg) {
            ADD_FAILURE() << message.toStdString();
        }
    }
    QtMessageHandler previous_ = nullptr;
};

TEST_F(TreeModelTest, FollowsInsertsChangesAndRemovals) {
    FailOnWarnings strict;
    const NodeId root = add(kTopLevel, u"Root", kKindDriveRoot);
    const NodeId folder = add(root, u"Sub", kKindFolder);
    const NodeId file = add(folder, u"f.txt", kKindDocument);
    tree.setTextAndBold(folder, u" Sub");
    EXPECT_EQ(model.rowCount(), 1);
    const QModelIndex rootIndex = model.index(0, 0);
    EXPECT_EQ(model.nodeOf(rootIndex), root);
    EXPECT_EQ(model.rowCount(rootIndex), 1);
    const QModelIndex folderIndex = model.index(0, 0, rootIndex);
    EXPECT_EQ(textAt(folderIndex), " Sub");
    EXPECT_EQ(model.parent(model.indexOf(file)), folderIndex);
    EXPECT_TRUE(model.hasChildren(folderIndex));
    EXPECT_FALSE(model.hasChildren(model.indexOf(file)));

    // The model reads the tree live: nothing was copied.
    tree.setText(file, u"g.txt");
    EXPECT_EQ(textAt(model.indexOf(file)), "g.txt");

    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    tree.remove(folder);
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(model.rowCount(rootIndex), 0);
    EXPECT_FALSE(model.hasChildren(rootIndex));
    // A stale index of a removed node gives nothing.
    EXPECT_FALSE(model.data(model.index(0, 0, rootIndex)).isValid());
    EXPECT_FALSE(model.indexOf(folder).isValid());
}

TEST_F(TreeModelTest, ReordersKeepPersistentIndexesOnTheirNodes) {
    FailOnWarnings strict;
    const NodeId root = add(kTopLevel, u"R", kKindDriveRoot);
    std::vector<NodeId> kids;
    for (const char16_t* name : {u"d", u"b", u"e", u"a", u"c"}) {
        const NodeId kid = add(root, name, kKindFolder);
        add(kid, u"x", kKindOther);
        kids.push_back(kid);
    }
    const NodeId other = add(kTopLevel, u"Q", kKindDriveRoot);
    const QPersistentModelIndex pe(model.indexOf(kids[2])); // "e"
    const QPersistentModelIndex pa(model.indexOf(kids[3])); // "a"
    const QPersistentModelIndex pChild(model.indexOf(tree.firstChild(kids[3])));

    auto byText = [this](NodeId l, NodeId r) { return tree.text(l) < tree.text(r); };
    QSignalSpy layouts(&model, &QAbstractItemModel::layoutChanged);
    tree.sortChildren(root, byText);
    tree.sortChildren(kTopLevel, byText);
    for (NodeId kid : kids) {
        tree.sortChildren(kid, byText);
    }
    // One burst of reorders is one layout change, finished at the latest by the event loop.
    QApplication::processEvents();
    EXPECT_EQ(layouts.count(), 1);
    EXPECT_EQ(pe.row(), 4);
    EXPECT_EQ(textAt(pe), "e");
    EXPECT_EQ(pa.row(), 0);
    EXPECT_EQ(textAt(pa), "a");
    EXPECT_EQ(pChild.parent(), QModelIndex(pa));
    EXPECT_EQ(model.indexOf(other).row(), 0);
    EXPECT_EQ(textAt(model.index(1, 0)), "R");

    // Any other change finishes a pending layout change first.
    tree.sortChildren(kTopLevel,
                      [this](NodeId l, NodeId r) { return tree.text(r) < tree.text(l); });
    add(kTopLevel, u"Z", kKindDriveRoot);
    EXPECT_EQ(layouts.count(), 2);
    EXPECT_EQ(model.indexOf(root).row(), 0);
}

TEST_F(TreeModelTest, ExpandedBranchesAndTheCurrentNodeSurviveASort) {
    SnapshotTreeView view;
    view.setSnapshotModel(&model);
    const NodeId root = add(kTopLevel, u"R", kKindDriveRoot);
    const NodeId b = add(root, u"b", kKindFolder);
    add(b, u"b1", kKindOther);
    const NodeId a = add(root, u"a", kKindFolder);
    const NodeId a1 = add(a, u"a1", kKindOther);
    view.expand(model.indexOf(root));
    view.expand(model.indexOf(b));
    tree.select(a1);
    ASSERT_TRUE(view.isExpanded(model.indexOf(a)));

    tree.sortChildren(root, [this](NodeId l, NodeId r) { return tree.text(l) < tree.text(r); });
    model.finishPendingLayoutChange();
    EXPECT_EQ(model.indexOf(a).row(), 0);
    EXPECT_TRUE(view.isExpanded(model.indexOf(b)));
    EXPECT_TRUE(view.isExpanded(model.indexOf(a)));
    EXPECT_EQ(view.currentIndex(), model.indexOf(a1));
    EXPECT_EQ(tree.selected(), a1);
}

TEST_F(TreeModelTest, ALoadIsOneResetAndShowsEverythingCollapsed) {
    FailOnWarnings strict;
    SnapshotTree source;
    const NodeId r = source.insertLast(kTopLevel, u"Disk");
    source.setTextAndBold(r, u"Disk");
    source.setKind(r, kKindDriveRoot);
    for (int i = 0; i < 1000; ++i) {
        const NodeId f = source.insertLast(r, u"folder");
        source.setKind(f, kKindFolder);
        source.setTextAndBold(f, u" folder");
        source.setKind(source.insertLast(f, u"file.bin"), 12 + i % 3); // kinds without icon
    }
    std::string bytes;
    encodeSnapshot(source, bytes);

    SnapshotTreeView view;
    view.setSnapshotModel(&model);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy inserts(&model, &QAbstractItemModel::rowsInserted);
    tree.removeAll();
    decodeSnapshot(bytes, tree);
    EXPECT_EQ(resets.count(), 2); // the emptying and the bulk load
    EXPECT_EQ(inserts.count(), 0);
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 1000);
    EXPECT_FALSE(view.isExpanded(model.index(0, 0)));
    EXPECT_TRUE(model.data(model.index(0, 0), Qt::FontRole).value<QFont>().bold());
}

TEST_F(TreeModelTest, BulkUpdatesAreReportedAsOneReset) {
    FailOnWarnings strict;
    add(kTopLevel, u"keep", kKindDriveRoot);
    QSignalSpy aboutToReset(&model, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    {
        SnapshotTree::BulkUpdate outer(tree);
        SnapshotTree::BulkUpdate inner(tree);
        for (int i = 0; i < 100; ++i) {
            add(kTopLevel, u"n", kKindOther);
        }
        EXPECT_EQ(reset.count(), 0);
    }
    EXPECT_EQ(aboutToReset.count(), 1);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(model.rowCount(), 101);
}

TEST_F(TreeModelTest, OpenBranchesStayOpenThroughABulkUpdate) {
    SnapshotTreeView view;
    view.setSnapshotModel(&model);
    const NodeId root = add(kTopLevel, u"R", kKindDriveRoot);
    const NodeId open = add(root, u"open", kKindFolder);
    add(open, u"x", kKindOther);
    const NodeId shut = add(root, u"shut", kKindFolder);
    add(shut, u"y", kKindOther);
    view.expand(model.indexOf(root));
    view.expand(model.indexOf(open));
    tree.select(tree.firstChild(open));
    {
        // A capture adds a whole new root in one go.
        SnapshotTree::BulkUpdate bulk(tree);
        const NodeId added = add(kTopLevel, u"new", kKindDriveRoot);
        add(add(added, u"f", kKindFolder), u"z", kKindOther);
    }
    EXPECT_TRUE(view.isExpanded(model.indexOf(root)));
    EXPECT_TRUE(view.isExpanded(model.indexOf(open)));
    EXPECT_FALSE(view.isExpanded(model.indexOf(shut)));
    EXPECT_FALSE(view.isExpanded(model.index(1, 0)));
    EXPECT_EQ(view.currentIndex(), model.indexOf(tree.firstChild(open)));

    // Emptying the tree forgets them: reused ids open nothing.
    tree.removeAll();
    add(add(kTopLevel, u"again", kKindDriveRoot), u"c", kKindOther);
    EXPECT_FALSE(view.isExpanded(model.index(0, 0)));
}

TEST_F(TreeModelTest, DetachesFromTheTreeWhenDestroyed) {
    {
        SnapshotTreeModel second(tree);
        EXPECT_NE(tree.observer(), nullptr);
    }
    EXPECT_EQ(tree.observer(), nullptr);
    add(kTopLevel, u"after", kKindOther); // no observer left to call
    EXPECT_EQ(tree.size(), 1u);
}

} // namespace
} // namespace zelvane
