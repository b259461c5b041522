#include "ui/search_results_window_qt.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QResizeEvent>
#include <QThread>
#include <QTreeView>
#include <QWindow>
#include <algorithm>
#include <array>
#include <limits>
#include <unordered_map>
#include <vector>

#include "search/search_command.h"
#include "text/text.h"
#include "ui/dialog_layout_qt.h"
#include "ui/icon_set_qt.h"
#include "ui/text_qt.h"

namespace zelvane {

namespace {

// Template 273, in dialog units.
constexpr int kTemplateWidth = 342;
constexpr int kTemplateHeight = 209;
// Added to the two columns' widths when the window is sized to them.
constexpr int kExtraWidth = 32;
// How long the opening waits at most for the window to be on the screen.
constexpr int kFrameWaitMs = 1000;
// How many cells of a column are measured at most to find its widest.
constexpr std::size_t kMeasuredCells = 200;

QString shownQString(std::u16string_view text) {
    return shownAsStored(text) ? toQString(text) : toQString(shownText(text));
}

// The application's style, except that the focus frame of a row is a dotted line with
// nothing drawn inside it, so that the row's icon shows as it is.
class ResultsStyle : public QProxyStyle {
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        if (element != QStyle::PE_FrameFocusRect) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        painter->save();
        QPen dots(option->palette.color(QPalette::Text), 1, Qt::DotLine);
        dots.setCosmetic(true); // one device pixel, at any scale
        painter->setPen(dots);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
};

// The list: a report view that can measure one cell as the view itself does when it fits a
// column to its contents.
class ResultsList : public QTreeView {
public:
    using QTreeView::QTreeView;
    int cellWidth(const QModelIndex& index) const {
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        return itemDelegateForIndex(index)->sizeHint(option, index).width();
    }
};

// The sum of the advances of a text's characters, each measured alone once: an estimate of
// the text's width that costs a table look-up per unit. Shaping a whole text takes about a
// thousand times longer.
class WidthEstimate {
public:
    explicit WidthEstimate(const QFont& font) : metrics_(font), bmp_(0x10000, -1.0F) {
        for (char16_t c = 0; c < ascii_.size(); ++c) {
            ascii_[c] = static_cast<float>(metrics_.horizontalAdvance(QChar(c)));
        }
    }

    float of(std::u16string_view text) {
        float sum = 0;
        const std::size_t size = text.size();
        for (std::size_t i = 0; i < size; ++i) {
            const char16_t c = text[i];
            if (c < ascii_.size()) {
                sum += ascii_[c];
            } else if (isHighSurrogate(c) && i + 1 < size && isLowSurrogate(text[i + 1])) {
                sum += ofPair(c, text[i + 1]);
                ++i;
            } else {
                float& advance = bmp_[c];
                if (advance < 0) {
                    advance = static_cast<float>(metrics_.horizontalAdvance(QChar(c)));
                }
                sum += advance;
            }
        }
        return sum;
    }

private:
    float ofPair(char16_t high, char16_t low) {
        const auto key = static_cast<char32_t>(high) << 16 | low;
        const auto found = pairs_.find(key);
        if (found != pairs_.end()) {
            return found->second;
        }
        const QChar pair[2] = {QChar(high), QChar(low)};
        const auto advance = static_cast<float>(metrics_.horizontalAdvance(QString(pair, 2)));
        pairs_.emplace(key, advance);
        return advance;
    }

    QFontMetricsF metrics_;
    std::array<float, 128> ascii_{};
    std::vector<float> bmp_;
    std::unordered_map<char32_t, float> pairs_;
};

// A cell that may be the widest of its column, with the estimate of its text's width.
struct Candidate {
    float estimate;
    std::uint32_t row;
};

// The widest of the candidates' cells. They are measured from the widest estimate down,
// at most kMeasuredCells of them; the measuring stops once no estimate left, plus the
// largest amount by which a measured cell exceeded its estimate, comes up to the widest
// cell found, since no cell left can then be wider.
template <class Measure> int widestCell(std::vector<Candidate>& candidates, Measure measure) {
    if (candidates.empty()) {
        return 0;
    }
    const auto wider = [](const Candidate& a, const Candidate& b) {
        return a.estimate > b.estimate || (a.estimate == b.estimate && a.row < b.row);
    };
    const std::size_t count = std::min(kMeasuredCells, candidates.size());
    const auto end = candidates.begin() + static_cast<std::ptrdiff_t>(count);
    std::nth_element(candidates.begin(), end - 1, candidates.end(), wider);
    std::sort(candidates.begin(), end, wider);
    int widest = 0;
    float excess = -std::numeric_limits<float>::infinity();
    for (auto it = candidates.begin(); it != end; ++it) {
        if (it != candidates.begin() && it->estimate + excess <= static_cast<float>(widest)) {
            break;
        }
        const int width = measure(it->row);
        widest = std::max(widest, width);
        excess = std::max(excess, static_cast<float>(width) - it->estimate);
    }
    return widest;
}

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
        return index.column() == 0 ? shownQString(results_->item(row))
                                   : shownQString(results_->path(row));
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

