#include "app/snapshot_tree_view_qt.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollBar>
#include <algorithm>
#include <vector>

#include "app/snapshot_tree_model_qt.h"

namespace zelvane {

namespace {

// The application's style, except that a selected row's branch area stays unselected:
// a tree marks only the icon and the label of its selected node.
class TreeStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_ItemView_ShowDecorationSelected) {
            return 0;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QStyle* styleOf(const QStyleOptionViewItem& option) {
    return option.widget != nullptr ? option.widget->style() : QApplication::style();
}

} // namespace

void SnapshotItemDelegate::itemParts(const QStyleOptionViewItem& option, const QModelIndex& index,
                                     QRect* icon, QRect* label) const {
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    QStyle* style = styleOf(opt);
    const QRect iconArea =
        (opt.features & QStyleOptionViewItem::HasDecoration)
            ? style->subElementRect(QStyle::SE_ItemViewItemDecoration, &opt, opt.widget)
            : QRect();
    const QRect textArea = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, opt.widget) + 1;
    const int textWidth = opt.fontMetrics.horizontalAdvance(opt.text) + 2 * margin + 1;
    const int right = std::min(opt.rect.right(), textArea.left() + textWidth - 1);
    if (icon != nullptr) {
        *icon = iconArea.isNull()
                    ? QRect()
                    : QRect(iconArea.left(), opt.rect.top(), iconArea.width(), opt.rect.height());
    }
    if (label != nullptr) {
        *label = QRect(QPoint(textArea.left(), opt.rect.top()), QPoint(right, opt.rect.bottom()));
    }
}

void SnapshotItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    QRect icon;
    QRect label;
    itemParts(option, index, &icon, &label);
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    // The selection and the focus frame cover the icon and the label, not the whole row.
    opt.rect.setRight(std::max(label.right(), opt.rect.left()));
    styleOf(opt)->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
}

QSize SnapshotItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
    if (option.font != sizesFont_ || option.decorationSize != sizesIcon_) {
        sizes_.clear();
        sizesFont_ = option.font;
        sizesIcon_ = option.decorationSize;
    }
    constexpr qsizetype kMaxKept = 1 << 16; // a bound on the memory, not on the speed
    if (sizes_.size() >= kMaxKept) {
        sizes_.clear();
    }
    SizeKey key{index.data(Qt::DisplayRole).toString(), index.data(Qt::FontRole).isValid()};
    auto found = sizes_.constFind(key);
    if (found != sizes_.constEnd()) {
        return *found;
    }
    const QSize size = QStyledItemDelegate::sizeHint(option, index);
    sizes_.insert(std::move(key), size);
    return size;
}

