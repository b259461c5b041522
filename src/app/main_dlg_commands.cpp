// The main window's commands that the item operations, the capture, the search and the
// About box carry out. Each of those subsystems replaces its stub here with the call into
// its own command; until then the command does nothing.
#include "app/main_dlg.h"

#include "search/qt_search_port.h"
#include "search/search_command.h"

namespace zelvane {

void CMainDlg::OnAddTree() {}
// Tree > Search...: the Search dialog over the remembered search options, then the
// results window over the main window's client area with the current icon set.
void CMainDlg::OnSearch() {
    QtSearchPort port(this, clientArea(), &iconSet_);
    port.setMessageBoxFunction(messageBox_);
    zelvane::OnSearch(port, tree_, remembered_.search);
}
void CMainDlg::OnStopScan() {}

} // namespace zelvane
