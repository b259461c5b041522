#include "app/snapshot_tree_model_qt.h"

#include <QTimer>

#include "document/node_text.h"
#include "text/text.h"
#include "ui/icon_set_qt.h"
#include "ui/text_qt.h"

namespace zelvane {

SnapshotTreeModel::SnapshotTreeModel(SnapshotTree& tree, QObject* parent)
    : QAbstractItemModel(parent), tree_(tree) {
    // Only the weight is set, so the view's own font supplies everything else.
    boldFont_.setBold(true);
    tree_.setObserver(this);
}

SnapshotTreeModel::~SnapshotTreeModel() {
    if (tree_.observer() == this) {
        tree_.setObserver(nullptr);
    }
}

void SnapshotTreeModel::setIconSet(const IconSet* icons) {
    icons_ = icons;
    const int roots = rowCount();
    if (roots > 0) {
        // Views repaint everything for a change that spans more than one item.
        emit dataChanged(index(0, 0), index(roots - 1, 0), {Qt::DecorationRole});
    }
}

QModelIndex SnapshotTreeModel::indexOf(NodeId node) const {
    if (node == kNoNode || node == kTopLevel || !tree_.isValid(node)) {
        return {};
    }
    return createIndex(static_cast<int>(tree_.row(node)), 0, static_cast<quintptr>(node));
}

NodeId SnapshotTreeModel::nodeOf(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) {
        return kNoNode;
    }
    return static_cast<NodeId>(index.internalId());
}

QModelIndex SnapshotTreeModel::parentIndexOf(NodeId parent) const {
    return parent == kTopLevel || parent == kNoNode ? QModelIndex() : indexOf(parent);
}

QModelIndex SnapshotTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column != 0 || (parent.isValid() && parent.column() != 0)) {
        return {};
    }
    const NodeId parentNode = parent.isValid() ? nodeOf(parent) : kTopLevel;
    if (parentNode == kNoNode) {
        return {};
    }
    const NodeId child = tree_.childAt(parentNode, static_cast<std::size_t>(row));
    if (child == kNoNode) {
        return {};
    }
    return createIndex(row, 0, static_cast<quintptr>(child));
}

QModelIndex SnapshotTreeModel::parent(const QModelIndex& child) const {
    const NodeId node = nodeOf(child);
    if (node == kNoNode || !tree_.isValid(node)) {
        return {};
    }
    return indexOf(tree_.parent(node));
}

int SnapshotTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) {
        return static_cast<int>(tree_.childCount(kTopLevel));
    }
    if (parent.column() != 0) {
        return 0;
    }
    const NodeId node = nodeOf(parent);
    return node == kNoNode ? 0 : static_cast<int>(tree_.childCount(node));
}

int SnapshotTreeModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() && parent.column() != 0 ? 0 : 1;
}

bool SnapshotTreeModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid()) {
        return !tree_.empty();
    }
    const NodeId node = nodeOf(parent);
    return parent.column() == 0 && node != kNoNode && tree_.isValid(node) &&
           tree_.hasChildren(node);
}

QVariant SnapshotTreeModel::data(const QModelIndex& index, int role) const {
    const NodeId node = nodeOf(index);
    if (node == kNoNode || !tree_.isValid(node)) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
    case kDisplayNameRole: {
        // A text of any length is kept, but only its start is shown.
        const NodeText stored = tree_.text(node);
        const NodeText text = role == Qt::DisplayRole ? stored : displayNameOf(stored);
        if (!shownAsStored(text)) {
            return toQString(shownText(text.toU16()));
        }
        return text.isWide()
                   ? toQString(text.wide())
                   : QString::fromLatin1(text.narrow().data(), static_cast<qsizetype>(text.size()));
    }
    case Qt::DecorationRole:
        if (icons_ != nullptr) {
            // A kind of 12 or more (from a foreign file) has no image and shows none.
            QIcon icon = icons_->icon(tree_.kind(node));
            if (!icon.isNull()) {
                return icon;
            }
        }
        return {};
    case Qt::FontRole:
        return tree_.isBold(node) ? QVariant(boldFont_) : QVariant();
    default:
        return {};
    }
}

Qt::ItemFlags SnapshotTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    // Never editable: text only changes through the Rename command.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QModelIndexList SnapshotTreeModel::match(const QModelIndex& start, int role, const QVariant& value,
                                         int hits, Qt::MatchFlags flags) const {
    return QAbstractItemModel::match(start, role == Qt::DisplayRole ? kDisplayNameRole : role,
                                     value, hits, flags);
}

void SnapshotTreeModel::beforeInsert(NodeId parent, std::size_t row) {
    finishPendingLayoutChange();
    ++changing_;
    const int r = static_cast<int>(row);
    beginInsertRows(parentIndexOf(parent), r, r);
}

void SnapshotTreeModel::afterInsert(NodeId) {
    endInsertRows();
    --changing_;
}

void SnapshotTreeModel::beforeRemove(NodeId node) {
    finishPendingLayoutChange();
    ++changing_;
    const int r = static_cast<int>(tree_.row(node));
    beginRemoveRows(indexOf(tree_.parent(node)), r, r);
}

void SnapshotTreeModel::afterRemove(NodeId, std::size_t) {
    endRemoveRows();
    --changing_;
}

void SnapshotTreeModel::nodeChanged(NodeId node) {
    finishPendingLayoutChange();
    const QModelIndex changed = indexOf(node);
    emit dataChanged(changed, changed);
}

void SnapshotTreeModel::beforeReorder(NodeId) {
    if (layoutPending_) {
        return;
    }
    layoutPending_ = true;
    ++changing_;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Whatever command sorted ends before the event loop runs again; finish then.
    QTimer::singleShot(0, this, &SnapshotTreeModel::finishPendingLayoutChange);
}

void SnapshotTreeModel::afterReorder(NodeId) {}

void SnapshotTreeModel::finishPendingLayoutChange() {
    if (!layoutPending_) {
        return;
    }
    layoutPending_ = false;
    // Nodes keep their ids when their siblings move, so each persistent index only
    // needs its node's new row.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before) {
        const NodeId node = static_cast<NodeId>(old.internalId());
        after.push_back(tree_.isValid(node) ? createIndex(static_cast<int>(tree_.row(node)),
                                                          old.column(), static_cast<quintptr>(node))
                                            : QModelIndex());
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    --changing_;
}

void SnapshotTreeModel::beforeReset() {
    finishPendingLayoutChange();
    ++changing_;
    beginResetModel();
}

void SnapshotTreeModel::afterReset() {
    endResetModel();
    --changing_;
    emit treeSelectionChanged(tree_.selected());
}

void SnapshotTreeModel::selectionChanged(NodeId node) {
    finishPendingLayoutChange();
    emit treeSelectionChanged(node);
}

} // namespace zelvane
