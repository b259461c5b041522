// The Search Results window (template 273): the rows of one search in a list with the
// columns "Item" and "Path", backed by a model over the engine's rows so that any number
// of them opens at once. The list borrows the main window's icon set.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <functional>
#include <optional>

#include "search/search_engine.h"

class QTreeView;

namespace zelvane {

class IconSet;

inline constexpr int IDC_SEARCH_RESULTS_LIST = 1005;

// The rows of a SearchResults as a two-column table: "Item" with the node's icon, "Path".
// It never sorts. Texts are shown cut as shownText() cuts them.
class SearchResultsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    // results must outlive the model's use of it; nullptr empties the model. icons may be
    // nullptr: the rows then have no images.
    void setResults(const SearchResults* results, const IconSet* icons);
    const SearchResults* results() const { return results_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const SearchResults* results_ = nullptr;
    const IconSet* icons_ = nullptr;
};

class CSearchResults : public QDialog {
    Q_OBJECT
public:
    explicit CSearchResults(QWidget* parent = nullptr);

    // The main window's icon set, borrowed (may be nullptr); set before open().
    void setIconSet(const IconSet* icons) { icons_ = icons; }
    // Where the window's top-left corner goes: the main window's client top-left (moved in
    // as far as the window would reach past the screen's available area).
    void setOrigin(const QPoint& globalTopLeft) { origin_ = globalTopLeft; }

    // Steps of the opening: shown with the list styled and its two columns, no rows ...
    void open();
    // ... then filled, its columns fitted to their widest cells (when there are rows), sized
    // to the columns plus 32 pixels and shorter by its frame, kept inside the screen's
    // available area, and the list fitted to the client area.
    void fill(const SearchResults& results);

    // Called with the first selected row (nullopt when none) on every double-click.
    void setActivatedHandler(std::function<void(std::optional<std::size_t>)> handler) {
        activated_ = std::move(handler);
    }

    QTreeView* list() const { return list_; }
    SearchResultsModel* model() const { return model_; }
    // Moves the list to the client area's top-left and gives it the whole client area,
    // only while the window is visible.
    void fitList();
    // The double-click handler.
    void OnListDoubleClick();

protected:
    void resizeEvent(QResizeEvent* event) override;
    // Enter closes the window as OK does (there is no button to take it).
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Waits, for a moment at most, until the window is on the screen, so that a window
    // manager's frame around it is known, and puts the frame's corner on the origin.
    void waitForFrame();
    // The widest cell of a column, padding and icon included, as the view measures cells.
    int fittedColumnWidth(int column) const;

    QTreeView* list_ = nullptr;
    SearchResultsModel* model_ = nullptr;
    const IconSet* icons_ = nullptr;
    QPoint origin_;
    std::function<void(std::optional<std::size_t>)> activated_;
};

} // namespace zelvane
