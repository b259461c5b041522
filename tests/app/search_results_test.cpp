// The Search Results window alone: how it sizes itself and its columns.
#include "gui_test.h"
#include "icons/view_sizes.h"
#include "search/search_engine.h"
#include "ui/search_results_window_qt.h"

namespace zelvane {
namespace {

// A root with an empty path, a few hundred names of one length, other scripts, a surrogate
// pair, and a path that is widest though shallow; the window stays on the screen.
TEST(SearchResults, ColumnsFitTheirWidestCellsAtEveryViewSizeAndStaySoWhenWidened) {
    SnapshotTree tree;
    const NodeId disk = add(tree, kTopLevel, u"Disk", kKindDriveRoot);
    const NodeId docs = add(tree, disk, u" docs", kKindFolder);
    for (int i = 0; i < 300; ++i) {
        add(tree, docs,
            u"file-" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) + u"0123.txt",
            kKindDocument);
    }
    add(tree, docs, u"\u6587\u6863\u8D44\u6599.doc", kKindDocument);
    add(tree, docs, u"song \U0001F3B5.mp3", kKindMedia);
    add(tree, add(tree, disk, u" WWWWWWWWWWWW", kKindFolder), u"x.txt", kKindDocument);
    SearchResults results;
    SearchEngine().run(tree, SearchOptions{u""}, results);
    for (const ViewSize& size : viewSizes()) {
        SCOPED_TRACE(size.pixels);
        const IconSet icons = IconSet::build(size.pixels);
        CSearchResults window;
        window.setIconSet(&icons);
        const QRect screen = window.screen()->availableGeometry();
        window.setOrigin(screen.center()); // the window would reach past the screen
        window.open();
        window.fill(results);
        QTreeView* list = window.list();
        list->header()->setResizeContentsPrecision(-1); // measure every row
        const int item = list->columnWidth(0);
        const int path = list->columnWidth(1);
        EXPECT_EQ(item, static_cast<const QAbstractItemView*>(list)->sizeHintForColumn(0));
        EXPECT_EQ(path, static_cast<const QAbstractItemView*>(list)->sizeHintForColumn(1));
        EXPECT_EQ(window.frameGeometry().width(), std::min(item + path + 32, screen.width()));
        EXPECT_TRUE(screen.contains(window.frameGeometry()));
        window.resize(window.width() + 300, window.height() + 50);
        EXPECT_TRUE(list->columnWidth(0) == item && list->columnWidth(1) == path);
        EXPECT_EQ(list->geometry(), window.rect());
    }
}

} // namespace
} // namespace zelvane