SnapshotTreeView::SnapshotTreeView(QWidget* parent) : QTreeView(parent) {
    setHeaderHidden(true);
    setUniformRowHeights(true); // rows need not be measured one by one: fast at any size
    setRootIsDecorated(true);   // lines and buttons at the roots too
    setItemsExpandable(true);
    setExpandsOnDoubleClick(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setFrameShape(QFrame::NoFrame);
    setAllColumnsShowFocus(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto* style = new TreeStyle;
    style->setParent(this);
    setStyle(style);
    setNodeIconSize(16);

    // The selection stays as visible when the tree does not have the focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);

    delegate_ = new SnapshotItemDelegate(this);
    setItemDelegate(delegate_);

    // Right clicks are ours (see mouseReleaseEvent); no context menu event is wanted.
    viewport()->setContextMenuPolicy(Qt::PreventContextMenu);

    slowClick_.setSingleShot(true);
    connect(&slowClick_, &QTimer::timeout, this, &SnapshotTreeView::beginLabelEdit);
}

void SnapshotTreeView::setSnapshotModel(SnapshotTreeModel* model) {
    model_ = model;
    setModel(model);
    connect(model, &SnapshotTreeModel::treeSelectionChanged, this,
            [this](quint32 node) { showSelectedNode(node); });
    // After the view's own handling of the reset, which forgets every open branch.
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this,
            &SnapshotTreeView::rememberExpanded);
    connect(model, &QAbstractItemModel::modelReset, this, &SnapshotTreeView::restoreExpanded);
}

void SnapshotTreeView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Asterisk && model_ != nullptr && currentIndex().isValid()) {
        expandScreenful(currentIndex());
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

// `*` opens the current node and the branches below it, in tree order, as far as the rows
// of one screen below it go: what opens is what can be seen, however big the branch (a
// root of ten million nodes opened whole would freeze the window for half a minute). The
// next `*`, further down, opens the next screen.
void SnapshotTreeView::expandScreenful(const QModelIndex& top) {
    const int rows = viewport()->height() / std::max(1, rowHeightHint()) + 1;
    int shown = 0;
    std::vector<QModelIndex> pending{top}; // the rows to come, the next one last
    while (!pending.empty() && shown < rows) {
        const QModelIndex index = pending.back();
        pending.pop_back();
        ++shown;
        const int children = std::min(model_->rowCount(index), rows - shown);
        if (children > 0) {
            expand(index);
        }
        for (int row = children - 1; row >= 0; --row) {
            pending.push_back(model_->index(row, 0, index));
        }
    }
}

void SnapshotTreeView::rememberExpanded() {
    // Only open branches are walked, so this costs what the view shows, not the tree.
    expandedBeforeReset_.clear();
    std::vector<QModelIndex> pending{QModelIndex()};
    while (!pending.empty()) {
        const QModelIndex parent = pending.back();
        pending.pop_back();
        const int rows = model_->rowCount(parent);
        for (int row = 0; row < rows; ++row) {
            const QModelIndex child = model_->index(row, 0, parent);
            if (isExpanded(child)) {
                expandedBeforeReset_.push_back(model_->nodeOf(child));
                pending.push_back(child);
            }
        }
    }
}

void SnapshotTreeView::restoreExpanded() {
    const SnapshotTree& tree = model_->tree();
    for (NodeId node : expandedBeforeReset_) {
        if (tree.isValid(node) && tree.hasChildren(node)) {
            expand(model_->indexOf(node));
        }
    }
    expandedBeforeReset_.clear();
}

void SnapshotTreeView::setNodeIconSize(int size) {
    setIconSize(QSize(size, size));
    // Each level is indented by the icon's width and its margins, so that the line down to
    // a node's children starts right under the node's icon.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    setIndentation(std::max(19, size + 2 * margin));
}

int SnapshotTreeView::rowHeightHint() const {
    // As the delegate measures a row: a bold text with an icon.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    option.font.setBold(true);
    option.fontMetrics = QFontMetrics(option.font);
    option.text = QStringLiteral("Wg");
    return style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).height();
}

QStyleOptionViewItem SnapshotTreeView::rowOption(const QModelIndex& index) const {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    return option;
}

void SnapshotTreeView::partsOf(const QModelIndex& index, QRect* icon, QRect* label) const {
    delegate_->itemParts(rowOption(index), index, icon, label);
}

TreeHit SnapshotTreeView::hitTest(const QPoint& point) const {
    if (model_ == nullptr) {
        return {};
    }
    // The row under the point, wherever it is across the row.
    const QModelIndex index = indexAt(QPoint(columnViewportPosition(0), point.y()));
    if (!index.isValid()) {
        return {};
    }
    TreeHit hit;
    hit.node = model_->nodeOf(index);
    const QRect cell = visualRect(index);
    if (point.x() < cell.left()) {
        const bool ownColumn = point.x() >= cell.left() - indentation();
        hit.part =
            ownColumn && model_->hasChildren(index) ? TreeHitPart::Button : TreeHitPart::Indent;
        return hit;
    }
    QRect icon;
    QRect label;
    partsOf(index, &icon, &label);
    if (point.x() < label.left()) {
        hit.part = icon.isNull() ? TreeHitPart::Label : TreeHitPart::Icon;
    } else if (point.x() <= label.right()) {
        hit.part = TreeHitPart::Label;
    } else {
        hit.part = TreeHitPart::RightOfLabel;
    }
    return hit;
}

QRect SnapshotTreeView::iconRect(NodeId node) const {
    const QModelIndex index = model_ != nullptr ? model_->indexOf(node) : QModelIndex();
    if (!index.isValid() || visualRect(index).isEmpty()) {
        return {};
    }
    QRect icon;
    partsOf(index, &icon, nullptr);
    return icon;
}

QRect SnapshotTreeView::labelRect(NodeId node) const {
    const QModelIndex index = model_ != nullptr ? model_->indexOf(node) : QModelIndex();
    if (!index.isValid() || visualRect(index).isEmpty()) {
        return {};
    }
    QRect label;
    partsOf(index, nullptr, &label);
    return label;
}