    list_ = new ResultsList(this);
    auto* style = new ResultsStyle;
    style->setParent(list_);
    list_->setStyle(style);
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
    waitForFrame();
    if (icons_ != nullptr && icons_->size() > 0) {
        list_->setIconSize(QSize(icons_->size(), icons_->size()));
    }
    model_->setResults(nullptr, icons_);
}

void CSearchResults::waitForFrame() {
    // A window manager frames a window only once it is shown, and until then Qt places the
    // window by its client area. The window is exposed when its frame is there; the frame
    // then goes on the origin, or as near as the screen allows.
    QWindow* window = windowHandle();
    QElapsedTimer waited;
    waited.start();
    while (window != nullptr && !window->isExposed() && waited.elapsed() < kFrameWaitMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(1);
    }
    setFramePlace(*this, QRect(origin_, frameGeometry().size()));
}

void CSearchResults::fill(const SearchResults& results) {
    model_->setResults(&results, icons_);
    if (!results.empty()) {
        list_->setColumnWidth(0, fittedColumnWidth(0));
        list_->setColumnWidth(1, fittedColumnWidth(1));
    }

    // The outer size becomes the columns' width plus 32 pixels and the client height
    // measured now (the window loses its frame's height), at its place, within the screen.
    const int outerWidth = list_->columnWidth(0) + list_->columnWidth(1) + kExtraWidth;
    setFramePlace(*this, QRect(pos(), QSize(outerWidth, height())));
    fitList();
}

int CSearchResults::fittedColumnWidth(int column) const {
    const SearchResults* results = model_->results();
    if (results == nullptr || results->empty()) {
        return list_->columnWidth(column);
    }
    list_->ensurePolished();
    const auto* list = static_cast<const ResultsList*>(list_);
    const auto measure = [&](std::uint32_t row) {
        return list->cellWidth(model_->index(static_cast<int>(row), column));
    };
    WidthEstimate estimate(list_->font());
    const auto rows = static_cast<std::size_t>(model_->rowCount());
    std::vector<Candidate> candidates;
    if (column == 0) {
        candidates.reserve(rows);
        for (std::size_t row = 0; row < rows; ++row) {
            const std::u16string_view item = results->item(row);
            candidates.push_back({estimate.of(item.substr(0, kMaxShownTextLength)),
                                  static_cast<std::uint32_t>(row)});
        }
        return widestCell(candidates, measure);
    }
    // Rows with the same path share its last piece: each path is a candidate once, with the
    // first row that shows it. A path's estimate is its last piece's plus the estimate of
    // the path before that piece, which comes earlier.
    constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    std::vector<std::uint32_t> firstRow(results->pieceCount(), kNone);
    std::uint32_t emptyPathRow = kNone;
    for (std::size_t row = 0; row < rows; ++row) {
        const std::uint32_t piece = results->pathIdentity(row);
        std::uint32_t& first = piece == SearchResults::kNoPiece ? emptyPathRow : firstRow[piece];
        if (first == kNone) {
            first = static_cast<std::uint32_t>(row);
        }
    }
    std::vector<float> pathEstimate(results->pieceCount());
    for (std::uint32_t piece = 0; piece < pathEstimate.size(); ++piece) {
        const std::uint32_t before = results->pieceBefore(piece);
        pathEstimate[piece] = (before == SearchResults::kNoPiece ? 0.0F : pathEstimate[before]) +
                              estimate.of(results->pieceText(piece));
        if (firstRow[piece] != kNone) {
            candidates.push_back({pathEstimate[piece], firstRow[piece]});
        }
    }
    if (emptyPathRow != kNone) {
        candidates.push_back({0.0F, emptyPathRow});
    }
    return widestCell(candidates, measure);
}

void CSearchResults::fitList() {
    if (!isVisible()) {
        return;
    }
    list_->setGeometry(rect());
}

void CSearchResults::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    fitList();
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
