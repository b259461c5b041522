// The Search Results window alone: where it opens, how it sizes itself and its columns, and
// how it draws its rows.
#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QScreen>
#include <QTreeView>
#include <gtest/gtest.h>

#include "icons/icon_set_qt.h"
#include "icons/view_sizes.h"
#include "image_search.h"
#include "search/search_engine.h"
#include "search/search_results_window_qt.h"
#include "text/text.h"

namespace zelvane {
namespace {

NodeId add(SnapshotTree& tree, NodeId parent, std::u16string text, int kind) {
    const NodeId node = tree.insertLast(parent, text);
    tree.setKind(node, kind);
    return node;
}

// What a view gives a column when it measures every row.
int measuredColumn(QTreeView* list, int column) {
    list->header()->setResizeContentsPrecision(-1);
    return static_cast<const QAbstractItemView*>(list)->sizeHintForColumn(column);
}

// A root whose path is empty, a folder's leading space, wide and narrow letters, a few
// hundred names of one length, characters from other fonts and a pair, and a path that is
// widest though shallow.
void fillDisk(SnapshotTree& tree) {
    const NodeId disk = add(tree, kTopLevel, u"Disk", kKindDriveRoot);
    const NodeId docs = add(tree, disk, u" docs", kKindFolder);
    for (int i = 0; i < 300; ++i) {
        add(tree, docs,
            u"file-" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) + u"0123456789.txt",
            kKindDocument);
    }
    add(tree, docs, u" leading space file.txt", kKindFolder);
    add(tree, docs, u"WWWWWWWWWWWWW", kKindOther);
    add(tree, docs, u"\u6587\u6863\u8D44\u6599\u6587\u6863.doc", kKindDocument);
    add(tree, docs, u"song \U0001F3B5.mp3", kKindMedia);
    NodeId deep = docs;
    for (int level = 0; level < 6; ++level) {
        deep = add(tree, deep, u" il", kKindFolder);
    }
    add(tree, deep, u"deep.txt", kKindDocument);
    const NodeId wide = add(tree, disk, u" WWWWWWWWWWWW", kKindFolder);
    add(tree, wide, u"x.txt", kKindDocument);
}

TEST(SearchResults, ColumnsFitTheirWidestCellsAtEveryViewSizeAndStaySoWhenWidened) {
    SnapshotTree tree;
    fillDisk(tree);
    SearchResults results;
    SearchEngine().run(tree, SearchOptions{u""}, results);
    ASSERT_EQ(results.path(0), u"");
    for (const ViewSize& size : viewSizes()) {
        SCOPED_TRACE(size.pixels);
        const IconSet icons = IconSet::build(size.pixels);
        CSearchResults window;
        window.setIconSet(&icons);
        window.open();
        window.fill(results);
        QTreeView* list = window.list();
        const int item = list->columnWidth(0);
        const int path = list->columnWidth(1);
        EXPECT_EQ(item, measuredColumn(list, 0));
        EXPECT_EQ(path, measuredColumn(list, 1));
        EXPECT_GE(list->visualRect(window.model()->index(0, 0)).height(), size.pixels);
        EXPECT_EQ(window.frameGeometry().width(),
                  std::min(item + path + 32, window.screen()->availableGeometry().width()));

        window.resize(window.width() + 300, window.height() + 50);
        EXPECT_EQ(list->columnWidth(0), item);
        EXPECT_EQ(list->columnWidth(1), path);
        EXPECT_EQ(list->geometry(), window.rect());
    }
}

TEST(SearchResults, OpensOnItsOriginAndLosesItsFramesHeight) {
    const IconSet icons = IconSet::build(16);
    SnapshotTree tree;
    add(tree, kTopLevel, u"Disk", kKindDriveRoot);
    SearchResults results;
    SearchEngine().run(tree, SearchOptions{u"Disk"}, results);
    CSearchResults window;
    window.setIconSet(&icons);
    window.setOrigin(QPoint(120, 90));
    window.open();
    const int clientHeight = window.height();
    window.fill(results);
    EXPECT_EQ(window.frameGeometry().topLeft(), QPoint(120, 90));
    // The outer height is the client height the window had.
    EXPECT_EQ(window.frameGeometry().height(), clientHeight);
    EXPECT_EQ(window.list()->geometry(), window.rect());
}

TEST(SearchResults, ShowTheStartOfLongTexts) {
    SnapshotTree tree;
    const std::u16string huge(1 << 20, u'n');
    const NodeId folder =
        add(tree, add(tree, kTopLevel, u"Disk", kKindDriveRoot), u" " + huge, kKindFolder);
    add(tree, folder, huge + u".txt", kKindDocument);
    SearchResults results;
    SearchEngine().run(tree, SearchOptions{u".txt"}, results);
    const IconSet icons = IconSet::build(16);
    CSearchResults window;
    window.setIconSet(&icons);
    window.open();
    window.fill(results);
    const QAbstractItemModel* model = window.list()->model();
    const QString cut = QString(1022, 'n') + QChar(0x2026);
    EXPECT_EQ(model->index(0, 0).data().toString(), cut);
    EXPECT_EQ(model->index(0, 1).data().toString(), " Disk\\ " + cut.mid(7));
    EXPECT_EQ(results.item(0), huge + u".txt");
    EXPECT_EQ(window.list()->columnWidth(1), measuredColumn(window.list(), 1));
}

TEST(SearchResults, ASelectedRowShowsTheSameIconOnWhite) {
    SnapshotTree tree;
    const NodeId disk = add(tree, kTopLevel, u"Disk", kKindDriveRoot);
    add(tree, disk, u"a.txt", kKindDocument);
    add(tree, disk, u"b.zip", kKindArchive);
    SearchResults results;
    SearchEngine().run(tree, SearchOptions{u"."}, results);
    for (int size : {16, 48}) {
        SCOPED_TRACE(size);
        const IconSet icons = IconSet::build(size);
        CSearchResults window;
        window.setIconSet(&icons);
        window.open();
        window.fill(results);
        QTreeView* list = window.list();
        const QImage before = list->viewport()->grab().toImage();
        list->setCurrentIndex(window.model()->index(1, 0));
        const QImage after = list->viewport()->grab().toImage();
        const qreal ratio = after.devicePixelRatio();
        const QRect cell = deviceRect(list->visualRect(window.model()->index(1, 0)), ratio);
        const QPoint at = findImage(after, cell, icons.image(kKindArchive).toImage());
        ASSERT_NE(at, kNotFound);
        const QRect icon(at, icons.image(kKindArchive).size());
        EXPECT_EQ(after.copy(icon), before.copy(icon));
        EXPECT_NE(after.copy(cell), before.copy(cell)); // the rest of the row shows the selection
        const QPoint clear =
            firstTransparentPixel(renderKindIcon(kKindArchive, size, ratio).toImage());
        ASSERT_NE(clear, kNotFound);
        EXPECT_EQ(after.pixelColor(at + clear), QColor(Qt::white));
    }
}

} // namespace
} // namespace zelvane