void SnapshotTreeView::showSelectedNode(NodeId node) {
    if (model_ == nullptr) {
        return;
    }
    syncing_ = true;
    slowClick_.stop();
    const QModelIndex index = model_->indexOf(node);
    if (!index.isValid()) {
        selectionModel()->clear();
    } else {
        std::vector<QModelIndex> collapsed;
        for (QModelIndex p = index.parent(); p.isValid(); p = p.parent()) {
            if (!isExpanded(p)) {
                collapsed.push_back(p);
            }
        }
        if (!collapsed.empty()) {
            // One layout for the whole chain: while a layout is pending, expanding a branch
            // only notes it, where it would otherwise lay out the rows below it and measure
            // the column again, once per ancestor.
            scheduleDelayedItemsLayout();
            for (auto it = collapsed.rbegin(); it != collapsed.rend(); ++it) {
                expand(*it);
            }
        }
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        scrollTo(index);
        // The view scrolls to the column, which holds every level: a node indented past
        // either side of the viewport is brought in, with its expand button.
        QRect cell = visualRect(index);
        if (cell.left() < 0 || cell.left() >= viewport()->width()) {
            // The column and the scroll range follow the new rows first.
            header()->resizeSections(QHeaderView::ResizeToContents);
            updateGeometries();
            cell = visualRect(index);
            QScrollBar* bar = horizontalScrollBar();
            bar->setValue(bar->value() + cell.left() - indentation());
        }
    }
    syncing_ = false;
}

void SnapshotTreeView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    slowClick_.stop();
    if (syncing_ || model_ == nullptr || model_->isChanging()) {
        return;
    }
    // A node the user chose becomes the tree's selected node.
    const NodeId node = model_->nodeOf(current);
    if (node != model_->tree().selected()) {
        syncing_ = true;
        model_->tree().select(node);
        syncing_ = false;
    }
}

bool SnapshotTreeView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    // No edit box ever opens; the request goes to whoever renames nodes.
    if (!index.isValid()) {
        return false;
    }
    if (trigger == QAbstractItemView::EditKeyPressed) {
        emit beginLabelEdit();
    } else if (trigger == QAbstractItemView::SelectedClicked) {
        const auto* mouse = dynamic_cast<QMouseEvent*>(event);
        if (mouse == nullptr || hitTest(mouse->position().toPoint()).part == TreeHitPart::Label) {
            // Waits out the double-click time, so that a double click stays a double click.
            slowClick_.start(QApplication::doubleClickInterval());
        }
    }
    return false;
}

void SnapshotTreeView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        // A right press neither selects nor moves the focus item.
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void SnapshotTreeView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept();
        emit rightClicked(event->globalPosition().toPoint());
        return;
    }
    QTreeView::mouseReleaseEvent(event);
}

void SnapshotTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
    slowClick_.stop();
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
}

void SnapshotTreeView::drawBranches(QPainter* painter, const QRect& rect,
                                    const QModelIndex& index) const {
    // Dotted lines joining each node to its parent and siblings, and a box with + or -
    // on nodes that have children.
    std::vector<QModelIndex> chain; // the node, its parent, ..., its root
    for (QModelIndex i = index; i.isValid(); i = i.parent()) {
        chain.push_back(i);
    }
    const int level = static_cast<int>(chain.size()) - 1;
    const int indent = indentation();
    const int left = rect.right() + 1 - (level + 1) * indent;
    const int midY = rect.top() + rect.height() / 2;
    const QAbstractItemModel* m = model();
    auto hasNextSibling = [m](const QModelIndex& i) {
        return i.row() + 1 < m->rowCount(i.parent());
    };

    painter->save();
    QPen dots(palette().color(QPalette::Mid), 1, Qt::DotLine);
    painter->setPen(dots);
    for (int column = 0; column < level; ++column) {
        if (hasNextSibling(chain[static_cast<std::size_t>(level - column)])) {
            const int x = left + column * indent + indent / 2;
            painter->drawLine(x, rect.top(), x, rect.bottom());
        }
    }
    const int x = left + level * indent + indent / 2;
    const bool firstRoot = level == 0 && index.row() == 0;
    painter->drawLine(x, firstRoot ? midY : rect.top(), x,
                      hasNextSibling(index) ? rect.bottom() : midY);
    painter->drawLine(x, midY, left + (level + 1) * indent - 2, midY);

    if (m->hasChildren(index)) {
        const int half = 4;
        const QRect box(x - half, midY - half, 2 * half, 2 * half);
        painter->setPen(QPen(palette().color(QPalette::Dark), 1));
        painter->setBrush(palette().color(QPalette::Base));
        painter->drawRect(box);
        painter->setPen(QPen(palette().color(QPalette::Text), 1));
        painter->drawLine(x - half + 2, midY, x + half - 2, midY);
        if (!isExpanded(index)) {
            painter->drawLine(x, midY - half + 2, x, midY + half - 2);
        }
    }
    painter->restore();
}

} // namespace zelvane
