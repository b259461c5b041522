// The Qt model of the snapshot tree under Qt's own model tester, with a view attached,
// while nodes are inserted, renamed, deleted, the tree sorted and a snapshot reloaded.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <gtest/gtest.h>

#include "app/snapshot_tree_model_qt.h"
#include "app/snapshot_tree_view_qt.h"
#include "capture/tree_order.h"
#include "document/snapshot_file.h"

namespace zelvane {
namespace {

// The model tester reports through qWarning: each report fails the test.
void failOnWarning(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg && type != QtInfoMsg) {
        ADD_FAILURE() << message.toStdString();
    }
}

TEST(TreeModel, StaysConsistentThroughEveryKindOfChange) {
    const QtMessageHandler previous = qInstallMessageHandler(failOnWarning);
    SnapshotTree tree;
    SnapshotTreeModel model(tree);
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    SnapshotTreeView view;
    view.setSnapshotModel(&model);
    view.show();

    auto add = [&](NodeId parent, const char16_t* text, int kind) {
        const NodeId node = tree.insertLast(parent, text);
        tree.setKind(node, kind);
        return node;
    };
    const NodeId disk = add(kTopLevel, u"Disk", kKindDriveRoot);
    const NodeId zeta = add(disk, u" zeta", kKindFolder);
    const NodeId inner = add(zeta, u"inner.txt", kKindDocument);
    const NodeId alpha = add(disk, u" alpha", kKindFolder);
    add(alpha, u"b.txt", kKindDocument);
    add(kTopLevel, u"Archive", kKindCdRomRoot);
    view.expandAll();
    tree.select(inner);
    const QPersistentModelIndex innerIndex(model.indexOf(inner));

    // Renamed, then sorted: the persistent index, the open branches and the current node
    // follow their nodes to their new rows.
    tree.setText(inner, u"renamed.txt");
    EXPECT_EQ(innerIndex.data().toString(), "renamed.txt");
    SortTree(tree, TextOrder());
    QApplication::processEvents();
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "Archive");
    EXPECT_EQ(model.indexOf(alpha).row(), 0);
    EXPECT_EQ(innerIndex, QPersistentModelIndex(model.indexOf(inner)));
    EXPECT_TRUE(view.isExpanded(model.indexOf(zeta)));
    EXPECT_EQ(view.currentIndex(), model.indexOf(inner));

    // Deleted: the selection moves to what the tree selects.
    tree.remove(zeta);
    EXPECT_FALSE(innerIndex.isValid());
    EXPECT_EQ(model.rowCount(model.indexOf(disk)), 1);
    EXPECT_EQ(view.currentIndex(), model.indexOf(tree.selected()));

    // Reloaded from its own bytes: the same rows, all collapsed.
    std::string bytes;
    encodeSnapshot(tree, bytes);
    tree.removeAll();
    EXPECT_EQ(model.rowCount(), 0);
    decodeSnapshot(bytes, tree);
    ASSERT_EQ(model.rowCount(), 2);
    const QModelIndex reloadedDisk = model.index(1, 0);
    EXPECT_EQ(reloadedDisk.data().toString(), "Disk");
    EXPECT_EQ(model.rowCount(reloadedDisk), 1);
    EXPECT_FALSE(view.isExpanded(reloadedDisk));
    qInstallMessageHandler(previous);
}

} // namespace
} // namespace zelvane
