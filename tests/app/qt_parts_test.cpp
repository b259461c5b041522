// The Qt parts below the windows: the tree model under Qt's own model tester, the
// QSettings store in the private configuration folder that gui_test_main sets up, and the
// icon set at every View size.
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
    EXPECT_EQ(model.rowCount(reloadedDisk), 1);
    EXPECT_FALSE(view.isExpanded(reloadedDisk));
    qInstallMessageHandler(previous);
}

TEST(QSettingsBackendStore, RoundTripsEveryValueThroughTheFile) {
    const QString file = qEnvironmentVariable("XDG_CONFIG_HOME") + "/Halcyra/Zelvane.conf";
    ASSERT_FALSE(qEnvironmentVariable("XDG_CONFIG_HOME").isEmpty());
    QFile::remove(file);
    {
        QSettingsBackend first;
        EXPECT_EQ(loadSettings(first), RememberedInputs{}); // and writes every default
    }
    EXPECT_TRUE(QFile::exists(file));

    RememberedInputs in;
    in.addTree = {u"/mnt/Ω data", u"*.jpg", u"Holiday; \"2024\" = #1"};
    in.search = {u"  日本 ", true, true, false, false, true};
    {
        QSettingsBackend writer;
        saveSettings(writer, in);
    }
    {
        QSettingsBackend reader;
        const RememberedInputs out = loadSettings(reader);
        EXPECT_EQ(out.addTree, in.addTree);
        EXPECT_EQ(out.search, in.search);
    }

    // A hand-edited flag that is not a number reads as missing: it gets its default, which
    // is written back; the other values stay.
    {
        QSettings raw(QSettings::NativeFormat, QSettings::UserScope, "Halcyra", "Zelvane");
        raw.setValue("Search_IsMatchCase", "yes");
    }
    {
        QSettingsBackend backend;
        backend.open(kSettingsSubkey);
        EXPECT_EQ(backend.readNumber(u"Search_IsMatchCase"), std::nullopt);
        EXPECT_EQ(backend.readNumber(u"Search_IsFilesOnly"), 1);
        backend.close();
        const RememberedInputs out = loadSettings(backend);
        EXPECT_FALSE(out.search.isMatchCase);
        EXPECT_TRUE(out.search.isFilesOnly);
    }
    QSettings check(QSettings::NativeFormat, QSettings::UserScope, "Halcyra", "Zelvane");
    EXPECT_EQ(check.value("Search_IsMatchCase").toString(), "0");
}

TEST(IconSetSizes, TwelveDistinctImagesAtEveryViewSize) {
    for (const ViewSize& view : viewSizes()) {
        const IconSet set = IconSet::build(view.pixels);
        ASSERT_EQ(set.count(), 12) << view.pixels;
        for (int kind = 0; kind < 12; ++kind) {
            const QImage image = set.image(kind).toImage();
            EXPECT_EQ(image.size(), QSize(view.pixels, view.pixels)) << kind;
            if (kind > 0) {
                EXPECT_NE(image, set.image(kind - 1).toImage()) << view.pixels << " " << kind;
            }
        }
        EXPECT_TRUE(set.image(12).isNull() && set.image(-1).isNull());
    }
}

} // namespace
} // namespace zelvane
