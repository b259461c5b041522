// The main window's commands that the item operations, the capture, the search and the
// About box carry out. Each of those subsystems replaces its stub here with the call into
// its own command; until then the command does nothing.
#include "app/main_dlg.h"

#include <QCoreApplication>

#include "capture/add_tree_command.h"
#include "capture/scan_state.h"
#include "capture/tree_order.h"
#include "search/qt_search_port.h"
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
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void CMainDlg::setAddTreeDialogFunction(AddTreeDialogFunction function) {
    addTreeDialog_ = function ? std::move(function) : AddTreeDialogFunction(runAddFolderLocation);
}

} // namespace zelvane
