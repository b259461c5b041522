// The Qt model of the snapshot tree. It holds no copy of the tree: every question is
// answered from the SnapshotTree, and the tree's observer calls are turned into the
// model's signals, so that a view follows every change at any size of tree.
//
// A model index carries its node's id; its row is the node's row in the tree.
#pragma once

#include <QAbstractItemModel>
#include <QFont>

#include "document/snapshot_tree.h"

namespace zelvane {

class IconSet;

class SnapshotTreeModel : public QAbstractItemModel, private TreeObserver {
    Q_OBJECT
public:
    explicit SnapshotTreeModel(SnapshotTree& tree, QObject* parent = nullptr);
    ~SnapshotTreeModel() override;

    SnapshotTree& tree() const { return tree_; }

    // Installs the icon set that DecorationRole draws from (nullptr: no icons). The set
    // must live until it is replaced.
    void setIconSet(const IconSet* icons);

    QModelIndex indexOf(NodeId node) const;
    NodeId nodeOf(const QModelIndex& index) const;
    // True while the tree is in the middle of a change (rows going or coming, a reset):
    // the view must not feed its own selection changes back into the tree then.
    bool isChanging() const { return changing_ > 0; }

    // Reorders are reported to views as one layout change per burst (a sort reorders
    // every parent's children in turn). The change is finished before any other change is
    // reported and at the latest when control returns to the event loop; this finishes it
    // at once.
    void finishPendingLayoutChange();

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Text given for the display role is matched against the display names (a folder's
    // without its leading space), the names the user reads: the view's type-ahead finds a
    // folder by its name.
    QModelIndexList match(const QModelIndex& start, int role, const QVariant& value, int hits = 1,
                          Qt::MatchFlags flags = Qt::MatchStartsWith |
                                                 Qt::MatchWrap) const override;

    // A node's display name, shown cut as the display role's text is.
    static constexpr int kDisplayNameRole = Qt::UserRole;

signals:
    // The tree's selected node changed (kNoNode: none); the view shows it.
    void treeSelectionChanged(quint32 node);

private:
    void beforeInsert(NodeId parent, std::size_t row) override;
    void afterInsert(NodeId node) override;
    void beforeRemove(NodeId node) override;
    void afterRemove(NodeId parent, std::size_t row) override;
    void nodeChanged(NodeId node) override;
    void beforeReorder(NodeId parent) override;
    void afterReorder(NodeId parent) override;
    void beforeReset() override;
    void afterReset() override;
    void selectionChanged(NodeId node) override;

    QModelIndex parentIndexOf(NodeId parent) const;

    SnapshotTree& tree_;
    const IconSet* icons_ = nullptr;
    QFont boldFont_;
    int changing_ = 0;
    bool layoutPending_ = false;
};

} // namespace zelvane
