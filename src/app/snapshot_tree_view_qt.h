// The tree view of the main window (control 1000): lines and expand buttons, selection
// painted on the icon and label only and kept visible without focus, a hit test that
// tells the parts of a row apart, no in-place editing (its requests are passed on as
// signals), and right clicks reported without touching the selection.
#pragma once

#include <QHash>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>

#include <vector>

#include "document/snapshot_tree.h"

namespace zelvane {

class SnapshotTreeModel;

// Where a point lies relative to the rows of the tree.
enum class TreeHitPart {
    Nowhere,      // below the last row, or no rows at all
    Indent,       // in the indentation left of a row's expand button
    Button,       // on the expand button (or where it would be) of the row
    Icon,         // on the row's icon
    Label,        // on the row's text
    RightOfLabel, // in the row, right of its text
};

struct TreeHit {
    NodeId node = kNoNode;
    TreeHitPart part = TreeHitPart::Nowhere;
    // An icon or a label: the parts on which a right click opens the Item menu.
    bool onItem() const { return part == TreeHitPart::Icon || part == TreeHitPart::Label; }
};

// Paints a row's selection and focus only over its icon and label, as a tree does.
class SnapshotItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // The icon and label of a row whose cell is option.rect.
    void itemParts(const QStyleOptionViewItem& option, const QModelIndex& index, QRect* icon,
                   QRect* label) const;
    // A row's size depends only on its text, its boldness, the font and the icon size; the
    // sizes measured are kept, so that the column fitted again after a rename or a move
    // lays out only the texts it has not seen.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    struct SizeKey {
        QString text;
        bool bold = false;
        bool operator==(const SizeKey& other) const = default;
    };
    friend size_t qHash(const SizeKey& key, size_t seed) {
        return qHashMulti(seed, key.text, key.bold);
    }
    mutable QHash<SizeKey, QSize> sizes_;
    mutable QFont sizesFont_;
    mutable QSize sizesIcon_;
};

class SnapshotTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit SnapshotTreeView(QWidget* parent = nullptr);

    // Shows the model. Branches that are open when the tree is reset as a whole (a bulk
    // update) are open again afterwards, as far as their nodes still exist.
    void setSnapshotModel(SnapshotTreeModel* model);
    SnapshotTreeModel* snapshotModel() const { return model_; }

    // The size of the node icons; the indentation follows it.
    void setNodeIconSize(int size);
    // The height of a row at the icon size, a bold one (a root's or a folder's) included.
    int rowHeightHint() const;

    // point in viewport coordinates.
    TreeHit hitTest(const QPoint& point) const;
    // The icon and label rectangles of a visible node, in viewport coordinates (empty
    // when it is not laid out).
    QRect iconRect(NodeId node) const;
    QRect labelRect(NodeId node) const;

    // Shows the tree's selected node: its collapsed ancestors are expanded, it becomes
    // the current item and is scrolled into view.
    void showSelectedNode(NodeId node);
    // Whether an in-place editor is open (it never should be).
    bool isEditing() const { return state() == QAbstractItemView::EditingState; }

signals:
    // F2, or a slow second click on the selected node's label: a request to edit it.
    void beginLabelEdit();
    // The right mouse button was released over the tree, at a global position.
    void rightClicked(const QPoint& globalPos);

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void drawBranches(QPainter* painter, const QRect& rect,
                      const QModelIndex& index) const override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QStyleOptionViewItem rowOption(const QModelIndex& index) const;
    void partsOf(const QModelIndex& index, QRect* icon, QRect* label) const;

    void expandScreenful(const QModelIndex& top);
    void rememberExpanded();
    void restoreExpanded();

    SnapshotTreeModel* model_ = nullptr;
    SnapshotItemDelegate* delegate_ = nullptr;
    std::vector<NodeId> expandedBeforeReset_;
    QTimer slowClick_;
    bool syncing_ = false;
};

} // namespace zelvane
