// The main window's commands of the capture (Add Tree, Stop, with the window's side of a
// capture: its dialog, scanning state and event pumping) and of the search (the Search
// dialog and the Search Results window).
#include "app/main_dlg_qt.h"

#include "app/progress_text_qt.h"
#include <QCoreApplication>

#include "capture/add_tree_command.h"
#include "capture/scan_state.h"
#include "document/tree_order.h"
#include "search/search_command.h"
#include "ui/add_folder_location_qt.h"
#include "ui/search_dialog_qt.h"
#include "ui/search_results_window_qt.h"
#include "ui/text_qt.h"

namespace zelvane {

void CMainDlg::OnAddTree() {
    if (!commandHeard()) {
        return;
    }
    const TextOrder order;
    AddTreeCommand command(document_.tree(), processScanState(), document_.state(),
                           remembered_.addTree, *this, *this, order);
    command.OnAddTree();
    // The window was closed during the scan: the capture is complete (stopped, sorted,
    // reported), so Exit can run now, with its save prompt.
    if (exitRequested_) {
        exitRequested_ = false;
        OnFileExit();
    }
}

void CMainDlg::OnStopScan() {
    zelvane::OnStopScan(processScanState());
}

void CMainDlg::runAddTreeDialog(AddTreeDialog& dialog) {
    CAddFolderLocation addTree(dialog, this);
    addTree.DoModal();
}

void CMainDlg::pump() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void CMainDlg::setProgressText(std::u16string_view text) {
    // Every text the scan reports becomes the progress text at once, thousands a second on
    // a fast disk. It has a fixed size (createControls), so a new text costs no layout, and
    // it repaints at most once a display frame, always with its newest text.
    progress_->setText(toQString(text));
}

// Tree > Search...: the Search dialog over the remembered search options, then the
// results window over the main window's client area with the current icon set.
void CMainDlg::OnSearch() {
    if (commandHeard()) {
        zelvane::OnSearch(*this, document_.tree(), remembered_.search);
    }
}

void CMainDlg::runSearchDialog(SearchDialog& dialog) {
    CSearch search(dialog, *this, this);
    search.exec();
}

void CMainDlg::openSearchResults() {
    searchResults_ = std::make_unique<CSearchResults>(this);
    searchResults_->setWindowModality(Qt::ApplicationModal);
    searchResults_->setIconSet(&iconSet_);
    searchResults_->setOrigin(client_->mapToGlobal(QPoint(0, 0)));
    searchResults_->open();
}

void CMainDlg::showSearchResults(const SearchResults& results) {
    searchResults_->fill(results);
}

void CMainDlg::runSearchResults(const std::function<void(std::optional<std::size_t>)>& activated) {
    searchResults_->setActivatedHandler(activated);
    searchResults_->exec();
    searchResults_->setActivatedHandler(nullptr);
}

void CMainDlg::closeSearchResults() {
    searchResults_->hide();
    searchResults_.reset();
}

} // namespace zelvane
