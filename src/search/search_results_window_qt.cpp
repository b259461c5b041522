#include "search/search_results_window_qt.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QTreeView>
#include <algorithm>

#include "icons/icon_set_qt.h"
#include "search/search_command.h"
#include "ui/dialog_layout_qt.h"
#include "ui/text_qt.h"

namespace zelvane {

namespace {

// Template 273, in dialog units.
constexpr int kTemplateWidth = 342;
constexpr int kTemplateHeight = 209;
// Added to the two columns' widths when the window is sized to them.
constexpr int kExtraWidth = 32;

} // namespace

// --- SearchResultsModel ---

void SearchResultsModel::setResults(const SearchResults* results, const IconSet* icons) {
    beginResetModel();
    results_ = results;
    icons_ = icons;
    endResetModel();
}

int SearchResultsModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || results_ == nullptr) {
        return 0;
    }
    // A view counts rows in int; more rows than that are not shown.
    return static_cast<int>(std::min<std::size_t>(results_->size(), INT_MAX));
}

int SearchResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant SearchResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || results_ == nullptr) {
        return {};
    }
    const auto row = static_cast<std::size_t>(index.row());
    if (role == Qt::DisplayRole) {
        return index.column() == 0 ? toQString(results_->item(row))
                                   : toQString(results_->path(row));
    }
    if (role == Qt::DecorationRole && index.column() == 0 && icons_ != nullptr) {
        const int kind = results_->kind(row);
        if (kind >= 0 && kind < icons_->count()) {
            return icons_->icon(kind);
        }
    }
    return {};
}

QVariant SearchResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        return section == 0 ? QStringLiteral("Item") : QStringLiteral("Path");
    }
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    return {};
}

// --- CSearchResults ---

CSearchResults::CSearchResults(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dialog_%1").arg(kSearchResultsDialogId));
    setWindowTitle(toQString(kSearchResultsCaption));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);

    list_ = new QTreeView(this);
    list_->setObjectName(QStringLiteral("control_%1").arg(IDC_SEARCH_RESULTS_LIST));
    model_ = new SearchResultsModel(this);
    list_->setModel(model_);
    // A report list: no tree decoration, one selected row at a time, never sorted or
    // edited, no border, and the selection still shown when the list has no focus.
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSortingEnabled(false);
    list_->setAllColumnsShowFocus(true);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionsMovable(false);
    list_->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette palette = list_->palette();
    for (auto role : {QPalette::Highlight, QPalette::HighlightedText}) {
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    }
    list_->setPalette(palette);
    list_->viewport()->installEventFilter(this);

    const QSize size = templateSize(kTemplateWidth, kTemplateHeight, baseUnitsOf(*this));
    resize(size);
    list_->setGeometry(0, 0, size.width(), size.height());
}

void CSearchResults::open() {
    // The window's corner lies on the main window's client top-left; it is not centred.
    move(origin_);
    show();
    if (icons_ != nullptr && icons_->size() > 0) {
        list_->setIconSize(QSize(icons_->size(), icons_->size()));
    }
    model_->setResults(nullptr, icons_);
}

void CSearchResults::fill(const SearchResults& results) {
    model_->setResults(&results, icons_);
    if (!results.empty()) {
        list_->setColumnWidth(0, fittedColumnWidth(0));
        list_->setColumnWidth(1, fittedColumnWidth(1));
    }

    // The outer size becomes the columns' width plus 32 pixels, no wider than the screen,
    // and the client height measured now: the window loses its frame's height.
    const int clientHeight = height();
    const QRect frame = frameGeometry();
    const int frameWidth = frame.width() - width();
    const int frameHeight = frame.height() - height();
    int outerWidth = list_->columnWidth(0) + list_->columnWidth(1) + kExtraWidth;
    const QScreen* screen =
        this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        outerWidth = std::min(outerWidth, screen->availableGeometry().width());
    }
    const QPoint position = pos();
    resize(std::max(1, outerWidth - frameWidth), std::max(1, clientHeight - frameHeight));
    move(position);
    FitList();
}

int CSearchResults::fittedColumnWidth(int column) const {
    const SearchResults* results = model_->results();
    if (results == nullptr || results->empty()) {
        return list_->columnWidth(column);
    }
    const QFontMetrics metrics(list_->font());
    // What the delegate adds around a text (margins, and the icon in the first column).
    const QModelIndex first = model_->index(0, column);
    QStyleOptionViewItem option;
    option.initFrom(list_);
    option.font = list_->font();
    option.decorationSize = list_->iconSize();
    option.features = column == 0 && icons_ != nullptr ? QStyleOptionViewItem::HasDecoration
                                                       : QStyleOptionViewItem::None;
    const QString firstText = model_->data(first, Qt::DisplayRole).toString();
    const int padding = list_->itemDelegate()->sizeHint(option, first).width() -
                        metrics.horizontalAdvance(firstText);

    // The widest text of the column, every row counted. A text of n code units is no
    // wider than n times the font's widest character, so most rows need no measuring,
    // and rows that share a path are measured once.
    const int widestChar = std::max(1, metrics.maxWidth());
    int widest = metrics.horizontalAdvance(firstText);
    std::u16string path;
    std::uint32_t lastPath = 0;
    bool havePath = false;
    const auto rows = static_cast<std::size_t>(model_->rowCount());
    for (std::size_t row = 0; row < rows; ++row) {
        if (column == 0) {
            const std::u16string_view item = results->item(row);
            if (static_cast<double>(item.size()) * widestChar <= widest) {
                continue;
            }
            widest = std::max(widest, metrics.horizontalAdvance(toQString(item)));
        } else {
            const std::uint32_t identity = results->pathIdentity(row);
            if ((havePath && identity == lastPath) ||
                static_cast<double>(results->pathLength(row)) * widestChar <= widest) {
                continue;
            }
            havePath = true;
            lastPath = identity;
            path.clear();
            results->appendPath(row, path);
            widest = std::max(widest, metrics.horizontalAdvance(toQString(path)));
        }
    }
    return widest + std::max(0, padding);
}

void CSearchResults::FitList() {
    if (!isVisible()) {
        return;
    }
    list_->setGeometry(rect());
}

void CSearchResults::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    FitList();
}

void CSearchResults::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            accept();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

bool CSearchResults::eventFilter(QObject* watched, QEvent* event) {
    // The first click of a double-click has already selected its row, if any.
    if (watched == list_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        OnListDoubleClick();
    }
    return QDialog::eventFilter(watched, event);
}

void CSearchResults::OnListDoubleClick() {
    std::optional<std::size_t> row;
    const QModelIndexList selected = list_->selectionModel()->selectedRows();
    if (!selected.isEmpty()) {
        int first = selected.front().row();
        for (const QModelIndex& index : selected) {
            first = std::min(first, index.row());
        }
        row = static_cast<std::size_t>(first);
    }
    if (row && activated_) {
        activated_(row);
    }
}

} // namespace zelvane
