// The main window's tree view and its model alone: how a node's icon and text are drawn,
// and how a node deep in collapsed branches is shown; the Item Properties icon.
#include "app/snapshot_tree_model_qt.h"
#include "app/snapshot_tree_view_qt.h"
#include "gui_test.h"
#include "icons/view_sizes.h"
#include "items/item_commands.h"
#include "ui/item_dialogs_qt.h"

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
        f.tree.setKind(f.root, kKindDriveRoot);
        const NodeId folder = add(f.tree, f.root, u" Music", kKindFolder);
        f.view.expandAll();
        f.view.show();
        QApplication::processEvents();

        const QImage before = f.view.viewport()->grab().toImage();
        f.tree.select(folder);
        QApplication::processEvents();
        const QImage after = f.view.viewport()->grab().toImage();
        const qreal ratio = after.devicePixelRatio();
        EXPECT_EQ(ratio, qApp->devicePixelRatio());
        const QRect icon = deviceRect(f.view.iconRect(folder), ratio);
        const QRect label = deviceRect(f.view.labelRect(folder), ratio);
        ASSERT_FALSE(icon.isEmpty());
        // The label shows the selection; the icon is the set's picture, drawn at the device's
        // resolution.
        EXPECT_NE(after.copy(label), before.copy(label));
        EXPECT_EQ(after.copy(icon), before.copy(icon));
        EXPECT_EQ(f.icons.image(kKindFolder).width(), qRound(size.pixels * ratio));
        EXPECT_NE(findIconOnWhite(after, icon, f.icons, kKindFolder), kNotFound);
    }
}

// The rows' sizes are kept between fittings of the column; a new text, a bold row and a
// new icon size are measured anew.
TEST(TreeView, TheColumnFollowsRenamesBoldnessAndIconSize) {
    TreeFixture f;
    const NodeId file = f.tree.insertLast(f.root, u"a.txt");
    f.view.expandAll();
    const int narrow = f.view.sizeHintForColumn(0);
    f.tree.setText(file, u"a much longer name than before, to widen the column.txt");
    EXPECT_GT(f.view.sizeHintForColumn(0), narrow);
    f.tree.setText(file, u"a.txt");
    EXPECT_EQ(f.view.sizeHintForColumn(0), narrow);

    const std::u16string wide(40, u'w');
    const NodeId plain = f.tree.insertLast(f.root, wide);
    const int unbold = f.view.sizeHintForColumn(0);
    f.tree.setTextAndBold(plain, wide);
    EXPECT_GT(f.view.sizeHintForColumn(0), unbold);

    f.view.setNodeIconSize(48);
    EXPECT_GT(f.view.sizeHintForColumn(0), unbold + 24);
}

TEST(TreeView, SelectingANodeDeepInCollapsedBranchesOpensThemInOneLayout) {
    TreeFixture f;
    constexpr int kDepth = 10000;
    std::vector<NodeId> chain{f.root};
    for (int level = 1; level < kDepth; ++level) {
        chain.push_back(add(f.tree, chain.back(), u" level", kKindFolder));
    }
    // A sibling beside the chain's top stays closed; the first few levels are open already.
    const NodeId aside = f.tree.insertLast(f.root, u" aside");
    f.tree.insertLast(aside, u"inside.txt");
    for (std::size_t level = 0; level < 3; ++level) {
        f.view.expand(f.model.indexOf(chain[level]));
    }
    f.view.show();
    QApplication::processEvents();

    f.view.measured = 0;
    f.tree.select(chain.back());
    QApplication::processEvents();
    EXPECT_LT(f.view.measured, 10); // not once for every level
    for (std::size_t level = 0; level + 1 < chain.size(); ++level) {
        ASSERT_TRUE(f.view.isExpanded(f.model.indexOf(chain[level]))) << level;
    }
    const QModelIndex deepest = f.model.indexOf(chain.back());
    EXPECT_FALSE(f.view.isExpanded(deepest));
    EXPECT_FALSE(f.view.isExpanded(f.model.indexOf(aside)));
    EXPECT_EQ(f.view.currentIndex(), deepest);
    EXPECT_TRUE(f.view.viewport()->rect().intersects(f.view.visualRect(deepest)));
    // The rows below the chain's top follow its whole length.
    EXPECT_EQ(f.view.indexBelow(f.model.indexOf(chain[kDepth - 2])), deepest);
    EXPECT_EQ(f.view.indexBelow(deepest), f.model.indexOf(aside));
}

// The tree shows the first 1022 characters and an ellipsis; the texts themselves stay whole.
TEST(TreeView, ShowsTheStartOfLongTexts) {
    const std::u16string huge(1 << 20, u'n');
    const QString cut = QString(1022, 'n') + QChar(0x2026);
    TreeFixture f;
    const NodeId file = f.tree.insertLast(f.root, huge + u".txt");
    EXPECT_EQ(f.model.indexOf(file).data().toString(), cut);
    EXPECT_EQ(f.tree.text(file), huge + u".txt");
    EXPECT_EQ(f.model.indexOf(f.root).data().toString(), "Disk");
}

TEST(ItemPropertiesIcon, IsDrawnAtTheScreensPixelRatio) {
    ItemPropertiesDialog data{kKindArchive, u"a.zip", u"Disk", true, u"Disk"};
    const int size = CItemProperties::standardIconSize();
    CItemProperties dlg(data, renderKindIcon(data.kind, size));
    dlg.show();
    // The picture is as many device pixels wide as the grab gives the icon's place.
    const qreal ratio = dlg.grab().toImage().devicePixelRatio();
    const QPixmap shown = dlg.iconPicture()->pixmap();
    EXPECT_EQ(shown.width(), qRound(size * ratio));
    EXPECT_EQ(shown.deviceIndependentSize().toSize(), QSize(size, size));
    EXPECT_GE(dlg.iconPicture()->width(), size);
}

} // namespace
} // namespace zelvane
