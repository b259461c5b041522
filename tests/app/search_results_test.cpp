// The Search Results window alone: where it opens, how it sizes itself and its columns, how
// it draws and lists its rows and reports double-clicks.
#include "gui_test.h"
#include "icons/view_sizes.h"
#include "search/search_engine.h"
#include "ui/search_results_window_qt.h"

namespace zelvane {
namespace {

SearchResults found(const SnapshotTree& tree, std::u16string pattern) {
    SearchResults results;
    SearchEngine().run(tree, SearchOptions{std::move(pattern)}, results);
    return results;
}

// The window open on results, its icons iconSize pixels.
struct ResultsWindow {
    explicit ResultsWindow(const SearchResults& results, int iconSize = 16)
        : icons(IconSet::build(iconSize)) {
        window.setIconSet(&icons);
        window.open();
        window.fill(results);
    }
    const IconSet icons;
    CSearchResults window;
    QTreeView* list = window.list();
    const QAbstractItemModel* model = list->model();
};

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
    add(tree, add(tree, disk, u" WWWWWWWWWWWW", kKindFolder), u"x.txt", kKindDocument);
}

TEST(SearchResults, ColumnsFitTheirWidestCellsAtEveryViewSizeAndStaySoWhenWidened) {
    SnapshotTree tree;
    fillDisk(tree);
    const SearchResults results = found(tree, u"");
    ASSERT_EQ(results.path(0), u"");
    for (const ViewSize& size : viewSizes()) {
        SCOPED_TRACE(size.pixels);
        ResultsWindow r(results, size.pixels);
        const int item = r.list->columnWidth(0);
        const int path = r.list->columnWidth(1);
        EXPECT_EQ(item, measuredColumn(r.list, 0));
        EXPECT_EQ(path, measuredColumn(r.list, 1));
        EXPECT_GE(r.list->visualRect(r.model->index(0, 0)).height(), size.pixels);
        EXPECT_EQ(r.window.frameGeometry().width(),
                  std::min(item + path + 32, r.window.screen()->availableGeometry().width()));

        r.window.resize(r.window.width() + 300, r.window.height() + 50);
        EXPECT_EQ(r.list->columnWidth(0), item);
        EXPECT_EQ(r.list->columnWidth(1), path);
        EXPECT_EQ(r.list->geometry(), r.window.rect());
    }
}

TEST(SearchResults, OpensOnItsOriginAndLosesItsFramesHeight) {
    const IconSet icons = IconSet::build(16);
    SnapshotTree tree;
    add(tree, kTopLevel, u"Disk", kKindDriveRoot);
    CSearchResults window;
    window.setIconSet(&icons);
    window.setOrigin(QPoint(120, 90));
    window.open();
    const int clientHeight = window.height();
    const SearchResults results = found(tree, u"Disk");
    window.fill(results);
    EXPECT_EQ(window.frameGeometry().topLeft(), QPoint(120, 90));
    // The outer height is the client height the window had.
    EXPECT_EQ(window.frameGeometry().height(), clientHeight);
    EXPECT_EQ(window.list()->geometry(), window.rect());
}

TEST(SearchResults, ASelectedRowShowsTheSameIconOnWhite) {
    SnapshotTree tree;
    const NodeId disk = add(tree, kTopLevel, u"Disk", kKindDriveRoot);
    add(tree, disk, u"a.txt", kKindDocument);
    add(tree, disk, u"b.zip", kKindArchive);
    const SearchResults results = found(tree, u".");
    for (int size : {16, 48}) {
        SCOPED_TRACE(size);
        ResultsWindow r(results, size);
        const QImage before = r.list->viewport()->grab().toImage();
        r.list->setCurrentIndex(r.model->index(1, 0));
        const QImage after = r.list->viewport()->grab().toImage();
        const QRect cell =
            deviceRect(r.list->visualRect(r.model->index(1, 0)), after.devicePixelRatio());
        const QPoint at = findIconOnWhite(after, cell, r.icons, kKindArchive);
        ASSERT_NE(at, kNotFound);
        const QRect icon(at, r.icons.image(kKindArchive).size());
        EXPECT_EQ(after.copy(icon), before.copy(icon));
        EXPECT_NE(after.copy(cell), before.copy(cell)); // the rest of the row shows the selection
    }
}

TEST(SearchResults, ListsTheRowsAndReportsDoubleClicks) {
    SnapshotTree tree;
    const NodeId disk = add(tree, kTopLevel, u"Disk", kKindDriveRoot);
    for (const char16_t* name : {u"a.txt", u"b.txt", u"c.mp3"}) {
        add(tree, disk, name, kKindDocument);
    }
    const SearchResults results = found(tree, u".txt"); // the window shows them, not a copy
    ResultsWindow r(results, 24);
    EXPECT_EQ(shown(&r.window) << r.model->headerData(0, Qt::Horizontal).toString()
                               << r.model->headerData(1, Qt::Horizontal).toString(),
              QStringList({"Search Results", "Item", "Path"}));
    ASSERT_EQ(r.model->rowCount(), 2);
    EXPECT_EQ(r.model->index(1, 0).data().toString() + "|" + r.model->index(1, 1).data().toString(),
              "b.txt| Disk"); // the path as the engine gives it
    EXPECT_FALSE(r.model->index(1, 0).data(Qt::DecorationRole).isNull());

    std::vector<std::optional<std::size_t>> activated;
    r.window.setActivatedHandler([&](std::optional<std::size_t> row) { activated.push_back(row); });
    // A double-click: its first click selects the row.
    const QPoint second = r.list->visualRect(r.model->index(1, 0)).center();
    QTest::mouseClick(r.list->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(r.list->viewport(), Qt::LeftButton, {}, second);
    EXPECT_EQ(activated, (std::vector<std::optional<std::size_t>>{1}));
    pressKey(&r.window, Qt::Key_Escape);
    EXPECT_FALSE(r.window.isVisible());
}

} // namespace
} // namespace zelvane
