// Below the windows: the tree model under Qt's own model tester, the QSettings store in
// the private configuration folder that gui_test_main sets up, and the icon set.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

#include "app/snapshot_tree_model_qt.h"
#include "app/snapshot_tree_view_qt.h"
#include "capture/tree_order.h"
#include "document/snapshot_file.h"
#include "icons/icon_set_qt.h"
#include "icons/view_sizes.h"
#include "settings/qsettings_backend_qt.h"

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
    const NodeId disk = tree.insertLast(kTopLevel, u"Disk");
    const NodeId zeta = tree.insertLast(disk, u" zeta");
    const NodeId inner = tree.insertLast(zeta, u"inner.txt");
    const NodeId alpha = tree.insertLast(disk, u" alpha");
    tree.insertLast(alpha, u"b.txt");
    tree.insertLast(kTopLevel, u"Archive");
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

    // Emptied, then reloaded from its own bytes: the same rows, all collapsed.
    std::string bytes;
    encodeSnapshot(tree, bytes);
    tree.removeAll();
    EXPECT_EQ(model.rowCount(), 0);
    decodeSnapshot(bytes, tree);
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.rowCount(model.index(1, 0)), 1);
    EXPECT_FALSE(view.isExpanded(model.index(1, 0)));
    qInstallMessageHandler(previous);
}

TEST(QSettingsBackendStore, RoundTripsEveryValueAndReadsANonNumberAsMissing) {
    ASSERT_FALSE(qEnvironmentVariable("XDG_CONFIG_HOME").isEmpty());
    const QString file = qEnvironmentVariable("XDG_CONFIG_HOME") + "/Halcyra/Zelvane.conf";
    QFile::remove(file);
    RememberedInputs in;
    in.addTree = {u"/mnt/Ω data", u"*.jpg", u"Holiday; \"2024\" = #1"};
    in.search = {u"  日本 ", true, true, false, false, true};
    {
        QSettingsBackend writer;
        EXPECT_EQ(loadSettings(writer), RememberedInputs{});
        saveSettings(writer, in);
    }
    EXPECT_TRUE(QFile::exists(file));
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Halcyra", "Zelvane")
        .setValue("Search_IsMatchCase", "yes");

    QSettingsBackend reader;
    reader.open(kSettingsSubkey);
    EXPECT_EQ(reader.readNumber(u"Search_IsMatchCase"), std::nullopt);
    EXPECT_EQ(reader.readNumber(u"Search_IsFilesOnly"), 1);
    reader.close();
    in.search.isMatchCase = false; // the default
    const RememberedInputs out = loadSettings(reader);
    EXPECT_EQ(out.addTree, in.addTree);
    EXPECT_EQ(out.search, in.search);
}

TEST(IconSetSizes, TwelveDistinctImagesAtEveryViewSize) {
    for (const ViewSize& view : viewSizes()) {
        const IconSet set = IconSet::build(view.pixels);
        ASSERT_EQ(set.count(), 12) << view.pixels;
        for (int kind = 0; kind < 12; ++kind) {
            const QImage image = set.image(kind).toImage();
            EXPECT_EQ(image.size(), QSize(view.pixels, view.pixels)) << kind;
            EXPECT_TRUE(kind == 0 || image != set.image(kind - 1).toImage()) << kind;
        }
        EXPECT_TRUE(set.image(12).isNull() && set.image(-1).isNull());
    }
}

} // namespace
} // namespace zelvane
