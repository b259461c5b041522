// The main window's commands of the capture (Add Tree, Stop, with the window's side of a
// capture: its dialog, scanning state and event pumping) and of the search.
#include "app/main_dlg_qt.h"

#include <QCoreApplication>
#include <QLabel>

#include "ui/text_qt.h"

#include "capture/add_tree_command.h"
#include "capture/scan_state.h"
#include "capture/tree_order.h"
#include "search/search_port_qt.h"
#include "search/search_command.h"

namespace zelvane {

void CMainDlg::OnAddTree() {
    const TextOrder order;
    AddTreeCommand command(tree_, processScanState(), document_, remembered_.addTree, *this, *this,
                           order);
    command.OnAddTree();
    // The window was closed during the scan: the capture is complete (stopped, sorted,
    // reported), so Exit can run now, with its save prompt.
    if (takeExitRequest()) {
        OnFileExit();
    }
}
// Tree > Search...: the Search dialog over the remembered search options, then the
// results window over the main window's client area with the current icon set.
void CMainDlg::OnSearch() {
    QtSearchPort port(this, clientArea(), &iconSet_);
    port.setMessageBoxFunction(messageBox_);
    zelvane::OnSearch(port, tree_, remembered_.search);
}
void CMainDlg::OnStopScan() {
    zelvane::OnStopScan(processScanState());
}

} // namespace zelvane

namespace zelvane {

std::optional<AddTreeDialogResult> CMainDlg::runAddTreeDialog(AddTreeInputs& remembered) {
    return addTreeDialog_(this, remembered);
}

void CMainDlg::setScanningState(bool scanning) {
    if (!scanning) {
        // Whatever the scan's last pump left posted (a queued call of a menu command, a
        // deferred notification) is delivered while the scanning state still drops it,
        // so nothing chosen during the scan runs after it.
        QCoreApplication::sendPostedEvents();
    }
    SetScanningState(scanning);
}

void CMainDlg::pump() {
    if (!pendingProgress_.isNull() && progressShown_.elapsed() >= kProgressRepaintMs) {
        progress_->setText(pendingProgress_);
        pendingProgress_.clear();
        progressShown_.start();
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void CMainDlg::setProgressText(std::u16string_view text) {
    // The counts come every 128 entries, thousands of times a second on a fast disk; each
    // new text costs a repaint, which would take more time than the scan itself. The
    // screen shows the latest counts at a steady rate instead.
    const bool counts = text.starts_with(u"Scanning...\n");
    if (counts && progressShown_.isValid() && progressShown_.elapsed() < kProgressRepaintMs) {
        pendingProgress_ = toQString(text);
        return;
    }
    pendingProgress_ = QString();
    SetProgressText(text);
    progressShown_.start();
}

void CMainDlg::setAddTreeDialogFunction(AddTreeDialogFunction function) {
    addTreeDialog_ = function ? std::move(function) : AddTreeDialogFunction(runAddFolderLocation);
}

} // namespace zelvane
