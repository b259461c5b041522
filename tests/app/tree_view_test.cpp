// The main window's tree view alone: a selected node's icon, a deep node, a long text.
#include "app/snapshot_tree_model_qt.h"
#include "app/snapshot_tree_view_qt.h"
#include "gui_test.h"
#include "icons/view_sizes.h"

namespace zelvane {
namespace {

// Counts the times the view measures its column.
class CountingTreeView : public SnapshotTreeView {
public:
    using SnapshotTreeView::SnapshotTreeView;
    mutable int measured = 0;
    int sizeHintForColumn(int column) const override {
        ++measured;
        return SnapshotTreeView::sizeHintForColumn(column);
    }
};

struct TreeFixture {
    explicit TreeFixture(int iconSize = 16) : icons(IconSet::build(iconSize)) {
        model.setIconSet(&icons);
        view.setSnapshotModel(&model);
        view.setNodeIconSize(iconSize);
        view.resize(400, 300);
    }
    ~TreeFixture() { tree.setObserver(nullptr); }

    SnapshotTree tree;
    IconSet icons;
    SnapshotTreeModel model{tree};
    CountingTreeView view;
    NodeId root = tree.insertLast(kTopLevel, u"Disk");
};

TEST(TreeView, SelectingANodeDrawsTheSameIconOnWhiteAtTheScreensPixelRatio) {
    for (const ViewSize& size : viewSizes()) {
        SCOPED_TRACE(size.pixels);
        TreeFixture f(size.pixels);
        const NodeId folder = add(f.tree, f.root, u" Music", kKindFolder);
        f.view.expandAll();
        f.view.show();
        QApplication::processEvents();
        const QImage before = f.view.viewport()->grab().toImage();
        f.tree.select(folder);
        QApplication::processEvents();
        const QImage after = f.view.viewport()->grab().toImage();
        const qreal ratio = after.devicePixelRatio();
        auto device = [ratio](const QRect& r) {
            return QRect(r.topLeft() * ratio, r.size() * ratio);
        };
        const QRect icon = device(f.view.iconRect(folder));
        const QRect label = device(f.view.labelRect(folder));
        EXPECT_NE(after.copy(label), before.copy(label));
        EXPECT_EQ(after.copy(icon), before.copy(icon));
        EXPECT_NE(findIconOnWhite(after, icon, f.icons, kKindFolder), kNotFound);
    }
}

TEST(TreeView, SelectingANodeDeepInCollapsedBranchesOpensThemInOneLayout) {
    TreeFixture f;
    constexpr int kDepth = 10000;
    std::vector<NodeId> chain{f.root};
    for (int level = 1; level < kDepth; ++level) {
        chain.push_back(add(f.tree, chain.back(), u" level", kKindFolder));
    }
    f.view.expand(f.model.indexOf(f.root));
    f.view.show();
    QApplication::processEvents();

    f.view.measured = 0;
    f.tree.select(chain.back());
    QApplication::processEvents();
    EXPECT_LT(f.view.measured, 10); // not once for every level
    const QModelIndex deepest = f.model.indexOf(chain.back());
    EXPECT_TRUE(f.view.isExpanded(f.model.indexOf(chain[kDepth - 2])));
    EXPECT_FALSE(f.view.isExpanded(deepest));
    EXPECT_EQ(f.view.currentIndex(), deepest);
    EXPECT_TRUE(f.view.viewport()->rect().intersects(f.view.visualRect(deepest)));
    EXPECT_EQ(f.view.indexBelow(f.model.indexOf(chain[kDepth - 2])), deepest);
}

// Type-ahead goes by the names the item dialogs show: a folder's without its space.
TEST(TreeView, ShowsTheStartOfLongTextsAndTypeAheadFindsAFolderByItsName) {
    TreeFixture f;
    const NodeId file = f.tree.insertLast(f.root, std::u16string(1 << 20, u'n'));
    EXPECT_EQ(f.model.indexOf(file).data().toString(), QString(1022, 'n') + QChar(0x2026));
    const NodeId music = add(f.tree, kTopLevel, u" Music", kKindFolder);
    QTest::keyClicks(&f.view, "mu");
    EXPECT_EQ(f.view.currentIndex(), f.model.indexOf(music));
}

// `*` opens what one screen below the node shows, not the whole branch; a name's bidi
// controls are seen, as \uXXXX, while the tree keeps them.
TEST(TreeView, StarOpensOneScreenfulAndBidiControlsShowAsEscapes) {
    TreeFixture f;
    NodeId folder = kNoNode;
    for (int i = 0; i < 300 * 301; ++i) { // 300 folders of 300 files
        const NodeId node = f.tree.insertLast(i % 301 == 0 ? f.root : folder, u" F");
        folder = i % 301 == 0 ? node : folder;
    }
    f.view.show();
    f.view.setCurrentIndex(f.model.indexOf(f.root));
    QTest::keyClick(&f.view, Qt::Key_Asterisk);
    int open = 0;
    for (NodeId n = f.tree.firstChild(f.root); n != kNoNode; n = f.tree.nextSibling(n)) {
        open += f.view.isExpanded(f.model.indexOf(n)) ? 1 : 0;
    }
    EXPECT_EQ(open, 1); // its 300 children fill the screen
    EXPECT_TRUE(f.view.indexAt(QPoint(40, f.view.viewport()->height() - 2)).isValid());
    for (const auto& [stored, shown] : {std::pair(u"holiday\u202Egpj.exe", "holiday\\u202Egpj.exe"),
                                        std::pair(u"\u2066a\u200F\u061C", "\\u2066a\\u200F\\u061C"),
                                        std::pair(u"plain \u05D0", "plain \u05D0"),
                                        std::pair(u"caf\u00e9\u00ff", "caf\u00e9\u00ff")}) {
        const NodeId node = f.tree.insertLast(f.root, stored);
        EXPECT_EQ(f.model.indexOf(node).data().toString(), QString::fromUtf8(shown));
        EXPECT_EQ(f.tree.text(node), stored);
    }
}

} // namespace
} // namespace zelvane
